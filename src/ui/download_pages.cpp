#include "download_pages.h"

#include "app_title.h"
#include "desktop_services.h"
#include "form_download_settings.h"
#include "form_main.h"
#include "form_youtube_hq.h"
#include "info_script.h"
#include "log_sink.h"
#include "page_finish.h"
#include "page_step1.h"
#include "page_step5.h"
#include "page_step6.h"
#include "server_text.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

TDownloadPages::TDownloadPages(TFormMain& form, IDesktopServices& services, ILogSink* log,
                               IDispatcher& dispatcher)
    : QObject(&form),
      form_(form),
      settings_(form.Settings()),
      services_(services),
      log_(log),
      step5_(form.Step5()),
      step6_(form.Step6()),
      step7_(form.Step7()),
      links_(form.Config().VideoSiteHost, services),
      run_(form.Config(), form.Settings(), *this, services, log, dispatcher),
      dispatcher_(dispatcher),
      versionProbe_(dispatcher) {
    setObjectName("DownloadPages");
    links_.OnChanged = [this] { ShowLinks(); };
    run_.OnClearLinks = [this] { links_.Clear(); };

    connect(step5_->ActionURLPaste, &QAction::triggered, this, &TDownloadPages::ActionURLPasteExecute);
    connect(step5_->EditURLType, &TLinkEdit::linkEntered, this, &TDownloadPages::LinkTyped);
    connect(step5_->ActionURLRemove, &QAction::triggered, this, &TDownloadPages::ActionURLRemoveExecute);
    connect(step5_->ActionURLEmpty, &QAction::triggered, this, &TDownloadPages::ActionURLEmptyExecute);
    connect(step5_->ListViewInputURL, &QTreeWidget::itemDoubleClicked, this,
            &TDownloadPages::ListViewInputURLDblClick);
    connect(step5_->ListViewInputURL, &QTreeWidget::itemSelectionChanged, this,
            &TDownloadPages::ActionListURLUpdate);
    // Any change of the rows (the wizard empties the list too) updates the buttons.
    QAbstractItemModel* model = step5_->ListViewInputURL->model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &TDownloadPages::ActionListURLUpdate);
    connect(model, &QAbstractItemModel::modelReset, this, &TDownloadPages::ActionListURLUpdate);
    connect(step5_->CheckBoxYouTubeQuality, &QAbstractButton::clicked, this,
            &TDownloadPages::CheckBoxYouTubeQualityClick);
    // Entering the page sets the box from the settings: the text follows it.
    connect(step5_->CheckBoxYouTubeQuality, &QAbstractButton::toggled, this, &TDownloadPages::RefreshPreferenceText);
    connect(step5_->ButtonYouTubeQualityConfig, &QAbstractButton::clicked, this,
            &TDownloadPages::ButtonYouTubeQualityConfigClick);
    connect(form.PageControlMain(), &QStackedWidget::currentChanged, this, [this](int page) {
        if (page != wpStep5) return;
        RefreshPreferenceText();
        ActionListURLUpdate();
    });
    connect(step5_->ButtonDownloadSettings, &QAbstractButton::clicked, this,
            &TDownloadPages::ButtonDownloadSettingsClick);
    connect(step7_->ButtonConvertDownloaded, &QAbstractButton::clicked, this,
            &TDownloadPages::ButtonConvertDownloadedClick);
    RefreshPreferenceText();
    ActionListURLUpdate();
    LogDownloadEngines();
}

