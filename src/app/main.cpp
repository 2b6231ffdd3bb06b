#include "commandline.h"
#include "ctrl.h"
#include "notepad.h"
#include "platform.h"
#include "singleinstance.h"
#include "startup.h"
#include "termsignals.h"
#include "widgets.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Sets the platform Qt is to use; false, with why on standard error, where
// no window can be shown.
bool ChoosePlatform(const WindowCommandLine &line)
{
    // A platform or display given on the command line is the user's choice.
    const char *qpaPlatform = line.platform ? line.platform : std::getenv("QT_QPA_PLATFORM");
    if (const char *reason =
            NoWindowReason(qpaPlatform, line.display ? line.display : std::getenv("DISPLAY"),
                           std::getenv("WAYLAND_DISPLAY"))) {
        std::fprintf(stderr, "quorvin: %s\n", reason);
        return false;
    }
    const std::string platform = PreferredPlatform(qpaPlatform, std::getenv("WAYLAND_DISPLAY"),
                                                   std::getenv("XDG_SESSION_TYPE"));
    if (!platform.empty())
        setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    return true;
}

// The windows, from the start-up until the main window closes or a signal
// ends the run; the program's exit status.
int RunWindows(TerminationSignals &termination, SingleInstance &instance, const NotePlace &notes)
{
    std::unique_ptr<Windows> windows;
    // The end a signal asks for runs once, after the boxes open then have
    // let the steps that opened them finish, and before the folder is let
    // go: nothing is written after.
    bool ended = false;
    const auto end = [&windows, &instance, &ended] {
        if (ended)
            return;
        ended = true;
        SaveAndEnd(*windows, [&windows, &instance] {
            instance.Release();
            QCoreApplication::exit(windows->exitStatus);
        });
    };
    QObject::connect(&termination, &TerminationSignals::received, qApp, [&windows, &end] {
        if (windows)
            windows->note->Withdraw();
        RunOutsideBoxes([&windows] { return windows != nullptr; }, end);
    });
    windows = StartUp(notes);
    // A signal taken by a box during the start-up has ended nothing yet.
    if (termination.Received()) {
        ended = true;
        SaveBeforeExit(*windows, [] { return false; });
        instance.Release();
        return windows->exitStatus;
    }
    instance.SetRaise([&windows] { BringToFront(windows->fctrl.get()); });
    SaveWhenTheSessionEnds(*windows);
    WhenFirstDrawn(windows->fctrl.get(), [&windows] { FinishStartUp(*windows); });
    windows->fctrl->show();
    const int status = QApplication::exec();
    return status != 0 ? status : windows->exitStatus;
}

} // namespace

int main(int argc, char *argv[])
{
    // Before a password or the note is in memory, in the window and on the
    // command line alike.
    KeepMemoryPrivate(std::getenv("QUORVIN_DUMPABLE"));
    // Arguments other than Qt's own for the window are for scripts: no window.
    const WindowCommandLine line = ReadWindowCommandLine(argc, argv);
    if (!line.window)
        return RunCommandLine(argc, argv);
    if (!ChoosePlatform(line))
        return 1;

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
    int status = 0;
    if (!ClaimNoteFolder(instance, termination, notes.folder, status))
        return status;
    return RunWindows(termination, instance, notes);
}
