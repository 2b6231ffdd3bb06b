#pragma once

#include "notestore.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

class RandomSource;
class SingleInstance;
class TerminationSignals;
class TFAbout1;
class TFFlash;
class TFinpstr;
class TFnotepad;
class Tfctrl;
class QWidget;

// Every window of the program, each made once and kept until the end of the
// run, and the note the notepad shows. The About window is made when it is
// first asked for, with what the start-up found of the executable; the
// calendar, which this program never shows, when the date picker is first
// called.
struct Windows {
    std::unique_ptr<RandomSource> random;
    std::unique_ptr<NoteStore> note; // outlives the notepad, which shows its text
    std::unique_ptr<Tfctrl> fctrl;
    std::unique_ptr<TFFlash> flash;
    std::unique_ptr<TFinpstr> inpstr;
    std::unique_ptr<TFnotepad> notepad;

    int exitStatus = 0; // 1 once unsaved text was lost as the program ended

    QString executablePath;
    QDateTime executableModified;
    TFAbout1 *About();

    Windows();
    ~Windows();

  private:
    std::unique_ptr<TFAbout1> about_;
};

// Claims the note folder `notes` for this start: true when this start runs
// the program, the leftovers of a run cut short there removed. Else
// another copy has the folder (it comes to the front, or the user is told
// it does not answer), or what lies at its lock's name is no lock (the user
// is told what is wrong, and `status` is 1). A termination signal ends the
// claim's waits and closes its box, and the start ends.
bool ClaimNoteFolder(SingleInstance &instance, TerminationSignals &termination,
                     const QString &notes, int &status);

// Runs the modules' start-up steps, then creates the windows. The note and
// its settings lie in `notes` (DefaultNotePlace() when empty).
std::unique_ptr<Windows> StartUp(const NotePlace &notes = {});

// The desktop session ending saves the note as Exit does, asking only when
// the session lets the program ask.
void SaveWhenTheSessionEnds(Windows &w);

// What waits until the main window is drawn, so as not to keep it from the
// screen: the windows' icon, the note put into the notepad's memo.
void FinishStartUp(Windows &w);

// Runs `work` once, in the event loop, after `window` is first drawn.
void WhenFirstDrawn(QWidget *window, std::function<void()> work);

// Ending the program, by its main window or a signal, first writes what the
// notepad has not saved yet, or keeps it in a file of its own; `mayAsk` says
// whether the user can be asked (empty: yes). What became of the text goes
// to standard error, a loss into `exitStatus`; unless the user chose to
// stay, the notepad writes nothing more.
ExitReport SaveBeforeExit(Windows &w, const std::function<bool()> &mayAsk = {});
// The same for an end that asks nobody (the user is withdrawn) and waits for
// nothing: `ended` runs once the note's step is over.
void SaveAndEnd(Windows &w, std::function<void()> ended);

// Runs `end` once `ready` holds, no box or menu is open and only the main
// event loop runs, so that a step a box interrupted has finished first.
// Boxes and menus still open are closed, as their Cancel would.
void RunOutsideBoxes(std::function<bool()> ready, std::function<void()> end);
