#pragma once
// Shared pieces of the window tests: the offscreen application, desktop
// services that record and answer, a program folder with its own product
// configuration, and a main window that records its seams.
#include "desktop_services.h"
#include "form_log.h"
#include "form_main.h"
#include "product_config.h"
#include "qt_dispatcher.h"
#include "sound_player.h"

#include "../common/temp_dir.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

inline QApplication& EnsureApp() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        QApplication::setFont(QFont("DejaVu Sans", 9));
        return a;
    }();
    return *app;
}

// The dispatcher of the test's main thread, as the program makes one.
inline QtDispatcher& TestDispatcher() {
    EnsureApp();
    static QtDispatcher dispatcher;
    return dispatcher;
}

// Runs the event loop until pred() holds or the time is up.
template <class Pred>
bool PumpUntil(Pred pred, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return pred();
}

struct FakeServices : IDesktopServices {
    std::vector<std::string> infos, errors, questions, opened;
    std::deque<bool> answers;          // AskYesNo answers in order; No when empty
    std::deque<int> dialogAnswers;     // ShowCustomMessageDialog results
    std::vector<std::string> dialogs;  // "caption|message"
    bool browseOk = false;
    std::string browseFolder;

    void OpenDocument(const std::string& target) override { opened.push_back(target); }
    bool BrowseForFolder(std::string& folder, const std::string&, const std::string&) override {
        if (!browseOk) return false;
        folder = browseFolder;
        return true;
    }
    int ShowCustomMessageDialog(const std::string& message, const std::string& caption, TMsgDlgType, int,
                                const std::vector<std::string>&, TMsgDlgButtons) override {
        dialogs.push_back(caption + "|" + message);
        if (dialogAnswers.empty()) return mrCancel;
        const int r = dialogAnswers.front();
        dialogAnswers.pop_front();
        return r;
    }
    void ShowInformation(const std::string& text, const std::string& caption) override {
        infos.push_back(caption == "Orvane Video Joiner" ? text : "wrong caption: " + caption);
    }
    void ShowError(const std::string& text, const std::string&) override { errors.push_back(text); }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        questions.push_back(caption == "Orvane Video Joiner" ? text : "wrong caption: " + caption);
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
};

struct FakeSounds : ISoundPlayer {
    std::vector<std::string> files, events;
    void PlayFile(const std::string& path) override { files.push_back(path); }
    void PlayEvent(const std::string& id) override { events.push_back(id); }
};

// A program folder: "lamecore.dll" written from key=value pairs over the
// shipped defaults, and "sounds/" taken from the source tree.
class ProgramFolder {
public:
    explicit ProgramFolder(const std::map<std::string, std::string>& overrides = {}, bool withConfig = true) {
        std::filesystem::create_directory_symlink(std::string(OV_SOURCE_DIR) + "/resources/sounds",
                                                  tmp_.file("sounds"));
        if (!withConfig) return;
        std::map<std::string, std::string> keys = {
            {"Version", "1.2.3"}, {"Download", "True"}, {"Merge", "True"}, {"Skin", "0"}, {"ResFolder", "default"},
            {"HelpContectLink", "https://help.example/content"},
            {"HelpHowTosTutorialVideosLink", "https://help.example/howto"},
            {"HelpHomePageLink", "https://help.example/"}, {"HelpMoreFreeToolsLink", "https://help.example/tools"},
            {"HelpCheckForUpdatesLink", "https://help.example/update"},
            {"HelpSupportLink", "https://help.example/support"}, {"DefaultVideo", "0"}, {"DefaultDevice", "0"},
            {"DefaultAudio", "0"}, {"DefaultClass", "0"}};
        for (const char* f : {"AVI", "MP4", "FLV", "SWF", "MPEG", "RM", "WMV", "MOV", "3GP", "MKV", "WEBM", "IPOD", "IPAD",
                              "ANDROID", "IPHONE", "APPLETV", "PSP", "BLACKBERRY", "MOBILEPHONE", "WAV", "MP3", "WMA",
                              "OGG", "AAC", "M4A", "FLAC", "MP2"})
            keys[f] = "True";
        for (const auto& [k, v] : overrides) keys[k] = v;
        std::string ini = "[SYSTEM]\n";
        for (const auto& [k, v] : keys)
            if (v != "<missing>") ini += k + "=" + v + "\n";
        tmp_.write(ProductConfigFileName, ScrambleText(ini));
    }
    std::string dir() const { return tmp_.dir(); }

private:
    TempDir tmp_;
};

// What a main window needs, with the program and user folders of a test.
inline TFormMainDeps TestDeps(FakeServices& services, FakeSounds& sounds, TFormLog& log, const ProgramFolder& program,
                              const TempDir& user, std::function<void()> powerOff = [] {}) {
    TFormMainDeps deps;
    deps.Services = &services;
    deps.Sounds = &sounds;
    deps.Log = &log;
    deps.PowerOff = std::move(powerOff);
    deps.ExeFolder = program.dir();
    deps.AppDataFolder = user.dir() + "config";
    deps.DocumentsFolder = user.dir() + "Documents";
    return deps;
}

// A main window that notes every seam it passes.
class TestFormMain : public TFormMain {
public:
    using TFormMain::TFormMain;
    std::vector<std::string> calls;

protected:
    void PrepareInputList() override { calls.push_back("PrepareInputList"); }
    void LoadCodecLibraries() override { calls.push_back("LoadCodecLibraries"); }
    void JoinClipboardChain() override { calls.push_back("JoinClipboardChain"); }
    void CreateScriptHost() override { calls.push_back("CreateScriptHost"); }
    void DetachEngineEvents() override { calls.push_back("DetachEngineEvents"); }
    void StopEngine() override { calls.push_back("StopEngine"); }
    void AbortTransfers() override { calls.push_back("AbortTransfers"); }
    void LeaveClipboardChain() override { calls.push_back("LeaveClipboardChain"); }
    void StartConversion() override { calls.push_back("StartConversion"); }
    void StopConversion() override { calls.push_back("StopConversion"); }
    void ClearConversionList() override { calls.push_back("ClearConversionList"); }
    void ClearDownloadedFiles() override { calls.push_back("ClearDownloadedFiles"); }
    void StartDownloadRun() override { calls.push_back("StartDownloadRun"); }
};

// One started application: configuration, user folders, the two windows.
struct AppUnderTest {
    explicit AppUnderTest(const std::map<std::string, std::string>& config = {}) : program(config) {
        EnsureApp();
    }
    // Builds the windows and runs the start-up sequence.
    bool Start() {
        log = std::make_unique<TFormLog>(services, TestDispatcher());
        form = std::make_unique<TestFormMain>(TestDispatcher(), TestDeps(services, sounds, *log, program, user, [this] {
                                                  ++powerOffs;
                                                  if (powerOff) powerOff();
                                              }));
        return form->FormCreate();
    }
    std::string SettingsFile() const { return user.dir() + "config/Orvane Video Joiner/~system2.dat"; }
    // The started window's settings.
    TUserSettings& settings() { return form->Settings(); }

    ProgramFolder program;
    TempDir user;
    FakeServices services;
    FakeSounds sounds;
    int powerOffs = 0;
    std::function<void()> powerOff;  // what switching off does besides counting
    std::unique_ptr<TFormLog> log;
    std::unique_ptr<TestFormMain> form;
};
