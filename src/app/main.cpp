#include "ctrl.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The main window's close ends the run, even with other windows open.
    QApplication::setQuitOnLastWindowClosed(false);

    auto windows = StartUp();
    windows->fctrl->show();
    return QApplication::exec();
}