void TDownloadPages::LogDownloadEngines() {
    systemYtDlp_ = {FindProgram(YtDlpProgramName), {}};
    links_.SetOtherSites(!run_.YtDlp.Program.empty());
    if (systemYtDlp_.Empty()) return ChooseYtDlp();
    versionProbe_.OnDone = [this](const std::string& version, const std::string& error) {
        systemYtDlp_.Version = version;
        if (version.empty() && log_)
            log_->AppendLine(PrintableText("yt-dlp (" + systemYtDlp_.Path + ") gave no version: " + error));
        ChooseYtDlp();
        run_.SetYtDlpPending(false);
    };
    std::string error;
    // A link for yt-dlp waits for the choice.
    if (versionProbe_.Start(systemYtDlp_.Path, error)) return run_.SetYtDlpPending(true);
    if (log_) log_->AppendLine(PrintableText("yt-dlp (" + systemYtDlp_.Path + ") cannot be started: " + error));
    ChooseYtDlp();
}

void TDownloadPages::ChooseYtDlp() {
    run_.UseYtDlp(ChooseYtDlpCopy(ManagedYtDlpCopy(run_.YtDlpFolder), systemYtDlp_));
    const TYtDlpCopy copy = run_.YtDlpInUse();
    links_.SetOtherSites(!copy.Empty());
    if (!log_) return;
    if (copy.Empty()) {
        log_->AppendLine("yt-dlp is not installed: only links of the video site can be downloaded");
        return;
    }
    const std::string version = copy.Version.empty() ? std::string("of unknown version") : copy.Version;
    log_->AppendLine(PrintableText("yt-dlp " + version + " (" + copy.Path + ") downloads links of other sites"));
    log_->AppendLine(PrintableText("JavaScript runtimes yt-dlp is told of: " + JsRuntimesText(run_.YtDlp.JsRuntimes)));
}

void TDownloadPages::OpenDownloadSettings(bool startUpdate) {
    TFormDownloadSettings dialog(dispatcher_, &form_);
    auto info = [this] {
        return TYtDlpSettingsInfo{run_.YtDlpInUse(), ManagedYtDlpCopy(run_.YtDlpFolder), systemYtDlp_,
                                  run_.YtDlp.JsRuntimes, form_.Config().YtDlpReleaseUrl, run_.YtDlpFolder};
    };
    dialog.ShowInfo(info());
    dialog.OnUpdated = [this, &dialog, info](const TYtDlpUpdateResult& result) {
        if (log_) log_->AppendLine(PrintableText(result.Message));
        if (result.Outcome == TYtDlpUpdateOutcome::uoInstalled) ChooseYtDlp();
        dialog.ShowInfo(info());
    };
    const QRect o = form_.frameGeometry();
    dialog.move(o.left() + (o.width() - dialog.width()) / 2, o.top() + (o.height() - dialog.height()) / 2);
    if (startUpdate) QTimer::singleShot(0, &dialog, [&dialog] { dialog.ButtonUpdateClick(); });
    dialog.exec();
}

void TDownloadPages::OfferYtDlpUpdate() {
    const TYtDlpCopy copy = run_.YtDlpInUse();
    const std::string question = "yt-dlp could not download every link, and yt-dlp " +
                                 (copy.Version.empty() ? std::string("of unknown version") : copy.Version) +
                                 " is more than " + std::to_string(YtDlpStaleDays) +
                                 " days old: sites change often, and a newer yt-dlp may read them.\n\n"
                                 "Update yt-dlp now?";
    if (services_.AskYesNo(question, AppTitle)) OpenDownloadSettings(true);
}

TDownloadPages::~TDownloadPages() {
    LeaveClipboardChain();
    // The script refers to the run; it goes first.
    script_.reset();
}

void TDownloadPages::JoinClipboardChain() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto update = [this, clipboard] {
        const QMimeData* data = clipboard->mimeData();
        clipboardHasText_ = data && data->hasText();
        ActionListURLUpdate();
    };
    clipboardWatch_ = connect(clipboard, &QClipboard::dataChanged, this, update);
    update();
}

void TDownloadPages::LeaveClipboardChain() { disconnect(clipboardWatch_); }

