#include "about1.h"

#include "fonts.h"
#include "programicon.h"
#include "programinfo.h"
#include "screenplace.h"
#include "widgets.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextLayout>
#include <QVBoxLayout>

namespace {

const char *const kAboutLines[] = {
    "",
    "for strong password generation",
    "",
    "Program version " QUORVIN_VERSION,
    "( June 2020 ) ",
    "",
    "Made with C++ and Qt 6",
    "for the Linux desktop",
    "",
    "Randomness: the kernel's getrandom()",
    "",
    "Nothing is sent over the network",
};

constexpr int kPanel1Height = 81;
constexpr int kPanel2Height = 41;
constexpr int kMemo2Height = 34;
constexpr int kPanel3Width = 67;

QPlainTextEdit *ReadOnlyMemo(QWidget *parent)
{
    auto *m = new QPlainTextEdit(parent);
    m->setReadOnly(true);
    m->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return m;
}

// Lays the window out by hand, so the widening loop sees each new width at
// once, shown or not.
class AboutLayout : public QLayout {
  public:
    explicit AboutLayout(TFAbout1 *w) : QLayout(w), w_(w) {}
    void addItem(QLayoutItem *) override {}
    QLayoutItem *itemAt(int) const override { return nullptr; }
    QLayoutItem *takeAt(int) override { return nullptr; }
    int count() const override { return 0; }
    QSize sizeHint() const override { return {235, 314}; }
    void setGeometry(const QRect &r) override
    {
        QLayout::setGeometry(r);
        const int width = r.width(), height = r.height();
        w_->Panel1->setGeometry(0, 0, width, kPanel1Height);
        const int bevel = w_->Panel1->frameWidth();
        w_->Memo2->setGeometry(bevel, kPanel1Height - kMemo2Height - bevel, width - 2 * bevel,
                               kMemo2Height);
        w_->Memo1->setGeometry(0, kPanel1Height, width, height - kPanel1Height - kPanel2Height);
        w_->Panel2->setGeometry(0, height - kPanel2Height, width, kPanel2Height);
        w_->Panel3->setGeometry(width - kPanel3Width - bevel, bevel, kPanel3Width,
                                kPanel2Height - 2 * bevel);
    }

  private:
    TFAbout1 *w_;
};

} // namespace

TFAbout1::TFAbout1(const QString &executablePath, const QDateTime &modified, QWidget *parent)
    : QDialog(parent, Qt::Window)
{
    setObjectName("FAbout1");
    setWindowTitle("About");
    setFont(SansFont(11));
    BuildTopPanel();
    BuildAboutText();

    Panel2 = LoweredPanel(this);
    Panel3 = new QFrame(Panel2);
    Button1 = new QPushButton("OK", Panel3);
    Button1->setFont(ArialFont(11, true));
    Button1->setGeometry(9, 11, 53, 20);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QWidget::close);

    for (QPlainTextEdit *m : {Memo1, Memo2})
        m->installEventFilter(this);
    setTabOrder(Memo2, Button1);

    new AboutLayout(this);
    // Outer 243 x 341 with its frame; its panels' controls sit at fixed places.
    resize(235, 314);
    setMinimumSize(size());
    layout()->setGeometry(rect());
    move(328, 146);
    KeepOnScreenWhenShown(this);

    FormCreate(executablePath, modified);
}

void TFAbout1::BuildTopPanel()
{
    Panel1 = LoweredPanel(this);
    Image1 = new QLabel(Panel1);
    Image1->setPixmap(ProgramIcon().pixmap(32, 32));
    Image1->setGeometry(12, 12, 32, 32);
    Image1->setAccessibleName("Program icon");
    Label1 = new QLabel("QUORVIN", Panel1);
    Label1->move(52, 16);
    Label1->adjustSize();

    Memo2 = ReadOnlyMemo(Panel1);
    Memo2->setFrameShape(QFrame::NoFrame);
    Memo2->setFont(ArialFont(11));
    Memo2->setAccessibleName("Program file and date");
    QPalette face = Memo2->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    face.setColor(QPalette::Text, face.color(QPalette::ButtonText));
    Memo2->setPalette(face);
}

void TFAbout1::BuildAboutText()
{
    Memo1 = ReadOnlyMemo(this);
    Memo1->setFont(ArialFont(11, true));
    Memo1->setAccessibleName("About the program");
    Memo1->setFocusPolicy(Qt::ClickFocus); // skipped by Tab
    // A fixed silver, so a fixed dark text colour on it.
    QPalette silver = Memo1->palette();
    silver.setColor(QPalette::Base, QColor(192, 192, 192));
    silver.setColor(QPalette::Text, Qt::black);
    Memo1->setPalette(silver);
    QTextOption centred = Memo1->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    Memo1->document()->setDefaultTextOption(centred);
    QStringList lines;
    for (const char *line : kAboutLines)
        lines << line;
    Memo1->setPlainText(lines.join('\n'));
}

void TFAbout1::FormCreate(const QString &executablePath, const QDateTime &modified)
{
    const QString path =
        executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : executablePath;
    FillProgramInfo(Memo2, path, modified.isValid() ? modified : QFileInfo(path).lastModified());
    // A screen reader reads a window's description as the window opens, as
    // it reads a message box's text: here all that the window shows, most
    // of which Tab never reaches.
    QStringList said{Label1->text()};
    for (const QString &line : (Memo1->toPlainText() + '\n' + Memo2->toPlainText()).split('\n'))
        if (!line.trimmed().isEmpty())
            said << line.trimmed();
    setAccessibleDescription(said.join('\n'));
    // The box Tab reaches is read from its first line; the date follows it.
    Memo2->setAccessibleDescription(Memo2->toPlainText().section('\n', 1));
}

int TFAbout1::DisplayedLines(const QPlainTextEdit *memo)
{
    const QTextDocument *doc = memo->document();
    // The width the editor wraps at: its own, less the frame and the margins.
    const qreal width =
        memo->width() - 2 * memo->frameWidth() - 2 * doc->documentMargin() - memo->cursorWidth();
    QTextOption option = doc->defaultTextOption();
    option.setWrapMode(memo->wordWrapMode());
    int lines = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        QTextLayout layout(b.text(), memo->font());
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            ++lines;
        }
        layout.endLayout();
    }
    return lines;
}

void TFAbout1::FillProgramInfo(QPlainTextEdit *memo, const QString &executablePath,
                               const QDateTime &modified)
{
    memo->setPlainText(ProgramInfoText(executablePath, modified));
    // A path too long for the whole screen stays wrapped rather than
    // widening the window without end.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int widest = screen ? screen->availableGeometry().width() : 4096;
    while (DisplayedLines(memo) > 2 && width() + 10 <= widest) {
        resize(width() + 10, height());
        layout()->setGeometry(rect());
    }
}

void TFAbout1::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFAbout1::FormShow()
{
    Button1->setFocus();
}

bool TFAbout1::eventFilter(QObject *watched, QEvent *event)
{
    // Memo1KeyDown, Memo2KeyDown
    if ((watched == Memo1 || watched == Memo2) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
            close();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
