// Entry of the Orvane Video Joiner application.
#include "desktop_services_qt.h"
#include "form_log.h"
#include "form_main.h"
#include "global_vars.h"
#include "power_off.h"
#include "qt_dispatcher.h"
#include "settings.h"
#include "sound_player.h"
#include "util_funcs.h"

#include <QApplication>
#include <QFont>
#include <QSocketNotifier>

#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A session that ends, or a plain `kill`, closes the window the normal way,
// so the run is stopped and the settings are written; a second signal ends
// the program at once.
int signalSockets[2] = {-1, -1};

void OnQuitSignal(int sig) {
    std::signal(sig, SIG_DFL);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalSockets[1], &byte, 1);
}

void CatchQuitSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = OnQuitSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CatchQuitSignals();
    QApplication::setApplicationName(AppTitle);
    QApplication::setApplicationDisplayName(AppTitle);
    QApplication::setDesktopFileName("orvane-video-joiner");
    QApplication::setFont(QFont("DejaVu Sans", 9));
    QtDispatcher dispatcher;
    SetMainDispatcher(&dispatcher);

    TCanberraSoundPlayer sounds;
    TQtDesktopServices services(&sounds);
    TGlobalVars g;
    TFormLog log(services);
    TFormMainDeps deps;
    deps.Services = &services;
    deps.Sounds = &sounds;
    deps.Log = &log;
    deps.PowerOff = [] { ShutdownComputer(); };
    deps.ExeFolder = ExecutableFolder();
    deps.AppDataFolder = ReadShellFolder("AppData");
    deps.DocumentsFolder = ReadShellFolder("Personal");
    int status = 1;
    {
        TFormMain main(g, deps);
        services.SetOwner(&main);
        if (main.FormCreate()) {
            main.show();
            std::unique_ptr<QSocketNotifier> quitSignal;
            if (signalSockets[0] >= 0) {
                quitSignal = std::make_unique<QSocketNotifier>(signalSockets[0], QSocketNotifier::Read);
                QObject::connect(quitSignal.get(), &QSocketNotifier::activated, [&] {
                    char byte;
                    [[maybe_unused]] const ssize_t n = ::read(signalSockets[0], &byte, 1);
                    main.close();
                    // Also ends a message box's own loop, if one is open.
                    QApplication::quit();
                });
            }
            status = app.exec();
        }
        services.SetOwner(nullptr);
    }
    SetMainDispatcher(nullptr);
    return status;
}
