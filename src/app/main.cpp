#include "notepad.h"
#include "boxes.h"
#include "commandline.h"
#include "ctrl.h"
#include "platform.h"
#include "singleinstance.h"
#include "startup.h"
#include "termsignals.h"
#include "widgets.h"

#include <QApplication>
#include <QSessionManager>

#include <cstdlib>

int main(int argc, char *argv[])
{
    // Arguments are for scripts: no window.
    if (argc > 1)
        return RunCommandLine(argc, argv);

    const std::string platform =
        PreferredPlatform(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                          std::getenv("XDG_SESSION_TYPE"));
    if (!platform.empty())
        setenv("QT_QPA_PLATFORM", platform.c_str(), 1);

    QApplication app(argc, argv);
    // The main window's close ends the run, even with other windows open.
    QApplication::setQuitOnLastWindowClosed(false);
    // Ties the windows to the desktop entry, and so to its icon, on Wayland too.
    QGuiApplication::setDesktopFileName(QUORVIN_APP_ID);

    // A logout, a closed terminal or Ctrl+C ends the program as Exit does,
    // only without a question: what can't be written is kept elsewhere.
    TerminationSignals termination;

    // Before anything else: a copy already running on this note folder is
    // brought forward, and this one ends having read and written nothing.
    const NotePlace notes = DefaultNotePlace();
    SingleInstance instance(notes.folder);
    switch (instance.Claim()) {
    case SingleInstance::Outcome::OtherRaised:
        return 0;
    case SingleInstance::Outcome::OtherSilent:
        InfoBox("The program is already running.");
        return 0;
    case SingleInstance::Outcome::First:
        break;
    }

    std::unique_ptr<Windows> windows;
    QObject::connect(&termination, &TerminationSignals::received, &app, [&windows, &instance] {
        if (windows)
            SaveBeforeExit(*windows, [] { return false; });
        instance.Release();
        QCoreApplication::exit(0);
    });
    windows = StartUp(notes);
    // A signal taken by a box during the start-up has ended nothing yet.
    if (termination.Received()) {
        SaveBeforeExit(*windows, [] { return false; });
        return 0;
    }
    instance.SetRaise([&windows] { BringToFront(windows->fctrl.get()); });
    // The desktop session ending must not lose the note either.
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, &app,
        [&windows](QSessionManager &manager) {
            bool asked = false, allowed = false;
            const auto mayAsk = [&] {
                if (!asked) {
                    asked = true;
                    allowed = manager.allowsInteraction();
                }
                return allowed;
            };
            if (!SaveBeforeExit(*windows, mayAsk))
                manager.cancel();
            if (allowed)
                manager.release();
        },
        Qt::DirectConnection);
    WhenFirstDrawn(windows->fctrl.get(), [&windows] { FinishStartUp(*windows); });
    windows->fctrl->show();
    return QApplication::exec();
}