void TDownloadPages::CreateScriptHost() {
    // "Form": the main window's caption and place.
    formComponent_ = std::make_unique<TPropertyComponent>("FormMain");
    formComponent_->AddProperty(
        "Caption", [this] { return TVariant(form_.windowTitle().toStdString()); },
        [this](const TVariant& v) { form_.setWindowTitle(Q(v.ToString())); });
    formComponent_->AddProperty("Left", [this] { return TVariant(form_.x()); });
    formComponent_->AddProperty("Top", [this] { return TVariant(form_.y()); });
    formComponent_->AddProperty("Width", [this] { return TVariant(form_.width()); });
    formComponent_->AddProperty("Height", [this] { return TVariant(form_.height()); });
    script_ = CreateInfoScript(run_, formComponent_.get());
    script_->WindowHandle = static_cast<uintptr_t>(form_.winId());
}

void TDownloadPages::StartDownloadRun() {
    SyncLinksFromList();
    links_.SetHost(form_.Config().VideoSiteHost);
    run_.Start(links_.Rows());
}

void TDownloadPages::AbortTransfers() { run_.Cancel(); }

void TDownloadPages::ClearDownloadedFiles() { lastResult_.DownloadedFiles.clear(); }

void TDownloadPages::SyncLinksFromList() {
    std::vector<std::string> rows;
    QTreeWidget* list = step5_->ListViewInputURL;
    for (int i = 0; i < list->topLevelItemCount(); ++i) rows.push_back(list->topLevelItem(i)->text(0).toStdString());
    links_.Assign(std::move(rows));
}

void TDownloadPages::ShowLinks() {
    QTreeWidget* list = step5_->ListViewInputURL;
    const auto& rows = links_.Rows();
    // Rows are only appended or removed: keep the ones that still match.
    int same = 0;
    while (same < list->topLevelItemCount() && same < static_cast<int>(rows.size()) &&
           list->topLevelItem(same)->text(0).toStdString() == rows[same])
        ++same;
    while (list->topLevelItemCount() > same) delete list->takeTopLevelItem(list->topLevelItemCount() - 1);
    for (size_t i = same; i < rows.size(); ++i) list->addTopLevelItem(new QTreeWidgetItem(QStringList{Q(rows[i])}));
    ActionListURLUpdate();
}

void TDownloadPages::ActionURLPasteExecute() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return;
    SyncLinksFromList();
    links_.SetHost(form_.Config().VideoSiteHost);
    links_.PasteText(data->text().toStdString());
}

void TDownloadPages::LinkTyped(const QString& text) {
    SyncLinksFromList();
    links_.SetHost(form_.Config().VideoSiteHost);
    // A refused link stays in the field to be mended; the list said why.
    if (links_.PasteText(text.toStdString()) > 0) step5_->EditURLType->clear();
}

void TDownloadPages::ActionURLRemoveExecute() {
    QTreeWidget* list = step5_->ListViewInputURL;
    std::vector<int> selected;
    for (QTreeWidgetItem* item : list->selectedItems()) selected.push_back(list->indexOfTopLevelItem(item));
    SyncLinksFromList();
    const int focus = links_.Remove(selected);
    if (focus >= 0) {
        QTreeWidgetItem* item = list->topLevelItem(focus);
        list->setCurrentItem(item);
        item->setSelected(true);
        list->scrollToItem(item);
    }
    list->setFocus();
}

void TDownloadPages::ActionURLEmptyExecute() {
    SyncLinksFromList();
    links_.Clear();
}

void TDownloadPages::ListViewInputURLDblClick() {
    const QList<QTreeWidgetItem*> selected = step5_->ListViewInputURL->selectedItems();
    if (selected.isEmpty()) return;
    services_.OpenDocument(selected.front()->text(0).toStdString());
}

void TDownloadPages::ActionListURLUpdate() {
    QTreeWidget* list = step5_->ListViewInputURL;
    step5_->ActionURLPaste->setEnabled(clipboardHasText_);
    step5_->ActionURLRemove->setEnabled(!list->selectedItems().isEmpty());
    step5_->ActionURLEmpty->setEnabled(list->topLevelItemCount() > 0);
}

