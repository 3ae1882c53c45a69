// The wizard's moves: Next, Back and Exit per page, the page texts, carrying
// the choices between the pages and the settings, the help menu and the
// devices of the completion actions.
#include "form_main.h"

#include "app_title.h"
#include "catalogue.h"
#include "input_list_model.h"
#include "job_builder.h"
#include "conversion_pages.h"
#include "planned_join.h"
#include "desktop_services.h"
#include "form_about.h"
#include "form_log.h"
#include "form_shutdown.h"
#include "format_choice.h"
#include "image_buttons.h"
#include "page_finish.h"
#include "page_mode.h"
#include "page_step1.h"
#include "page_step2.h"
#include "page_step3.h"
#include "page_step5.h"
#include "page_step6.h"
#include "settings.h"
#include "sound_player.h"
#include "util_funcs.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QTableView>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>

#include <map>

namespace {
constexpr char kFolderFailed[] = "Fail to create directory! Please check if output folder have the right format!";
constexpr char kQuit[] = "Are you sure to quit now?";
constexpr char kCancel[] = "Are you sure to cancel?";
constexpr char kCancelBack[] = "Are you sure to cancel and go back?";

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A bottom button's caption with its Alt key; no two buttons of a page share one.
QString WithAccessKey(const std::string& caption) {
    static const std::map<std::string, const char*> keys = {
        {"Help", "&Help"},       {"Log", "&Log"},           {"Back", "&Back"},     {"Next", "&Next"},
        {"Join Now", "&Join Now"}, {"Convert", "&Convert"}, {"Finish", "&Finish"}, {"Download", "&Download"},
        {"Cancel", "Canc&el"},   {"Exit", "E&xit"}};
    const auto it = keys.find(caption);
    return it != keys.end() ? QString(it->second) : Q(caption);
}
}  // namespace

bool TFormMain::Ask(const char* question) { return services_.AskYesNo(question, AppTitle); }

void TFormMain::Inform(const char* message) { services_.ShowInformation(message, AppTitle); }

bool TFormMain::ConfirmJoinPlan() {
    services_.BeginWaitCursor();
    const TPlannedJoin planned = PlanJoin(settings_, step1_->JobInputs());
    services_.EndWaitCursor();
    if (!planned.CopiesEverything()) {
        const int answer = services_.ShowCustomMessageDialog(PlanQuestion(planned), AppTitle,
                                                             TMsgDlgType::mtConfirmation, 1, {"Join", "Go back"},
                                                             mbYes | mbNo);
        if (answer != mrYes) return false;
    }
    if (conversionPages_) conversionPages_->Run().UsePlannedJoin(planned);
    return true;
}

TWizardPage TFormMain::ActivePage() const { return static_cast<TWizardPage>(pageControl_->currentIndex()); }

void TFormMain::SetActivePage(TWizardPage page) { pageControl_->setCurrentIndex(page); }

void TFormMain::UpdatePageTexts() {
    const TPageTexts t = PageTexts(ActivePage(), config_, step2_->JoinSelected());
    // A cancelled run never reads as finished.
    const bool cancelled = ActivePage() == wpStep4 && step4_->LabelCancelled->isVisibleTo(step4_);
    labelTitle_->setText(cancelled ? QString("The conversion was cancelled.") : Q(t.Title));
    // The one-line title shrinks to fit where a skin gives it little room.
    QFont titleFont = labelTitle_->font();
    titleFont.setPointSizeF(titleFontSize_);
    while (titleFont.pointSizeF() > 7 &&
           QFontMetrics(titleFont).horizontalAdvance(labelTitle_->text()) > labelTitle_->width())
        titleFont.setPointSizeF(titleFont.pointSizeF() - 0.5);
    labelTitle_->setFont(titleFont);
    TImageButton* back = bottom_[2];
    TImageButton* next = bottom_[3];
    TImageButton* exit = bottom_[4];
    back->setText(WithAccessKey(t.Back));
    back->setEnabled(t.BackEnabled);
    next->setText(WithAccessKey(t.Next));
    next->setEnabled(t.NextEnabled);
    exit->setText(WithAccessKey(t.Exit));
    exit->setEnabled(true);
}

void TFormMain::OpenFiles(const std::vector<std::string>& paths) {
    // Files handed over at start ("Open with"): straight to the input list.
    SetActivePage(wpStep1);
    UpdatePageTexts();
    step1_->AddFiles(paths);
}

