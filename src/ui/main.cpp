// Entry of the Orvane Video Joiner application.
#include "app_title.h"
#include "command_line.h"
#include "desktop_services_qt.h"
#include "ff_logger.h"
#include "form_log.h"
#include "form_main.h"
#include "ov_version.h"
#include "partial_files.h"
#include "power_off.h"
#include "qt_dispatcher.h"
#include "single_instance.h"
#include "sound_player.h"
#include "startup_choice.h"
#include "util_funcs.h"

#include <QApplication>
#include <QFont>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A session that ends, or a plain `kill`, closes the window the normal way,
// so the run is stopped and the settings are written; a second signal ends
// the program at once by that signal, taking the helper programs and the
// partial outputs of a run with it.
int signalSockets[2] = {-1, -1};
std::atomic<bool> quitSignalled{false};

void OnQuitSignal(int sig) {
    if (!quitSignalled.exchange(true)) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(signalSockets[1], &byte, 1);
        return;
    }
    RemovePartialFilesAndDie(sig);
}

void CatchQuitSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = OnQuitSignal;
    sigemptyset(&sa.sa_mask);
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaddset(&sa.sa_mask, sig);
    sa.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) ::sigaction(sig, &sa, nullptr);
}

const TCommandHelp ProgramHelp{
    .Program = "orvane-video-joiner",
    .Synopsis = "[OPTIONS] [FILE...]",
    .Description = std::string("Opens the ") + AppTitle +
                   " window, a wizard that joins or converts audio and video files into one of 27 output formats "
                   "and downloads videos by their links. The FILEs given are added to its list of files to join, "
                   "as its Add button adds them.\n\n"
                   "Qt's own options (such as -platform, -display or -style) are also understood. 'orvane' does "
                   "the same work on the command line.",
    .Options = {{"--version", "", "", "show the version and exit"}},
    .ExitStatuses = {{0, "the window was closed"},
                     {1, "the window could not start (the error was shown)"},
                     {ExitUsage, "wrong usage: an unknown option"}},
};

// --help and --version work without a display, so they are looked for
// before Qt starts; a return value >= 0 is the exit status.
int EarlyOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") {
            std::fputs(HelpText(ProgramHelp).c_str(), stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("%s %s\n", ProgramHelp.Program.c_str(), OvVersion);
            return 0;
        }
    }
    return -1;
}

// The files named after Qt took its own options out; an option left is unknown.
bool FilesToOpen(int argc, char** argv, std::vector<std::string>& files) {
    TParsedArgs parsed;
    if (ParseCommandLine(ProgramHelp, std::vector<std::string>(argv + 1, argv + argc), parsed)) return false;
    for (const std::string& f : parsed.Operands) files.push_back(AbsolutePath(f));
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    if (const int status = EarlyOptions(argc, argv); status >= 0) return status;
    QApplication app(argc, argv);
    std::vector<std::string> files;
    if (!FilesToOpen(argc, argv, files)) return ExitUsage;
    // A window of this session is open already: it takes the files.
    TSingleInstance instance(QDBusConnection::sessionBus());
    if (!instance.Claim()) {
        std::string answer;
        if (HandToRunningInstance(QDBusConnection::sessionBus(), files, &answer)) {
            if (answer == "busy") std::fprintf(stderr, "%s: a run is in progress; the files were not added\n", argv[0]);
            return 0;
        }
    }
    CatchQuitSignals();
    QApplication::setApplicationName(AppTitle);
    QApplication::setApplicationDisplayName(AppTitle);
    QApplication::setDesktopFileName("orvane-video-joiner");
    QApplication::setFont(QFont("DejaVu Sans", 9));
    QtDispatcher dispatcher;
    // The engine's one logger hands its lines to the window through it.
    FFLogger().SetDispatcher(&dispatcher);

    TCanberraSoundPlayer sounds;
    TQtDesktopServices services(&sounds);
    TFormLog log(services, dispatcher);
    TFormMainDeps deps;
    deps.Services = &services;
    deps.Sounds = &sounds;
    deps.Log = &log;
    deps.PowerOff = [] { ShutdownComputer(); };
    const TStartupFolders folders = DesktopFolders();
    deps.ExeFolder = folders.ExeFolder;
    deps.AppDataFolder = folders.AppDataFolder;
    deps.DocumentsFolder = folders.DocumentsFolder;
    int status = 1;
    {
        TFormMain main(dispatcher, deps);
        services.SetOwner(&main);
        if (main.FormCreate()) {
            main.show();
            instance.OnFiles = [&main](const std::vector<std::string>& paths) { return main.HandOverFiles(paths); };
            if (!files.empty()) QTimer::singleShot(0, &main, [&] { main.OpenFiles(files); });
            std::unique_ptr<QSocketNotifier> quitSignal;
            if (signalSockets[0] >= 0) {
                quitSignal = std::make_unique<QSocketNotifier>(signalSockets[0], QSocketNotifier::Read);
                QObject::connect(quitSignal.get(), &QSocketNotifier::activated, [&] {
                    char byte;
                    [[maybe_unused]] const ssize_t n = ::read(signalSockets[0], &byte, 1);
                    main.CloseWithoutQuestion();
                    // Also ends a message box's own loop, if one is open.
                    QApplication::quit();
                });
            }
            status = app.exec();
        }
        instance.OnFiles = nullptr;
        services.SetOwner(nullptr);
    }
    FFLogger().SetDispatcher(nullptr);
    return status;
}
