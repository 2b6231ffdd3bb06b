#include "Notepad.h"

#include "boxes.h"
#include "cdatlib.h"
#include "datetext.h"
#include "flash.h"
#include "fonts.h"
#include "screenplace.h"
#include "inpstr.h"
#include "apptitle.h"
#include "libstate.h"
#include "notesettings.h"
#include "notetext.h"
#include "textutil.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTimer>

#include <chrono>
#include <malloc.h>

namespace {

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Where the caret goes when the notepad is shown, counted as in the file.
constexpr qsizetype kShowCaretPosition = 32000;

void NotepadBox(const QString &text, bool ask, bool &answer)
{
    Lib().BoxTitle = "Notepad";
    if (ask)
        answer = AskYes(text);
    else
        InfoBox(text);
    Lib().BoxTitle.clear();
}

QString LowerAscii(const QString &text)
{
    std::string s = text.toStdString();
    LowerInPlace(s);
    return QString::fromStdString(s);
}

// The memo's text with '\n' line breaks, as a user copies it.
QString MemoText(const QPlainTextEdit *memo)
{
    return memo->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

} // namespace

NotepadState &Notes()
{
    static NotepadState state;
    return state;
}

void NotepadStartUp()
{
    Notes() = NotepadState{};
    // A large note is copied and encoded at every show and save. Its buffers
    // stay in the heap, and the heap keeps the pages it has touched, instead
    // of the kernel mapping and zeroing fresh pages each time, which costs
    // more than the copying itself.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_TOP_PAD, 64 << 20);
}

QString DefaultNoteFolder()
{
    const QString program = QString::fromStdString(
        FolderOf(QCoreApplication::applicationFilePath().toStdString()));
    const bool usable = !program.isEmpty() && CanCreateFilesIn(program);
    return ChooseNoteFolder(
        program, usable, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

void NotepadInfo(const QString &text)
{
    bool unused = false;
    NotepadBox(text, false, unused);
}

bool NotepadAsk(const QString &text)
{
    bool yes = false;
    NotepadBox(text, true, yes);
    return yes;
}

TFnotepad::TFnotepad(const QString &noteFolder, QWidget *parent)
    : QMainWindow(parent), folder_(noteFolder)
{
    setObjectName("Fnotepad");
    setWindowTitle("Notepad");
    setFont(SansFont(11));

    auto *bar = menuBar();
    Close1 = bar->addAction("Close");
    Save1 = bar->addAction("Save");
    Now1 = bar->addAction("Now!");
    Export1 = bar->addMenu("Export");
    toClipboard1 = Export1->addAction("to Clipboard");
    toFile1 = Export1->addAction("to File");
    Font1 = bar->addAction("Font");
    End1 = bar->addAction("Scroll-to-cursor");
    Clear1 = bar->addAction("Clear");
    Search1 = bar->addAction("Search");

    auto *client = new QWidget(this);
    setCentralWidget(client);

    // Under the memo: reached by Tab from it, and pressed by Enter or Space.
    Button1 = new QPushButton("Hidden", client);
    Button1->setDefault(true);

    Memo1 = new QPlainTextEdit(client);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    Memo1->setAccessibleName("Note");
    Memo1->installEventFilter(this);
    // Both fill the client area; the memo lies on top.
    auto *grid = new QGridLayout(client);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(Button1, 0, 0);
    grid->addWidget(Memo1, 0, 0);
    Memo1->raise();
    setTabOrder(Memo1, Button1);
    // The keyboard starts in the memo, not on the button beneath it.
    Memo1->setFocus();

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(NoteTracker::kAutosaveMs);
    Timer2 = new QTimer(this);
    Timer2->setSingleShot(true);
    Timer2->setInterval(500);

    connect(Close1, &QAction::triggered, this, &QWidget::close);
    connect(Button1, &QPushButton::clicked, this, &QWidget::close);
    connect(Save1, &QAction::triggered, this, &TFnotepad::Save1Click);
    connect(Now1, &QAction::triggered, this, &TFnotepad::Now1Click);
    connect(toClipboard1, &QAction::triggered, this, &TFnotepad::toClipboard1Click);
    connect(toFile1, &QAction::triggered, this, &TFnotepad::toFile1Click);
    connect(Font1, &QAction::triggered, this, &TFnotepad::Font1Click);
    connect(End1, &QAction::triggered, this, &TFnotepad::End1Click);
    connect(Clear1, &QAction::triggered, this, &TFnotepad::Clear1Click);
    connect(Search1, &QAction::triggered, this, &TFnotepad::Search1Click);
    connect(Memo1->document(), &QTextDocument::contentsChange, this, &TFnotepad::Memo1Change);
    connect(Timer1, &QTimer::timeout, this, &TFnotepad::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TFnotepad::Timer2Timer);

    // Outer 441 x 416 on the original desktop.
    resize(425, 357 + bar->sizeHint().height());
    move(583, 136);
    KeepOnScreenWhenShown(this);
    Timer2->start();

    FormCreate();
}

void TFnotepad::FormCreate()
{
    NotepadState &st = Notes();
    st.ExeFolder = folder_.isEmpty() ? DefaultNoteFolder() : folder_;
    if (!st.ExeFolder.endsWith('/'))
        st.ExeFolder += '/';
    st.SettingsPath = st.ExeFolder + "npad.ini";
    ReadFontSettings();

    // A fixed light violet, so a fixed dark text colour with it.
    QPalette pal = Memo1->palette();
    pal.setColor(QPalette::Base, QColor(235, 215, 255));
    pal.setColor(QPalette::Text, Qt::black);
    Memo1->setPalette(pal);

    if (!LoadNotes())
        return;
    setWindowTitle(ApplicationTitle() + " - Notepad");
    SetDirty(false);
}

void TFnotepad::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFnotepad::FormShow()
{
    if (!LoadNotes())
        return;
    Notes().Tracker.TrackChanges = true;

    // Only the text up to the caret's place is needed to find it.
    QTextDocument *doc = Memo1->document();
    QTextCursor head(doc);
    head.setPosition(std::min<int>(kShowCaretPosition, doc->characterCount() - 1),
                     QTextCursor::KeepAnchor);
    QTextCursor caret(doc);
    caret.setPosition(int(CaretIndexForFilePosition(head.selectedText(), kShowCaretPosition)));
    Memo1->setTextCursor(caret);
    Timer2->start();
}

void TFnotepad::closeEvent(QCloseEvent *event)
{
    NoteTracker &t = Notes().Tracker;
    if (t.CloseQuery([this] { return WriteFontSettings(); }, [this] { return WriteText(); }))
        event->accept();
    else
        event->ignore();
}

bool TFnotepad::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Memo1 && event->type() == QEvent::KeyPress)
        return Memo1KeyDown(static_cast<QKeyEvent *>(event));
    return QMainWindow::eventFilter(watched, event);
}

bool TFnotepad::Memo1KeyDown(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_F3:
        FindNext();
        return false; // the memo still sees it
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Shift+Enter would insert a line separator, which the note file has
        // no form for: every Enter starts a new line.
        if (event->modifiers() & Qt::ShiftModifier) {
            Memo1->textCursor().insertBlock();
            Memo1->ensureCursorVisible();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void TFnotepad::Memo1Change(int, int charsRemoved, int charsAdded)
{
    // A change of format only (the font) is not a change of the note.
    if (applyingFont_ || (charsRemoved == 0 && charsAdded == 0))
        return;
    if (Notes().Tracker.Memo1Change(NowMs()))
        Timer1->start();
}

void TFnotepad::SetDirty(bool flag)
{
    if (Notes().Tracker.SetDirty(flag, NowMs()))
        Timer1->start();
}

void TFnotepad::Timer1Timer()
{
    Timer1->stop();
    Notes().Tracker.CountdownEnded();
    SaveNotes();
}

void TFnotepad::Timer2Timer()
{
    ScrollToCaret();
    Timer2->stop();
}

void TFnotepad::ScrollToCaret()
{
    Memo1->ensureCursorVisible();
}

bool TFnotepad::LoadNotes()
{
    NotepadState &st = Notes();
    if (st.NotesPath.isEmpty())
        st.NotesPath = st.ExeFolder + "npad.txt";
    if (QFileInfo::exists(st.NotesPath)) {
        QByteArray bytes;
        QString reason;
        if (!ReadWholeFile(st.NotesPath, bytes, reason)) {
            LoadFailed(reason);
            return false;
        }
        const DecodedNote note = DecodeNote(bytes);
        if (note.hasZeroByte) {
            LoadFailed("The file holds zero bytes, which a text note cannot hold.");
            return false;
        }
        st.Encoding = note.encoding;
        if (!SameNoteText(Memo1->document()->toRawText(), note.text))
            Memo1->setPlainText(note.text);
    }
    // Typing is possible again only over a note that was read.
    Memo1->setReadOnly(false);
    st.Tracker.Loaded();
    return true;
}

void TFnotepad::LoadFailed(const QString &reason)
{
    // What the memo holds is not the note: typing there would be lost, and
    // nothing may be written over the file.
    Memo1->setReadOnly(true);
    ErrorBox(QString("Cannot open file \"%1\". %2").arg(Notes().NotesPath, reason));
}

bool TFnotepad::SaveNotes()
{
    return Notes().Tracker.SaveNotes([this] { return WriteFontSettings(); },
                                     [this] { return WriteText(); });
}

bool TFnotepad::SaveBeforeExit()
{
    NoteTracker &t = Notes().Tracker;
    if (!t.HasUnsavedChanges())
        return true;
    // Only the note keeps the program open; a lost font setting does not.
    return t.CloseQuery([this] { return WriteFontSettings(); }, [this] { return WriteText(); });
}

bool TFnotepad::WriteText()
{
    NotepadState &st = Notes();
    NoteEncoding encoding = st.Encoding;
    QDir().mkpath(st.ExeFolder);
    if (!WriteMemo(st.NotesPath, encoding))
        return false;
    st.Encoding = encoding;
    return true;
}

bool TFnotepad::WriteMemo(const QString &path, NoteEncoding &encoding)
{
    QString reason;
    if (WriteFileAtomically(path, EncodeNote(Memo1->document()->toRawText(), encoding), reason))
        return true;
    ErrorBox(QString("Cannot create file \"%1\". %2").arg(path, reason));
    return false;
}

void TFnotepad::SetMemoFont(const QFont &font)
{
    applyingFont_ = true;
    Memo1->setFont(font);
    applyingFont_ = false;
}

void TFnotepad::ReadFontSettings()
{
    QByteArray bytes;
    QString unused;
    if (QFileInfo::exists(Notes().SettingsPath))
        ReadWholeFile(Notes().SettingsPath, bytes, unused);
    const FontSettings s = ::ReadFontSettings(bytes.toStdString());
    QFont f;
    f.setFamily(QString::fromStdString(s.name));
    f.setPointSize(s.size > 0 ? s.size : FontSettings{}.size);
    f.setBold(s.bold);
    f.setItalic(s.italic);
    f.setUnderline(s.underline);
    f.setStrikeOut(s.strikeout);
    SetMemoFont(f);
}

bool TFnotepad::WriteFontSettings()
{
    const QString &path = Notes().SettingsPath;
    QByteArray existing;
    QString reason;
    // Other sections of a file that can't be read would be lost.
    if (QFileInfo::exists(path) && !ReadWholeFile(path, existing, reason)) {
        ErrorBox("Unable to write to " + path);
        return false;
    }
    const QFont f = Memo1->font();
    FontSettings s;
    s.name = f.family().toStdString();
    s.size = f.pointSize() > 0 ? f.pointSize() : int(f.pointSizeF() + 0.5);
    s.bold = f.bold();
    s.italic = f.italic();
    s.underline = f.underline();
    s.strikeout = f.strikeOut();
    const std::string bytes = ::WriteFontSettings(existing.toStdString(), s);
    QDir().mkpath(Notes().ExeFolder);
    if (!WriteFileAtomically(path, QByteArray::fromStdString(bytes), reason)) {
        ErrorBox("Unable to write to " + path);
        return false;
    }
    return true;
}

void TFnotepad::Save1Click()
{
    NotepadInfo(QString::fromStdString(Notes().Tracker.SaveReport(NowMs())));
}

void TFnotepad::Now1Click()
{
    if (Memo1->isReadOnly())
        return;
    Memo1->insertPlainText(QString::fromStdString(StampText(NowDateTime(), 2)));
}

void TFnotepad::toClipboard1Click()
{
    QGuiApplication::clipboard()->setText(MemoText(Memo1));
    QTextCursor c = Memo1->textCursor();
    c.setPosition(0);
    Memo1->setTextCursor(c);
    FlashNotice("Exported OK");
}

void TFnotepad::toFile1Click()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter("Text files (*.txt)");
    dialog.setDirectory(QDir::currentPath());
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    ExportToFile(dialog.selectedFiles().constFirst());
}

bool TFnotepad::ExportToFile(const QString &chosenName)
{
    const QString name = CompleteExportName(chosenName);
    // The dialog asked only about the name as chosen.
    if (name != chosenName && QFileInfo::exists(name)
        && !NotepadAsk(QString("\"%1\" already exists - replace it ?").arg(name)))
        return false;
    NoteEncoding encoding = Notes().Encoding;
    if (!WriteMemo(name, encoding))
        return false;
    FlashNotice("Exported OK");
    QDir::setCurrent(Notes().ExeFolder);
    return true;
}

void TFnotepad::Font1Click()
{
    QFontDialog dialog(Memo1->font(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    SetMemoFont(dialog.selectedFont());
    Notes().Tracker.FontChanged = true;
}

void TFnotepad::End1Click()
{
    ScrollToCaret();
}

void TFnotepad::Clear1Click()
{
    if (Memo1->isReadOnly())
        return;
    if (!NotepadAsk("Clear the notepad - are you sure ?"))
        return;
    if (!NotepadAsk("... really sure ? (last chance)"))
        return;
    // Removed as an edit, so that Undo can still bring the note back.
    QTextCursor c(Memo1->document());
    c.select(QTextCursor::Document);
    c.removeSelectedText();
    SetDirty(true);
}

void TFnotepad::Search1Click()
{
    NotepadState &st = Notes();
    QString text = st.SearchText;
    if (!InputText("Search for", "(afterwards use F3 for Find Next)", text))
        return;
    st.SearchText = LowerAscii(text);
    if (st.SearchText.isEmpty())
        return;
    st.SearchFresh = true;
    FindNext();
}

void TFnotepad::FindNext()
{
    NotepadState &st = Notes();
    if (st.SearchText.isEmpty())
        return;
    QTextCursor c = Memo1->textCursor();
    const int start = c.selectionStart();
    const auto match = FindNextMatch(Memo1->document()->toRawText(), st.SearchText, start,
                                     c.selectionEnd() - start);
    if (!match) {
        InfoBox(NotFoundText(st.SearchText, st.SearchFresh));
        return;
    }
    st.SearchFresh = false;
    c.setPosition(int(*match));
    c.setPosition(int(*match + st.SearchText.size()), QTextCursor::KeepAnchor);
    Memo1->setTextCursor(c);
    ScrollToCaret();
}
