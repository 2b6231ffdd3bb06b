// The floor of the start-up probe: a Qt Widgets program that builds the
// program's main window (its widgets, menu and fonts) and shows it, and
// does nothing else: no note, no notepad, no other window, no claim on the
// note folder, no heap policy.
#include "cdatlib.h"
#include "ctrl.h"
#include "randomsource.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    LibraryStartUp();
    SystemRandom random;
    Tfctrl window(random);
    window.show();
    return QApplication::exec();
}
