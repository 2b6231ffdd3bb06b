// The baselines of the start-up probe. Without arguments: the least a Qt
// Widgets program does to put a window of the main window's size with a
// line of text on the screen (text is the fair part of it: it brings up the
// fonts, which a window without any text never loads). With a file: Qt's
// own editor of the same size showing that file's text.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel label("Strong password generator");
    QPlainTextEdit editor;
    QWidget &window = argc > 1 ? static_cast<QWidget &>(editor) : label;
    if (argc > 1) {
        QFile f(QString::fromLocal8Bit(argv[1]));
        if (!f.open(QIODevice::ReadOnly))
            return 1;
        editor.setPlainText(QString::fromUtf8(f.readAll()));
    }
    window.setWindowTitle("Minimal window");
    window.resize(360, 454);
    window.show();
    return QApplication::exec();
}
