#include "form_log.h"

#include "app_title.h"
#include "desktop_services.h"
#include "dispatcher.h"
#include "log_text.h"
#include "placement.h"
#include "settings.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWindow>
#include <QVBoxLayout>

#include <stdexcept>

namespace {
const char* const kFilters[] = {"Log-Files (*.log)", "Text-Files (*.txt)", "All Files (*.*)"};
const char* const kSuffixes[] = {"log", "txt", "log"};
}  // namespace

TFormLog::TFormLog(IDesktopServices& services, IDispatcher& dispatcher, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      services_(services),
      dispatcher_(dispatcher) {
    setObjectName("FormLog");
    setWindowTitle("Log");
    setAttribute(Qt::WA_QuitOnClose, false);  // the main window ends the program
    setMinimumSize(265, 125);
    resize(455, 182);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("MemoLog");
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(memo_);
    panel_ = new QWidget(this);
    panel_->setObjectName("PanelBottom");
    panel_->setFixedHeight(40);
    layout->addWidget(panel_);

    ok_ = new QPushButton("&OK", panel_);
    ok_->setObjectName("ButtonOK");
    delete_ = new QPushButton("&Delete Log", panel_);
    delete_->setObjectName("ButtonDelete");
    save_ = new QPushButton("&Save Log...", panel_);
    save_->setObjectName("ButtonSave");
    int left = 8;
    for (QPushButton* b : {ok_, delete_, save_}) {
        b->setGeometry(left, 7, 75, 25);
        left += 83;
    }
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    connect(ok_, &QPushButton::clicked, this, &TFormLog::ButtonOKClick);
    connect(delete_, &QPushButton::clicked, this, &TFormLog::ButtonDeleteClick);
    connect(save_, &QPushButton::clicked, this, &TFormLog::ButtonSaveClick);
    panel_->installEventFilter(this);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &TFormLog::ButtonOKClick);

    ExecSaveDialog = [](QFileDialog& dialog) { return dialog.exec(); };
}

void TFormLog::AppendLine(const std::string& line) {
    if (dispatcher_.isMainThread()) {
        AppendOnMainThread(line);
        return;
    }
    QPointer<TFormLog> self(this);
    dispatcher_.post([self, line] {
        if (self) self->AppendOnMainThread(line);
    });
}

void TFormLog::AppendOnMainThread(const std::string& line) {
    // A writer's own line end would show as an empty line after its line.
    const size_t end = line.find_last_not_of("\r\n");
    memo_->appendPlainText(QString::fromStdString(end == std::string::npos ? std::string() : line.substr(0, end + 1)));
    ++lineCount_;
}

std::vector<std::string> TFormLog::Lines() const {
    std::vector<std::string> lines;
    const QString text = memo_->toPlainText();
    if (lineCount_ == 0) return lines;
    for (const QString& l : text.split('\n')) lines.push_back(l.toStdString());
    return lines;
}

QPoint TFormLog::BesideOwner() const {
    const QScreen* s = owner_ && owner_->screen() ? owner_->screen() : screen();
    if (!owner_ || !s) return pos();
    return BesideWindow(MainFrameOf(owner_), frameSize().expandedTo(size()), s->availableGeometry());
}

void TFormLog::SavePlacement() const {
    if (settingsPath_.empty()) return;
    if (shown_ || !owner_ || PlatformPlacesWindows()) {
        SaveFormPlacement(settingsPath_, "FormLog", this);
        return;
    }
    // The corner a never-shown window sits in is no place the user chose.
    const QPoint at = BesideOwner();
    WriteFormPlacement(settingsPath_, "FormLog", {at.x(), at.y(), width(), height(), false});
}

void TFormLog::ButtonOKClick() { close(); }

void TFormLog::ButtonDeleteClick() {
    if (services_.ShowCustomMessageDialog("Really delete log file?", "Delete log?", TMsgDlgType::mtConfirmation, -1,
                                          {}, mbYes | mbNo | mbCancel) != mrYes)
        return;
    memo_->clear();
    lineCount_ = 0;
    save_->setEnabled(false);  // stays off for the rest of the run
}

void TFormLog::ButtonSaveClick() {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({kFilters[0], kFilters[1], kFilters[2]});
    dialog.setDefaultSuffix(kSuffixes[0]);
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        for (int i = 0; i < 3; ++i)
            if (filter == kFilters[i]) dialog.setDefaultSuffix(kSuffixes[i]);
    });
    if (ExecSaveDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    try {
        SaveLogLines(dialog.selectedFiles().front().toStdString(), Lines());
    } catch (const std::exception& e) {
        services_.ShowError(e.what(), AppTitle);
    }
}

void TFormLog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        if (owner_ && windowHandle() && owner_->windowHandle())
            windowHandle()->setTransientParent(owner_->windowHandle());
        // Beside the main window until the user has placed it somewhere.
        if (!shown_ && owner_) move(BesideOwner());
        if (!settingsPath_.empty()) LoadFormPlacement(settingsPath_, "FormLog", this);
        shown_ = true;
    }
    PanelBottomResize();
    QWidget::showEvent(event);
}

void TFormLog::closeEvent(QCloseEvent* event) {
    try {
        SavePlacement();
    } catch (const std::exception& e) {
        services_.ShowError(e.what(), AppTitle);
    }
    event->accept();  // only hidden: the text stays
}

bool TFormLog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panel_ && event->type() == QEvent::Resize) PanelBottomResize();
    return QWidget::eventFilter(watched, event);
}

void TFormLog::PanelBottomResize() {
    const auto lefts = LogButtonLefts(panel_->width(), ok_->x(), ok_->width(), delete_->width(), save_->x(),
                                      save_->width());
    ok_->move(lefts[0], 7);
    delete_->move(lefts[1], 7);
    save_->move(lefts[2], 7);
}

