#pragma once

#include "notedisk.h"

#include <functional>
#include <memory>

class RandomSource;
class TFAbout1;
class TFCal;
class TFFlash;
class TFinpstr;
class TFnotepad;
class Tfctrl;
class QWidget;

// Every window of the program, created once at start-up in a fixed order
// and kept until the end of the run.
struct Windows {
    std::unique_ptr<RandomSource> random;
    std::unique_ptr<Tfctrl> fctrl;
    std::unique_ptr<TFFlash> flash;
    std::unique_ptr<TFinpstr> inpstr;
    std::unique_ptr<TFCal> cal;
    std::unique_ptr<TFAbout1> about;
    std::unique_ptr<TFnotepad> notepad;

    Windows();
    ~Windows();
};

// Runs the modules' start-up steps, then creates the windows. The note and
// its settings lie in `notes` (DefaultNotePlace() when empty).
std::unique_ptr<Windows> StartUp(const NotePlace &notes = {});

// What waits until the main window is drawn, so as not to keep it from the
// screen: the windows' icon, the note put into the notepad's memo.
void FinishStartUp(Windows &w);

// Runs `work` once, in the event loop, after `window` is first drawn.
void WhenFirstDrawn(QWidget *window, std::function<void()> work);

// Brings a window to the front of the desktop, unminimised.
void BringToFront(QWidget *window);

// Ending the program, by its main window, the desktop session or a signal,
// first writes what the notepad has not saved yet, or keeps it in a file of
// its own; `mayAsk` says whether the user can be asked (empty: yes). False
// when the user chose to stay.
bool SaveBeforeExit(Windows &w, const std::function<bool()> &mayAsk = {});
