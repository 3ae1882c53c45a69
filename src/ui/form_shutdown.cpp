#include "form_shutdown.h"

#include "app_title.h"
#include "page_helpers.h"

#include <QPushButton>
#include <QTimer>

TFormShutdown::TFormShutdown(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("FormShutdown");
    setWindowTitle("Shutdown");
    setFixedSize(234, 149);
    auto* heading = AddLabel(this, "LabelWarning", "Warning!", QRect(12, 8, 210, 24), true);
    QFont f = heading->font();
    f.setPointSizeF(f.pointSizeF() * 1.4);
    heading->setFont(f);
    heading->setStyleSheet("color: #b3261e;");
    description_ = AddLabel(this, "LabelDescription", "", QRect(12, 34, 214, 48));
    description_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    timeLeft_ = AddLabel(this, "LabelTimeLeft", QString::fromStdString(countdown_.TimeLeftText()),
                         QRect(12, 86, 210, 18), true);

    auto* panel = Place(new QWidget(this), "PanelBottom", QRect(0, 149 - 41, 234, 41));
    panel->setStyleSheet("#PanelBottom { background: #e6e9ef; border-top: 1px solid #c9cfd9; }");
    panel->setAttribute(Qt::WA_StyledBackground);
    auto* cancel = Place(new QPushButton("&Cancel", panel), "ButtonCancel", QRect((234 - 75) / 2, 8, 75, 25));
    cancel->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);  // Escape rejects as well

    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &TFormShutdown::TimerShutdownTimer);
    timer_->start();
}

void TFormShutdown::showEvent(QShowEvent* event) {
    description_->setText(QString::fromStdString(ShutdownDescription(AppTitle)).replace("\r\n", "\n"));
    QDialog::showEvent(event);
}

void TFormShutdown::TimerShutdownTimer() {
    if (countdown_.Tick()) {
        timer_->stop();
        accept();
        return;
    }
    timeLeft_->setText(QString::fromStdString(countdown_.TimeLeftText()));
}
