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

int main(int argc, char** argv) {
    QApplication app(argc, argv);
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
            status = app.exec();
        }
        services.SetOwner(nullptr);
    }
    SetMainDispatcher(nullptr);
    return status;
}
