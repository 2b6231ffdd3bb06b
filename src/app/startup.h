#pragma once

#include <QString>

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
// its settings lie in `noteFolder` (DefaultNoteFolder() when empty).
std::unique_ptr<Windows> StartUp(const QString &noteFolder = {});

// Brings a window to the front of the desktop, unminimised.
void BringToFront(QWidget *window);

// Ending the program, by its main window or by the desktop session, first
// writes what the notepad has not saved yet; false when that failed.
bool SaveBeforeExit(Windows &w);
