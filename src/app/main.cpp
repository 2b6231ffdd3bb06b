#include "Notepad.h"
#include "boxes.h"
#include "ctrl.h"
#include "platform.h"
#include "programicon.h"
#include "singleinstance.h"
#include "startup.h"

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
    // Ties the windows to the desktop entry, and so to its icon, on Wayland too.
    QGuiApplication::setDesktopFileName(QUORVIN_APP_ID);

    // Before anything else: a copy already running on this note folder is
    // brought forward, and this one ends having read and written nothing.
    const QString noteFolder = DefaultNoteFolder();
    SingleInstance instance(noteFolder);
    switch (instance.Claim()) {
    case SingleInstance::Outcome::OtherRaised:
        return 0;
    case SingleInstance::Outcome::OtherSilent:
        InfoBox("The program is already running.");
        return 0;
    case SingleInstance::Outcome::First:
        break;
    }

    auto windows = StartUp(noteFolder);
    instance.SetRaise([&windows] { BringToFront(windows->fctrl.get()); });
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