void TDownloadPages::CheckBoxYouTubeQualityClick() {
    step5_->ButtonYouTubeQualityConfig->setEnabled(step5_->CheckBoxYouTubeQuality->isChecked());
    RefreshPreferenceText();
}

void TDownloadPages::RefreshPreferenceText() {
    step5_->LabelYouTubeQuality->setText(Q(PreferenceText(step5_->CheckBoxYouTubeQuality->isChecked(), Order())));
}

void TDownloadPages::ButtonYouTubeQualityConfigClick() {
    TQualityOrder order = Order();
    if (!EditQualityOrder(&form_, order)) return;
    std::copy(order.begin(), order.end(), settings_.PreferYouTube.begin());
    RefreshPreferenceText();
}

TQualityOrder TDownloadPages::Order() const {
    TQualityOrder order{};
    std::copy(settings_.PreferYouTube.begin(), settings_.PreferYouTube.end(), order.begin());
    return order;
}

void TDownloadPages::ButtonConvertDownloadedClick() {
    ::ConvertDownloadedFiles(lastResult_.DownloadedFiles, this, services_);
}

void TDownloadPages::ConvertDownloadedFiles(const std::vector<std::string>& files) {
    form_.SetActivePage(wpStep1);
    form_.UpdatePageTexts();
    if (AddInputFiles)
        AddInputFiles(files);
    else
        form_.Step1()->AddFiles(files);
}

void TDownloadPages::ClearRows() { step6_->ListViewURLDownload->clear(); }

void TDownloadPages::AddRow(const std::string& caption, const std::vector<std::string>& subItems) {
    QStringList texts{Q(caption)};
    for (const std::string& s : subItems) texts << Q(s);
    texts << QString();
    step6_->ListViewURLDownload->addTopLevelItem(new QTreeWidgetItem(texts));
}

void TDownloadPages::SetRowCaption(int row, const std::string& caption) {
    if (QTreeWidgetItem* item = step6_->ListViewURLDownload->topLevelItem(row)) item->setText(0, Q(caption));
}

void TDownloadPages::SetRowText(int row, TDownloadColumn column, const std::string& text) {
    QTreeWidgetItem* item = step6_->ListViewURLDownload->topLevelItem(row);
    if (!item) return;
    item->setText(1 + column, Q(text));
    if (column == dcStatus) step6_->ListViewURLDownload->scrollToItem(item);
}

void TDownloadPages::SetLabel(TDownloadLabel label, const std::string& text) {
    QLabel* labels[] = {step6_->LabelURLCurrentFile, step6_->LabelURLStatus,   step6_->LabelSpeed,
                        step6_->LabelURLElapsedTime, step6_->LabelURLTimeLeft, step6_->LabelQuality,
                        step6_->LabelProgressBarDownload};
    labels[label]->setText(Q(text));
}

void TDownloadPages::SetProgressBar(int percent) { step6_->ProgressBarDownload->setValue(percent); }

void TDownloadPages::ShowSummary(const TDownloadResult& result) {
    lastResult_ = result;
    form_.SetActivePage(wpStep7);
    form_.UpdatePageTexts();
    QStringList lines;
    for (const std::string& line : result.Failures) lines << Q(line);
    step7_->MemoErrorLog->setPlainText(lines.join('\n'));
    step7_->MemoErrorLog->setVisible(!result.Failures.empty());
    step7_->LabelTotalFiles->setText(QString::number(result.TotalFiles));
    step7_->LabelSucceeded->setText(QString::number(result.SucceededFiles));
    step7_->LabelFailed->setText(QString::number(result.FailedFiles()));
    step7_->LabelCancelled->setVisible(result.Cancelled);
    // Asked once the summary is on screen, outside the run's own event.
    if (run_.YtDlpUpdateAdvised()) QTimer::singleShot(0, this, &TDownloadPages::OfferYtDlpUpdate);
}
