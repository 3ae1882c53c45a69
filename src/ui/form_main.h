#pragma once
// The main window: a frameless window in the shape of its skin, with the
// wizard's pages in the middle and the bottom buttons Help, Log, Back, Next
// and Exit. The start-up and shutdown order live in form_main.cpp, the
// wizard's moves in form_main_wizard.cpp, and the seams for the engine,
// clipboard, script host and runs in form_main_hooks.cpp.
#include "completion.h"
#include "conversion_run.h"
#include "layout.h"
#include "product_config.h"
#include "resource_images.h"
#include "settings.h"
#include "user_settings.h"
#include "wizard_pages.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class IDesktopServices;
class IDispatcher;
class ISoundPlayer;
class QAction;
class QLabel;
class QMenu;
class QStackedWidget;
class TFormLog;
class TImageButton;
class TPageFinish;
class TPageMode;
class TPageStep1;
class TPageStep2;
class TPageStep3;
class TPageStep5;
class TPageStep6;
class TDownloadPages;
class TConversionPages;
struct TStartupChoice;

struct TFormMainDeps {
    IDesktopServices* Services = nullptr;
    ISoundPlayer* Sounds = nullptr;  // may be null: no sounds
    TFormLog* Log = nullptr;         // the log window
    std::function<void()> PowerOff;  // switches the computer off
    std::string ExeFolder;           // holds "lamecore.dll" and "sounds/"; ends with a separator
    std::string AppDataFolder;       // the per-user application data folder
    std::string DocumentsFolder;     // the user's documents folder
};

class TFormMain : public QWidget, public ICompletionDevices {
    Q_OBJECT
public:
    // dispatcher: the Qt event loop's, which the pages' components call back through.
    TFormMain(IDispatcher& dispatcher, TFormMainDeps deps, QWidget* parent = nullptr);
    ~TFormMain() override;

    // The start-up sequence. On a start-up error the error box has been shown
    // and false is returned: the program ends without writing settings.
    bool FormCreate();
    std::string SettingsPath() const { return userDataFolder_ + SettingsFileName; }
    // The product configuration, read by FormCreate.
    const TProductConfig& Config() const { return config_; }
    // The user's settings: loaded by FormCreate, changed by the pages, written
    // when the window closes.
    TUserSettings& Settings() { return settings_; }
    // The user data folder FormCreate found; ends with a separator.
    const std::string& UserDataFolder() const { return userDataFolder_; }

    // Wizard (form_main_wizard.cpp).
    TWizardPage ActivePage() const;
    void SetActivePage(TWizardPage page);
    void ActionNextExecute();
    void ActionBackExecute();
    void ActionExitExecute();
    void UpdatePageTexts();
    void ResetWizard();
    // Shows the input list page and adds the files to it, as the Add button does.
    void OpenFiles(const std::vector<std::string>& paths);
    // Files a second start hands over: raises the window and adds them to
    // Step1 when no run is going on, else says that one is. The text says
    // what happened, for the second start.
    std::string HandOverFiles(const std::vector<std::string>& paths);
    // A conversion or download runs (Step3, Step6).
    bool RunInProgress() const;
    // Return: the focused push button, else the page's default button (Next).
    // Escape: Back where it is enabled, else Exit where it reads "Cancel".
    void ActionEscapeExecute();
    // Step4 after a failed file: join the list again without the failed
    // rows, or show the list with them marked.
    void ButtonJoinAgainClick();
    void ButtonBackToListClick();
    // Step4's Play: the selected output.
    void LabelPlayClick();
    // The join's output name as Step2 holds it, without the extension; empty
    // when the text names no file.
    std::string ChosenOutputName() const;
    // Closing without the question a run would ask (the session ends).
    void CloseWithoutQuestion();
    void ShowOutputSettings();
    void StoreOutputSettings(bool folderMade);
    // A folder field's text with a trailing separator; empty stays empty.
    static std::string FolderField(const QString& text);
    void ShowDownloadSettings();
    void StoreDownloadSettings(bool folderMade);
    void ShowConversionSummary(const TConversionResult& result);
    void ButtonSelectDirClick();
    void ButtonURLSelectClick();
    void LabelOpenFolderClick();
    void LabelURLOpenFolderClick();
    void ActionHelpExecute();
    // Help Content and F1: the manual page as HTML, installed beside the program.
    void ActionHelpContentExecute();
    std::string HelpFile() const;
    void ActionLogExecute();
    void ShowAbout();
    void ButtonMinClick();
    void ButtonCloseClick();
    // The devices of the completion actions at the end of a conversion run:
    // the sound player, the countdown centred on the screen, the power-off.
    // Once the window has closed, nothing sounds and nothing counts down.
    void PlaySoundFile(const std::string& path) override;
    bool ShowShutdownCountdown() override;
    void ShutdownComputer() override;
    // Holds "lamecore.dll" and "sounds/"; ends with a separator.
    const std::string& ExeFolder() const { return deps_.ExeFolder; }

