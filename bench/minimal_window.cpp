// The baseline of the start-up probe: the least a Qt Widgets program does
// to put a window of the main window's size with a line of text on the
// screen. Text is the fair part of it: it brings up the fonts, which a
// window without any text never loads.
#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel window("Strong password generator");
    window.setWindowTitle("Minimal window");
    window.resize(360, 454);
    window.show();
    return QApplication::exec();
}
