#include "form_about.h"

#include "app_title.h"
#include "desktop_services.h"
#include "page_helpers.h"
#include "product_config.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>

namespace {
QLabel* AddOpeningLink(QWidget* parent, const char* name, const std::string& target, const QRect& r,
                       IDesktopServices& services) {
    QLabel* label = AddLinkLabel(parent, name, QString::fromStdString(target), r);
    QObject::connect(label, &QLabel::linkActivated, label, [&services, target] { services.OpenDocument(target); });
    return label;
}
}  // namespace

TFormAbout::TFormAbout(const TProductConfig& config, const QPixmap& leftLogo, IDesktopServices& services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), services_(services),
      updatesLink_(config.HelpUpdatesLink) {
    setObjectName("FormAbout");
    setWindowTitle(QStringLiteral("About %1").arg(AppTitle));
    const int tabsLeft = 166, tabsWidth = 350, tabsHeight = 272;

    picture_ = Place(new QLabel(this), "ImageLogo", QRect(10, 10, 146, 306));
    picture_->setPixmap(leftLogo.scaled(picture_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setCursor(Qt::PointingHandCursor);
    picture_->installEventFilter(this);

    tabs_ = Place(new QTabWidget(this), "PageControlAbout", QRect(tabsLeft, 10, tabsWidth, tabsHeight));
    auto* about = new QWidget;
    about->setObjectName("TabSheetAbout");
    AddLabel(about, "LabelProduct", QString::asprintf("%s %s", AppTitle, config.Version.c_str()),
             QRect(14, 16, 320, 22), true);
    AddLabel(about, nullptr, "Joins and converts audio and video files, and downloads videos by their links.",
             QRect(14, 44, 320, 40))
        ->setWordWrap(true);
    AddLabel(about, nullptr, "Web site:", QRect(14, 100, 320, 18));
    AddOpeningLink(about, "LabelWebSite", config.HelpHomePageLink, QRect(14, 118, 320, 18), services);
    AddLabel(about, nullptr, "Support:", QRect(14, 146, 320, 18));
    AddOpeningLink(about, "LabelSupport", config.HelpSupportLink, QRect(14, 164, 320, 18), services);
    tabs_->addTab(about, "About");

    auto* update = new QWidget;
    update->setObjectName("TabSheetUpdate");
    AddLabel(update, "LabelVersion", QStringLiteral("Version %1").arg(QString::fromStdString(config.Version)),
             QRect(14, 16, 320, 22), true);
    AddLabel(update, nullptr, "Check whether a newer version is available:", QRect(14, 48, 320, 18));
    auto* updates = Place(new QPushButton("&Updates...", update), "ButtonUpdates", QRect(14, 74, 100, 27));
    connect(updates, &QPushButton::clicked, this, [this] { services_.OpenDocument(updatesLink_); });
    tabs_->addTab(update, "Update");

    ok_ = Place(new QPushButton("&OK", this), "ButtonOK", QRect(tabsLeft + tabsWidth - 75, 10 + tabsHeight + 10, 75, 25));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(tabsLeft + tabsWidth + 10, ok_->geometry().bottom() + 12);

    if (config.SkinIndex == 3) {
        // No picture: the tabs move to the left edge and the window narrows.
        picture_->hide();
        tabs_->move(10, tabs_->y());
        ok_->move(tabs_->geometry().right() + 1 - ok_->width(), ok_->y());
        setFixedSize(tabs_->geometry().right() + 1 + 15, height());
    }
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == picture_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        services_.OpenDocument(updatesLink_);
    return QDialog::eventFilter(watched, event);
}
