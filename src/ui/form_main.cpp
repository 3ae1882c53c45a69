#include "form_main.h"

#include "app_title.h"
#include "conversion_pages.h"
#include "desktop_services.h"
#include "download_pages.h"
#include "form_log.h"
#include "format_choice.h"
#include "image_buttons.h"
#include "page_finish.h"
#include "page_helpers.h"
#include "page_mode.h"
#include "page_step1.h"
#include "page_step2.h"
#include "page_step3.h"
#include "page_step5.h"
#include "page_step6.h"
#include "placement.h"
#include "product_config.h"
#include "settings.h"
#include "startup_choice.h"

#include <QAction>
#include <QBitmap>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>

#include <algorithm>
#include <stdexcept>

namespace {
const QColor kInk(0x22, 0x30, 0x3f);
}  // namespace

TFormMain::TFormMain(IDispatcher& dispatcher, TFormMainDeps deps, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), dispatcher_(dispatcher), deps_(std::move(deps)),
      services_(*deps_.Services) {
    setObjectName("FormMain");
    BuildFrame();
    BuildPages();
    BuildActions();
    DescribeFrame();
}

void TFormMain::DescribeFrame() {
    buttonMin_->setAccessibleName("Minimize");
    buttonMin_->setAccessibleDescription("Minimizes the window");
    buttonClose_->setAccessibleName("Close");
    buttonClose_->setAccessibleDescription("Closes the window; during a run it asks first");
    const char* descriptions[] = {"Opens the help menu", "Shows the log window", "Goes back one page",
                                  "Goes on: the page's main action", "Cancels the page, or quits"};
    for (int i = 0; i < 5; ++i) {
        // Tab reaches them after the page's controls; a click leaves the focus where it was.
        bottom_[i]->setFocusPolicy(Qt::TabFocus);
        bottom_[i]->setAccessibleDescription(descriptions[i]);
    }
    topLogo_->setAccessibleName(AppTitle);
    leftLogo_->setAccessibleName(AppTitle);
}

