#include "form_download_settings.h"

#include "page_helpers.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string CopyText(const TYtDlpCopy& copy, const char* none) {
    if (copy.Empty()) return none;
    return (copy.Version.empty() ? std::string("version not known") : copy.Version) + " (" + copy.Path + ")";
}

// Long paths keep their start and end.
void SetElided(QLabel* label, const std::string& text) {
    const QString full = Q(text);
    label->setText(label->fontMetrics().elidedText(full, Qt::ElideMiddle, label->width()));
    label->setToolTip(full);
}
}  // namespace

TFormDownloadSettings::TFormDownloadSettings(IDispatcher& dispatcher, QWidget* parent)
    : QDialog(parent), Update(dispatcher) {
    setObjectName("FormDownloadSettings");
    setWindowTitle("Download settings");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(600, 271);

    auto* group = Place(new QGroupBox(" yt-dlp, for links of other sites ", this), "GroupBoxYtDlp",
                        QRect(8, 8, 584, 146));
    QLabel** values[] = {&LabelInUse, &LabelPath, &LabelManaged, &LabelSystem, &LabelJsRuntime};
    const char* captions[] = {"In use:", "Path:", "Own copy:", "On PATH:", "JavaScript runtime:"};
    const char* names[] = {"LabelInUse", "LabelPath", "LabelManaged", "LabelSystem", "LabelJsRuntime"};
    for (int i = 0; i < 5; ++i) {
        AddLabel(group, nullptr, captions[i], QRect(10, 22 + 22 * i, 140, 20));
        *values[i] = AddLabel(group, names[i], "", QRect(150, 22 + 22 * i, 424, 20));
        (*values[i])->setTextFormat(Qt::PlainText);
        (*values[i])->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    ProgressBarUpdate = AddProgressBar(this, "ProgressBarUpdate", QRect(8, 162, 584, 16));
    LabelUpdateStatus = AddLabel(this, "LabelUpdateStatus", "", QRect(8, 182, 584, 48));
    LabelUpdateStatus->setTextFormat(Qt::PlainText);
    LabelUpdateStatus->setWordWrap(true);
    LabelUpdateStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ButtonUpdate = Place(new QPushButton("&Update yt-dlp", this), "ButtonUpdate", QRect(8, 236, 140, 27));
    ButtonClose = Place(new QPushButton("&Close", this), "ButtonClose", QRect(492, 236, 100, 27));
    ButtonClose->setDefault(true);
    ButtonUpdate->setAutoDefault(false);

    connect(ButtonUpdate, &QPushButton::clicked, this, &TFormDownloadSettings::ButtonUpdateClick);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::reject);
    Update.OnStep = [this](const std::string& step) { LabelUpdateStatus->setText(Q(step + "...")); };
    Update.OnProgress = [this](int64_t bytes, int64_t total) { Progress(bytes, total); };
    Update.OnDone = [this](const TYtDlpUpdateResult& result) { Ended(result); };
}

TFormDownloadSettings::~TFormDownloadSettings() {
    Update.OnStep = nullptr;
    Update.OnProgress = nullptr;
    Update.OnDone = nullptr;
}

void TFormDownloadSettings::ShowInfo(const TYtDlpSettingsInfo& info) {
    info_ = info;
    LabelInUse->setText(Q(info.InUse.Empty() ? std::string("none: only links of the video site can be downloaded")
                                             : "yt-dlp " + (info.InUse.Version.empty() ? std::string("(version not known)")
                                                                                       : info.InUse.Version)));
    SetElided(LabelPath, info.InUse.Empty() ? std::string("-") : info.InUse.Path);
    SetElided(LabelManaged, CopyText(info.Managed, "none yet: \"Update yt-dlp\" fetches one"));
    SetElided(LabelSystem, CopyText(info.System, "not installed"));
    SetElided(LabelJsRuntime, info.Runtimes.empty() ? std::string("none found on PATH (see the README)")
                                                    : JsRuntimesText(info.Runtimes));
    ButtonUpdate->setToolTip(Q("From " + info.ReleaseUrl + " into " + info.Folder));
}

void TFormDownloadSettings::ButtonUpdateClick() {
    if (Update.Running()) {
        Update.Cancel();
        return;
    }
    ProgressBarUpdate->setValue(0);
    if (!Update.Start(info_.ReleaseUrl, info_.Folder, info_.InUse)) {
        LabelUpdateStatus->setText(Q("yt-dlp was not updated: " + Update.LastErrorMessage));
        return;
    }
    SetRunning(true);
}

void TFormDownloadSettings::reject() {
    // Closing stops the update; the dialog goes once it has ended.
    if (Update.Running()) Update.Cancel();
    QDialog::reject();
}

void TFormDownloadSettings::Progress(int64_t bytes, int64_t total) {
    if (total > 0) ProgressBarUpdate->setValue(static_cast<int>(bytes * 100 / total));
    LabelUpdateStatus->setText(QString("Fetching yt-dlp... %1 KB").arg(bytes / 1024) +
                               (total > 0 ? QString(" of %1 KB").arg(total / 1024) : QString()));
}

void TFormDownloadSettings::Ended(const TYtDlpUpdateResult& result) {
    SetRunning(false);
    ProgressBarUpdate->setValue(result.Outcome == TYtDlpUpdateOutcome::uoInstalled ? 100 : 0);
    LabelUpdateStatus->setText(Q(result.Message));
    if (OnUpdated) OnUpdated(result);
}

void TFormDownloadSettings::SetRunning(bool running) {
    ButtonUpdate->setText(running ? "&Cancel update" : "&Update yt-dlp");
}