    // The pages and frame controls, for the parts that fill them.
    TPageMode* PageMode() const { return pageMode_; }
    TPageStep1* Step1() const { return step1_; }
    TPageStep2* Step2() const { return step2_; }
    TPageStep3* Step3() const { return step3_; }
    TPageFinish* Step4() const { return step4_; }
    TPageStep5* Step5() const { return step5_; }
    TPageStep6* Step6() const { return step6_; }
    // The download path's pages, from start-up step 12 on (download_pages.h).
    TDownloadPages* DownloadPages() const { return downloadPages_; }
    TPageFinish* Step7() const { return step7_; }
    // The conversion path's engine and pages, from start-up step 5 on (conversion_pages.h).
    TConversionPages* ConversionPages() const { return conversionPages_; }
    QLabel* LabelTitle() const { return labelTitle_; }
    TImageButton* BottomButton(int index) const { return bottom_[index]; }  // Help, Log, Back, Next, Exit
    TImageButton* ButtonMin() const { return buttonMin_; }
    TImageButton* ButtonClose() const { return buttonClose_; }
    QMenu* HelpMenu() const { return helpMenu_; }
    QStackedWidget* PageControlMain() const { return pageControl_; }
    const TResourceImages& Images() const { return images_; }

protected:
    // Seams for the subsystems that arrive later (form_main_hooks.cpp).
    // Start-up step 5: the input list's drawing and thumbnail list.
    virtual void PrepareInputList();
    // Start-up step 11: the codec libraries; failures become log lines.
    virtual void LoadCodecLibraries();
    // Start-up step 12: watch the clipboard for text.
    virtual void JoinClipboardChain();
    // Start-up step 14: the script host with its "Host" and "Form" objects.
    virtual void CreateScriptHost();
    // Shutdown steps 1 to 4.
    virtual void DetachEngineEvents();
    virtual void StopEngine();
    virtual void AbortTransfers();
    virtual void LeaveClipboardChain();
    // The runs: a conversion starts from a posted message after Step3 is shown;
    // Exit on Step3 stops it; a download starts on entering Step6.
    virtual void StartConversion();
    virtual void StopConversion();
    virtual void ClearConversionList();
    virtual void ClearDownloadedFiles();
    virtual void StartDownloadRun();

    void closeEvent(QCloseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

    IDispatcher& dispatcher_;
    TProductConfig config_;
    TUserSettings settings_;
    std::string userDataFolder_;
    TFormMainDeps deps_;
    IDesktopServices& services_;

private:
    void BuildFrame();
    void BuildPages();
    void BuildActions();
    // The configuration's part of start-up: caption, images, skin, format layout.
    std::string LoadProductConfig(const TStartupChoice& choice);
    // The settings' part: the first start writes the defaults; a file that
    // cannot be read is reported and never written over.
    bool TakeSettings(const TStartupChoice& choice);
    void ApplySkin();
    // Names and descriptions for screen readers; Tab order of the frame.
    void DescribeFrame();
    void FocusPage();
    // Step2's Next: folder, name and plan checked, then Step3 and the run.
    void ActionNextStep2();
    void ActionNextStep5();
    // Step3 on screen, then the run from the message loop.
    void BeginConversionRun();
    void CenterOnScreen();
    void FormCloseQuery();
    void FormClose();
    void ClearLinkAndDownloadLists();
    bool Ask(const char* question);
    void Inform(const char* message);
    // A join with a copying preset follows its plan: when the plan
    // re-encodes anything, says what and asks before the run. False: the
    // user goes back to Step2.
    bool ConfirmJoinPlan();

    TResourceImages images_;
    TSkinLayout skin_;
    QImage skinPicture_;  // the skin with its outside transparent
    double titleFontSize_ = 10;
    bool settingsLoaded_ = false;
    bool closed_ = false;
    bool closeWithoutQuestion_ = false;
    // Back from Step2 keeps its fields as the user left them for the next visit.
    bool step2Kept_ = false;
    // What the last run left for Step4's buttons.
    std::vector<TFailedInput> lastFailed_;
    bool lastRunJoined_ = false;
    QPoint dragOffset_;
    bool dragging_ = false;

    QLabel* labelTitle_ = nullptr;
    QLabel* topLogo_ = nullptr;
    QLabel* leftLogo_ = nullptr;
    TImageButton* buttonMin_ = nullptr;
    TImageButton* buttonClose_ = nullptr;
    TImageButton* bottom_[5] = {};
    QMenu* helpMenu_ = nullptr;
    QStackedWidget* pageControl_ = nullptr;
    TPageMode* pageMode_ = nullptr;
    TPageStep1* step1_ = nullptr;
    TPageStep2* step2_ = nullptr;
    TPageStep3* step3_ = nullptr;
    TPageFinish* step4_ = nullptr;
    TPageStep5* step5_ = nullptr;
    TPageStep6* step6_ = nullptr;
    TPageFinish* step7_ = nullptr;
    TDownloadPages* downloadPages_ = nullptr;  // a child of the window
    TConversionPages* conversionPages_ = nullptr;  // a child of the window
};
