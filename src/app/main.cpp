#include "platform.h"
#include "startup.h"
#include "ctrl.h"
#include "programicon.h"

#include <QApplication>
#include <QSessionManager>

#include <cstdlib>

int main(int argc, char *argv[])
{
    const std::string platform =
        PreferredPlatform(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                          std::getenv("XDG_SESSION_TYPE"));
    if (!platform.empty())
        setenv("QT_QPA_PLATFORM", platform.c_str(), 1);

    QApplication app(argc, argv);
    // The main window's close ends the run, even with other windows open.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon());

    auto windows = StartUp();
    // The desktop session ending must not lose the note either.
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, &app,
        [&windows](QSessionManager &manager) {
            if (!SaveBeforeExit(*windows) && manager.allowsInteraction())
                manager.cancel();
        },
        Qt::DirectConnection);
    windows->fctrl->show();
    return QApplication::exec();
}