std::string TFormMain::HandOverFiles(const std::vector<std::string>& paths) {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    if (paths.empty()) return "raised";
    const bool busy = RunInProgress();
    // The second start has its answer at once; the probing or the message
    // follows from the message loop.
    QMetaObject::invokeMethod(
        this,
        [this, paths, busy] {
            if (busy)
                Inform("A run is in progress: add the files when it has ended.");
            else
                OpenFiles(paths);
        },
        Qt::QueuedConnection);
    return busy ? "busy" : "added";
}

bool TFormMain::RunInProgress() const { return ActivePage() == wpStep3 || ActivePage() == wpStep6; }

void TFormMain::ResetWizard() {
    step2Kept_ = false;
    SetActivePage(FirstPage(config_));
    UpdatePageTexts();
}

void TFormMain::keyPressEvent(QKeyEvent* event) {
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // A focused push button takes Return as it takes Space; a format
        // picture or a field leaves it to the page's main button.
        QWidget* focus = focusWidget();
        auto* button = qobject_cast<QPushButton*>(focus) ? static_cast<QAbstractButton*>(focus)
                                                         : qobject_cast<TImageButton*>(focus);
        if (button && button->isEnabled())
            button->click();
        else
            ActionNextExecute();
        return;
    }
    if (plain && event->key() == Qt::Key_Escape) {
        ActionEscapeExecute();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFormMain::ActionEscapeExecute() {
    const TPageTexts t = PageTexts(ActivePage(), config_, step2_->JoinSelected());
    if (t.BackEnabled)
        ActionBackExecute();
    else if (t.Exit == "Cancel")
        ActionExitExecute();
}

void TFormMain::ActionNextExecute() {
    if (!PageTexts(ActivePage(), config_, step2_->JoinSelected()).NextEnabled) return;
    switch (ActivePage()) {
        case wpMode:
            if (pageMode_->DownloadSelected()) {
                SetActivePage(wpStep5);
                ShowDownloadSettings();
            } else {
                SetActivePage(wpStep1);
            }
            UpdatePageTexts();
            break;
        case wpStep1:
            if (step1_->RowCount() == 0) {
                Inform("Please add the video files you want to convert");
                return;
            }
            SetActivePage(wpStep2);
            UpdatePageTexts();
            ShowOutputSettings();
            break;
        case wpStep2:
            ActionNextStep2();
            break;
        case wpStep4:
            step1_->ClearList();
            ClearConversionList();
            ResetWizard();
            break;
        case wpStep5:
            ActionNextStep5();
            break;
        case wpStep7:
            ClearLinkAndDownloadLists();
            ResetWizard();
            break;
        case wpStep3:
        case wpStep6:
            break;
    }
}

void TFormMain::ActionNextStep2() {
    const bool folderMade = PrepareOutputFolder(FolderField(step2_->EditOutputDir()->text()));
    StoreOutputSettings(folderMade);
    if (!folderMade) {
        Inform(kFolderFailed);
        return;
    }
    if (settings_.JoinFiles && ChosenOutputName().empty()) {
        Inform("Please give the output a name without \"/\".");
        return;
    }
    if (!ConfirmJoinPlan()) return;
    BeginConversionRun();
}

void TFormMain::ActionNextStep5() {
    const std::string folder = FolderField(step5_->EditURLOutput->text());
    if (step5_->LinkCount() == 0) {
        StoreDownloadSettings(DirectoryExists(folder));
        Inform("Please Copy & Paste the YouTube video links you want to download.");
        return;
    }
    const bool folderMade = PrepareOutputFolder(folder);
    StoreDownloadSettings(folderMade);
    if (!folderMade) {
        Inform(kFolderFailed);
        return;
    }
    SetActivePage(wpStep6);
    UpdatePageTexts();
    ClearDownloadedFiles();
    StartDownloadRun();
}

void TFormMain::BeginConversionRun() {
    step1_->Model()->ClearProblems();
    SetActivePage(wpStep3);
    UpdatePageTexts();
    step3_->CheckBoxPlayASound->setChecked(settings_.PlayASoundWhenFinished);
    step3_->CheckBoxShutdown->setChecked(settings_.ShutDownWhenFinished);
    // The run starts once the page is on screen, from the message loop.
    QMetaObject::invokeMethod(this, [this] { StartConversion(); }, Qt::QueuedConnection);
}

std::string TFormMain::ChosenOutputName() const {
    const std::string typed = step2_->EditOutputName()->text().toStdString();
    if (Trim(typed).empty()) return JoinOutputName;
    return OutputBaseName(typed, OutputExtension(settings_));
}

void TFormMain::ButtonJoinAgainClick() {
    // The failed rows go, from the last so that the places stay right.
    for (auto it = lastFailed_.rbegin(); it != lastFailed_.rend(); ++it) step1_->Model()->Remove(it->Place);
    lastFailed_.clear();
    ClearConversionList();
    if (step1_->RowCount() == 0) {
        ResetWizard();
        return;
    }
    if (!ConfirmJoinPlan()) {
        SetActivePage(wpStep2);
        UpdatePageTexts();
        return;
    }
    BeginConversionRun();
}

void TFormMain::ButtonBackToListClick() {
    step1_->Model()->ClearProblems();
    for (const TFailedInput& failed : lastFailed_) step1_->Model()->SetProblem(failed.Place, Q(failed.Reason));
    step2Kept_ = true;
    SetActivePage(wpStep1);
    UpdatePageTexts();
    step1_->Grid()->setFocus();
}

void TFormMain::LabelPlayClick() {
    const QListWidgetItem* item = step4_->ListOutputs->currentItem();
    if (!item && step4_->ListOutputs->count() > 0) item = step4_->ListOutputs->item(0);
    if (item) services_.OpenDocument(item->text().toStdString());
}

void TFormMain::ActionBackExecute() {
    if (!PageTexts(ActivePage(), config_, step2_->JoinSelected()).BackEnabled) return;
    switch (ActivePage()) {
        case wpStep1:
            if (!Ask(kCancelBack)) return;
            step1_->ClearList();
            ResetWizard();
            break;
        case wpStep2:
            // The typed folder and the preset lists are not stored, but the
            // page keeps them for the next visit.
            step2Kept_ = true;
            SetActivePage(wpStep1);
            UpdatePageTexts();
            break;
        case wpStep5:
            if (!Ask(kCancelBack)) return;
            step5_->ClearLinks();
            ResetWizard();
            break;
        default:
            break;
    }
}

void TFormMain::ActionExitExecute() {
    switch (ActivePage()) {
        case wpMode:
        case wpStep4:
        case wpStep7:
            if (Ask(kQuit)) close();
            break;
        case wpStep1:
            if (!config_.DownloadEnabled) {
                if (Ask(kQuit)) close();
                break;
            }
            [[fallthrough]];
        case wpStep2:
            if (!Ask(kCancel)) return;
            step1_->ClearList();
            ResetWizard();
            break;
        case wpStep3:
            if (!Ask("Do you really want to cancel the conversion?")) return;
            StopConversion();
            UpdatePageTexts();
            break;
        case wpStep5:
            if (!Ask(kCancel)) return;
            step5_->ClearLinks();
            ResetWizard();
            break;
        case wpStep6:
            if (Ask("Do you really want to cancel the downloading?")) AbortTransfers();
            break;
    }
}

void TFormMain::ClearLinkAndDownloadLists() {
    step5_->ClearLinks();
    step6_->ClearDownloads();
}

void TFormMain::ShowOutputSettings() {
    if (step2Kept_) {
        step2Kept_ = false;
        return;
    }
    step2_->EditOutputDir()->setText(Q(settings_.OutputFileDir));
    step2_->ShowJoinMode(settings_.JoinFiles);
    step2_->EditOutputName()->setText(JoinOutputName);
    step2_->FormatChoice()->ShowSettings();
}

std::string TFormMain::FolderField(const QString& text) {
    const std::string folder = text.toStdString();
    return folder.empty() ? folder : IncludeTrailingSeparator(folder);
}

void TFormMain::StoreOutputSettings(bool folderMade) {
    // A folder refused on Next (empty, relative, or one that could not be
    // made) is never stored: the last usable one stays for the next start.
    const std::string folder = FolderField(step2_->EditOutputDir()->text());
    if (folderMade && IsStorableFolder(folder)) settings_.OutputFileDir = folder;
    settings_.JoinFiles = step2_->JoinSelected();
    step2_->FormatChoice()->StoreSettings();
}

void TFormMain::ShowDownloadSettings() {
    step5_->EditURLOutput->setText(Q(settings_.OutputURLDir));
    step5_->CheckBoxYouTubeQuality->setChecked(settings_.PreferYouTubeQuality);
    step5_->ButtonYouTubeQualityConfig->setEnabled(settings_.PreferYouTubeQuality);
}

void TFormMain::StoreDownloadSettings(bool folderMade) {
    const std::string folder = FolderField(step5_->EditURLOutput->text());
    if (folderMade && IsStorableFolder(folder)) settings_.OutputURLDir = folder;
    settings_.PreferYouTubeQuality = step5_->CheckBoxYouTubeQuality->isChecked();
}

void TFormMain::ShowConversionSummary(const TConversionResult& result) {
    SetActivePage(wpStep4);
    QStringList lines;
    for (const auto& line : result.ErrorList) lines << Q(line);
    for (const auto& line : result.Warnings) lines << QStringLiteral("Warning: ") + Q(line);
    step4_->MemoErrorLog->setPlainText(lines.join('\n'));
    step4_->MemoErrorLog->setVisible(!lines.isEmpty());
    step4_->ShowCancelled(result.Cancelled);
    QStringList outputs;
    for (const std::string& file : result.Outputs) outputs << Q(file);
    step4_->ShowOutputs(outputs);
    lastFailed_ = result.FailedInputs;
    lastRunJoined_ = settings_.JoinFiles;
    // Joining again needs a failed file to leave out and another to join.
    step4_->ButtonJoinAgain->setVisible(lastRunJoined_ && !result.Cancelled && !lastFailed_.empty() &&
                                        static_cast<int>(lastFailed_.size()) < step1_->RowCount());
    step4_->ButtonBackToList->setVisible(result.FailedFiles() > 0 || result.Cancelled);
    UpdatePageTexts();
    step4_->LabelTotalFiles->setText(QString::number(result.TotalFiles));
    step4_->LabelSucceeded->setText(QString::number(result.SucceededFiles));
    step4_->LabelFailed->setText(QString::number(result.FailedFiles()));
}

void TFormMain::ButtonSelectDirClick() {
    std::string folder = DialogStartFolder(settings_.OutputFileDir, deps_.DocumentsFolder);
    if (!services_.BrowseForFolder(folder, "Please select a folder", "") || !IsStorableFolder(folder)) return;
    settings_.OutputFileDir = IncludeTrailingSeparator(folder);
    step2_->EditOutputDir()->setText(Q(settings_.OutputFileDir));
}

void TFormMain::ButtonURLSelectClick() {
    std::string folder = DialogStartFolder(settings_.OutputURLDir, deps_.DocumentsFolder);
    if (!services_.BrowseForFolder(folder, "Please select a folder", "") || !IsStorableFolder(folder)) return;
    step5_->EditURLOutput->setText(Q(IncludeTrailingSeparator(folder)));
    settings_.OutputURLDir = step5_->EditURLOutput->text().toStdString();
}

void TFormMain::LabelOpenFolderClick() {
    // The folder of the output chosen on Step4, else the output folder.
    const QListWidgetItem* item = step4_->ListOutputs->currentItem();
    services_.OpenDocument(item ? ExtractFilePath(item->text().toStdString()) : settings_.OutputFileDir);
}

void TFormMain::LabelURLOpenFolderClick() { services_.OpenDocument(settings_.OutputURLDir); }

void TFormMain::ActionHelpExecute() {
    const TImageButton* help = bottom_[0];
    helpMenu_->popup(QPoint(help->x() + x() + skin_.HelpMenuOffset, help->y() + y() + help->height()));
}

std::string TFormMain::HelpFile() const { return deps_.ExeFolder + "help/orvane-video-joiner.html"; }

void TFormMain::ActionHelpContentExecute() {
    const std::string file = HelpFile();
    if (!FileExists(file)) {
        services_.ShowError("The help is not installed: " + file + " is missing.", AppTitle);
        return;
    }
    services_.OpenDocument(file);
}

void TFormMain::ActionLogExecute() {
    if (!deps_.Log) return;
    deps_.Log->SetOwner(this);
    deps_.Log->show();
    deps_.Log->raise();
    deps_.Log->activateWindow();
}

void TFormMain::ShowAbout() {
    TFormAbout about(config_, images_.LeftLogo, services_, this);
    about.move(CenteredOrigin(x(), width(), about.width()), CenteredOrigin(y(), height(), about.height()));
    about.exec();
}

void TFormMain::ButtonMinClick() { showMinimized(); }

void TFormMain::ButtonCloseClick() { close(); }

// A run that ends while the window closes (its stop still unwinding) must
// not sound off or switch the computer off after the user has quit.
void TFormMain::PlaySoundFile(const std::string& path) {
    if (!closed_ && deps_.Sounds) deps_.Sounds->PlayFile(path);
}

bool TFormMain::ShowShutdownCountdown() {
    if (closed_) return false;
    TFormShutdown countdown(this);
    // Centred on the screen, not on the window.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        countdown.move(CenteredOrigin(s.x(), s.width(), countdown.width()),
                       CenteredOrigin(s.y(), s.height(), countdown.height()));
    }
    return countdown.exec() == QDialog::Accepted;
}

void TFormMain::ShutdownComputer() {
    if (deps_.PowerOff) deps_.PowerOff();
}