void TFormMain::FocusPage() {
    // The page's first control takes the focus, so the keyboard starts there.
    QWidget* page = pageControl_->currentWidget();
    if (!page || !isVisible()) return;
    for (QWidget* w = page->nextInFocusChain(); w && w != page && page->isAncestorOf(w); w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(page) && w->isEnabled()) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

TFormMain::~TFormMain() {
    // The download pages listen to the pages' lists: they go before the pages.
    delete downloadPages_;
    // So does the conversion path, whose engine stops while its pages still exist.
    delete conversionPages_;
}

void TFormMain::BuildFrame() {
    // Presses on the logos and the title fall through to the window, which moves.
    topLogo_ = new QLabel(this);
    topLogo_->setObjectName("ImageTopLogo");
    leftLogo_ = new QLabel(this);
    leftLogo_->setObjectName("ImageLeftLogo");
    labelTitle_ = new QLabel(this);
    labelTitle_->setObjectName("LabelTitle");
    for (QLabel* l : {topLogo_, leftLogo_, labelTitle_}) l->setAttribute(Qt::WA_TransparentForMouseEvents);

    buttonMin_ = new TImageButton(this);
    buttonMin_->setObjectName("ButtonMin");
    buttonMin_->setToolTip("Minimize");
    connect(buttonMin_, &QAbstractButton::clicked, this, &TFormMain::ButtonMinClick);
    buttonClose_ = new TImageButton(this);
    buttonClose_->setObjectName("ButtonClose");
    buttonClose_->setToolTip("Close");
    connect(buttonClose_, &QAbstractButton::clicked, this, &TFormMain::ButtonCloseClick);

    const char* names[] = {"ButtonHelp", "ButtonLog", "ButtonBack", "ButtonNext", "ButtonExit"};
    const char* captions[] = {"&Help", "&Log", "&Back", "&Next", "E&xit"};
    void (TFormMain::*handlers[])() = {&TFormMain::ActionHelpExecute, &TFormMain::ActionLogExecute,
                                        &TFormMain::ActionBackExecute, &TFormMain::ActionNextExecute,
                                        &TFormMain::ActionExitExecute};
    for (int i = 0; i < 5; ++i) {
        bottom_[i] = new TImageButton(this);
        bottom_[i]->setObjectName(names[i]);
        bottom_[i]->setText(captions[i]);
        connect(bottom_[i], &QAbstractButton::clicked, this, handlers[i]);
    }

    helpMenu_ = new QMenu(this);
    helpMenu_->setObjectName("PopupMenuHelp");
    auto link = [this](const char* text, std::string TProductConfig::*target) {
        QAction* a = helpMenu_->addAction(text);
        connect(a, &QAction::triggered, this, [this, target] { services_.OpenDocument(config_.*target); });
        return a;
    };
    // The installed manual, not a web page.
    connect(helpMenu_->addAction("Help Content"), &QAction::triggered, this, &TFormMain::ActionHelpContentExecute);
    link("How Tos && Tutorial Videos...", &TProductConfig::HelpHowTosLink);
    helpMenu_->addSeparator();
    link("Home Page...", &TProductConfig::HelpHomePageLink);
    link("More Free Tools...", &TProductConfig::HelpMoreToolsLink);
    helpMenu_->addSeparator();
    link("Check for Updates...", &TProductConfig::HelpUpdatesLink);
    link("Contact Technical Support...", &TProductConfig::HelpSupportLink);
    helpMenu_->addSeparator();
    connect(helpMenu_->addAction("About"), &QAction::triggered, this, &TFormMain::ShowAbout);
}

void TFormMain::BuildPages() {
    pageControl_ = Place(new QStackedWidget(this), "PageControlMain", QRect(203, 74, PageWidth, PageHeight));
    pageControl_->setAutoFillBackground(true);
    QPalette pal = pageControl_->palette();
    pal.setColor(QPalette::Window, QColor(0xf7, 0xf8, 0xfb));
    pageControl_->setPalette(pal);

    pageMode_ = new TPageMode;
    step1_ = new TPageStep1;
    step2_ = new TPageStep2(settings_);
    step3_ = new TPageStep3;
    step4_ = new TPageFinish(TPageFinish::fkConversion);
    step5_ = new TPageStep5;
    step6_ = new TPageStep6;
    step7_ = new TPageFinish(TPageFinish::fkDownload);
    const char* names[] = {"TabSheetMode", "TabSheetStep1", "TabSheetStep2", "TabSheetStep3",
                           "TabSheetStep4", "TabSheetStep5", "TabSheetStep6", "TabSheetStep7"};
    QWidget* pages[] = {pageMode_, step1_, step2_, step3_, step4_, step5_, step6_, step7_};
    for (int i = 0; i < WizardPageCount; ++i) {
        pages[i]->setObjectName(names[i]);
        pageControl_->addWidget(pages[i]);
    }
    connect(pageControl_, &QStackedWidget::currentChanged, this, &TFormMain::UpdatePageTexts);
    connect(pageControl_, &QStackedWidget::currentChanged, this, &TFormMain::FocusPage, Qt::QueuedConnection);
    connect(step2_, &TPageStep2::JoinModeChanged, this, &TFormMain::UpdatePageTexts);
    connect(step4_->ButtonJoinAgain, &QAbstractButton::clicked, this, &TFormMain::ButtonJoinAgainClick);
    connect(step4_->ButtonBackToList, &QAbstractButton::clicked, this, &TFormMain::ButtonBackToListClick);
    connect(step4_->LabelPlay, &QLabel::linkActivated, this, &TFormMain::LabelPlayClick);

    connect(step2_->ButtonSelectDir(), &QAbstractButton::clicked, this, &TFormMain::ButtonSelectDirClick);
    connect(step5_->ButtonURLSelect, &QAbstractButton::clicked, this, &TFormMain::ButtonURLSelectClick);
    connect(step4_->LabelOpenFolder, &QLabel::linkActivated, this, &TFormMain::LabelOpenFolderClick);
    connect(step7_->LabelOpenFolder, &QLabel::linkActivated, this, &TFormMain::LabelURLOpenFolderClick);
    connect(step3_->CheckBoxPlayASound, &QAbstractButton::clicked, this,
            [this](bool on) { settings_.PlayASoundWhenFinished = on; });
    connect(step3_->CheckBoxShutdown, &QAbstractButton::clicked, this,
            [this](bool on) { settings_.ShutDownWhenFinished = on; });
}

void TFormMain::BuildActions() {
    auto* exit = new QAction("Exit", this);
    exit->setObjectName("ActionExit");
    exit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(exit, &QAction::triggered, this, &TFormMain::ActionExitExecute);
    addAction(exit);
    auto* help = new QAction("Help Content", this);
    help->setObjectName("ActionHelpContent");
    help->setShortcut(QKeySequence(Qt::Key_F1));
    connect(help, &QAction::triggered, this, &TFormMain::ActionHelpContentExecute);
    addAction(help);
}

bool TFormMain::FormCreate() {
    const TStartupChoice choice =
        LoadStartupChoice({deps_.ExeFolder, deps_.AppDataFolder, deps_.DocumentsFolder});
    const std::string error = LoadProductConfig(choice);
    if (!error.empty()) {
        services_.ShowError(error, AppTitle);
        return false;
    }
    if (!TakeSettings(choice)) return false;
    PrepareInputList();
    step1_->HelpTarget = HelpFile() + "#ADDING_FILES";
    step2_->FormatChoice()->FillPresetLists();
    setAcceptDrops(true);
    LoadFormPlacement(SettingsPath(), "Form", this);
    if (deps_.Log && settingsLoaded_) deps_.Log->SetSettingsPath(SettingsPath());
    if (deps_.Log) deps_.Log->SetOwner(this);
    UpdatePageTexts();
    LoadCodecLibraries();
    JoinClipboardChain();
    step2_->ShowJoinMode(settings_.JoinFiles);
    SetActivePage(FirstPage(config_));
    UpdatePageTexts();
    CreateScriptHost();
    // Once shown, the keyboard starts on the first page's first control.
    QMetaObject::invokeMethod(this, &TFormMain::FocusPage, Qt::QueuedConnection);
    return true;
}

std::string TFormMain::LoadProductConfig(const TStartupChoice& choice) {
    setWindowTitle(AppTitle);
    for (TPageFinish* page : {step4_, step7_}) page->FillTitle();

    if (!choice.ConfigError.empty()) return choice.ConfigError;
    config_ = choice.Config;
    const std::string error = LoadResourceImages(deps_.ExeFolder + "sounds/" + config_.ResFolder + "/", images_);
    if (!error.empty()) return error;
    ApplySkin();
    step2_->FormatChoice()->ApplyLayout(
        LayoutFormats(config_, step2_->FormatChoice()->FormatPageWidth(), PageWidth));
    return {};
}

bool TFormMain::TakeSettings(const TStartupChoice& choice) {
    userDataFolder_ = choice.UserDataFolder;
    settings_ = choice.Settings;
    if (!choice.SettingsFound) {
        try {
            SaveSettings(settings_, SettingsPath());
        } catch (const std::exception& e) {
            // The defaults could not be written: nothing to work with.
            services_.ShowError(e.what(), AppTitle);
            return false;
        }
    }
    if (!choice.SettingsFound || !choice.SettingsError.empty()) CenterOnScreen();
    // A settings file that cannot be read is reported and left alone: this
    // session runs on the defaults and writes nothing over the user's file.
    settingsLoaded_ = choice.SettingsError.empty();
    if (!settingsLoaded_) services_.ShowError(choice.SettingsError, AppTitle);
    return true;
}

void TFormMain::ApplySkin() {
    setFixedSize(images_.Main.size());
    // The skin's magenta is its outside. X11 cuts the window to the shape;
    // Wayland has no window shapes, so there the outside is drawn
    // transparent on a translucent window (set before the window exists).
    skinPicture_ = images_.Main.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < skinPicture_.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(skinPicture_.scanLine(y));
        for (int x = 0; x < skinPicture_.width(); ++x)
            if ((line[x] & 0xffffff) == 0xff00ff) line[x] = 0;
    }
    if (QGuiApplication::platformName() == "xcb") {
        const QImage outside = images_.Main.createMaskFromColor(qRgb(255, 0, 255), Qt::MaskInColor);
        setMask(QBitmap::fromImage(outside));
    } else {
        setAttribute(Qt::WA_TranslucentBackground);
    }

    skin_ = SkinLayout(config_.SkinIndex);
    auto at = [](QWidget* w, TPoint p) { w->move(p.X, p.Y); };
    buttonMin_->SetImages(images_.Min);
    buttonClose_->SetImages(images_.Close);
    at(buttonMin_, skin_.Minimise);
    at(buttonClose_, skin_.Close);
    buttonMin_->setVisible(!skin_.WindowButtonsHidden);
    buttonClose_->setVisible(!skin_.WindowButtonsHidden);
    const TPoint bottom[] = {skin_.Help, skin_.Log, skin_.Back, skin_.Next, skin_.Exit};
    for (int i = 0; i < 5; ++i) {
        bottom_[i]->SetImages(images_.Bottom);
        bottom_[i]->SetTransparent(skin_.TransparentButtons, skin_.TransparentButtons ? Qt::white : kInk);
        at(bottom_[i], bottom[i]);
    }
    at(pageControl_, skin_.PageArea);

    QFont titleFont = font();
    titleFont.setBold(skin_.BoldTitle);
    titleFontSize_ = titleFont.pointSizeF() + 1;
    titleFont.setPointSizeF(titleFontSize_);
    labelTitle_->setFont(titleFont);
    labelTitle_->setStyleSheet(skin_.TransparentButtons ? "color: white;" : "color: #22303f;");
    // One line that ends above the page area (skin 3 leaves only 19 pixels).
    const int titleHeight = std::clamp(skin_.PageArea.Y - skin_.TitleText.Y - 1, 16, 22);
    labelTitle_->setGeometry(skin_.TitleText.X, skin_.TitleText.Y, width() - skin_.TitleText.X - 12, titleHeight);

    // The logos sit in the top band and in the column left of the pages.
    topLogo_->setPixmap(images_.TopLogo);
    topLogo_->resize(images_.TopLogo.size());
    topLogo_->move(14, std::max(3, (skin_.TitleText.Y - 4 - topLogo_->height()) / 2));
    leftLogo_->setPixmap(images_.LeftLogo);
    leftLogo_->resize(images_.LeftLogo.size());
    leftLogo_->move(std::max(6, (skin_.PageArea.X - leftLogo_->width()) / 2), skin_.PageArea.Y);
    pageMode_->SetPictures(images_.DownloadYouTube, images_.YouTubeConvert);
    update();
}

void TFormMain::CenterOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect s = screen->geometry();
    move(CenteredOrigin(s.x(), s.width(), width()), CenteredOrigin(s.y(), s.height(), height()));
}

void TFormMain::CloseWithoutQuestion() {
    closeWithoutQuestion_ = true;
    close();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // Closing during a run asks as Cancel does; No keeps the run.
    if (!closed_ && !closeWithoutQuestion_ && RunInProgress()) {
        const bool conversion = ActivePage() == wpStep3;
        if (!Ask(conversion ? "Do you really want to cancel the conversion?"
                            : "Do you really want to cancel the downloading?")) {
            event->ignore();
            return;
        }
    }
    if (!closed_) {
        closed_ = true;
        FormCloseQuery();
        FormClose();
    }
    event->accept();
}

void TFormMain::FormCloseQuery() {
    DetachEngineEvents();
    StopEngine();
    AbortTransfers();
    LeaveClipboardChain();
}

void TFormMain::FormClose() {
    // After a failed start nothing was loaded, so nothing may be written.
    if (!settingsLoaded_) return;
    // Each write is tried on its own, so one failure does not lose the others.
    auto attempt = [this](const std::function<void()>& write) {
        try {
            write();
        } catch (const std::exception& e) {
            services_.ShowError(e.what(), AppTitle);
        }
    };
    attempt([this] { SaveSettings(settings_, SettingsPath()); });
    attempt([this] { SaveFormPlacement(SettingsPath(), "Form", this); });
    if (deps_.Log) {
        attempt([this] { deps_.Log->SavePlacement(); });
        deps_.Log->hide();
    }
}

void TFormMain::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!skinPicture_.isNull()) p.drawImage(0, 0, skinPicture_);
}

void TFormMain::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // The compositor's own move where the platform offers one: on Wayland a
    // window cannot place itself, and X11 window managers honour it too.
    dragging_ = false;
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    // Refused (no press the compositor knows of): Wayland windows still
    // cannot place themselves, so nothing follows the pointer there.
    if (QGuiApplication::platformName() == QLatin1String("wayland")) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - pos();
}

void TFormMain::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - dragOffset_);
}

void TFormMain::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }
