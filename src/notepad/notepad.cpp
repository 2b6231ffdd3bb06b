#include "notepad.h"

#include "apptitle.h"
#include "boxes.h"
#include "cdatlib.h"
#include "datetext.h"
#include "flash.h"
#include "fontdialog.h"
#include "fonts.h"
#include "inpstr.h"
#include "keyboard.h"
#include "libstate.h"
#include "notesettings.h"
#include "notetext.h"
#include "qtextutil.h"
#include "screenplace.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStandardPaths>
#include <QTextBlock>
#include <QThread>
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
    const QScopedValueRollback title(Lib().BoxTitle, std::string("Notepad"));
    if (ask)
        answer = AskYes(text);
    else
        InfoBox(text);
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
    // A large note's text is copied whole for every autosave and search.
    // Buffers of that size stay in the heap for the next copy while the
    // notepad is in use, instead of fresh pages being mapped and zeroed for
    // each, which costs more than the copying; ReleaseFreeMemory gives them
    // back when the notepad is put away.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // The note is read and written on threads of their own; one heap for
    // all lets ReleaseFreeMemory give back what those threads freed too.
    mallopt(M_ARENA_MAX, 1);
}

void ReleaseFreeMemory()
{
    malloc_trim(0);
}

NotePlace DefaultNotePlace()
{
    const QString program = WithSeparator(QCoreApplication::applicationDirPath());
    const bool usable = !program.isEmpty() && !IsProgramsFolder(program, QUORVIN_INSTALL_BINDIR)
                        && CanCreateFilesIn(program);
    const QString folder = ChooseNoteFolder(
        program, usable, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return NotePlace(folder, usable ? QString() : program);
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

TFnotepad::TFnotepad(const NotePlace &place, QWidget *parent)
    : QMainWindow(parent), place_(place.folder.isEmpty() ? DefaultNotePlace() : place)
{
    setObjectName("Fnotepad");
    setWindowTitle("Notepad");
    setFont(SansFont(11));
    BuildMenu();
    BuildClientArea();

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(NoteTracker::kAutosaveMs);
    Timer2 = new QTimer(this);
    Timer2->setSingleShot(true);
    Timer2->setInterval(500);
    watcher_ = new QFileSystemWatcher(this);
    ConnectSignals();

    // Outer 441 x 416 with its frame.
    resize(425, 357 + menuBar()->sizeHint().height());
    move(583, 136);
    KeepOnScreenWhenShown(this);
    Timer2->start();

    FormCreate();
}

void TFnotepad::BuildMenu()
{
    auto *bar = menuBar();
    UseMenuBarByKeys(this);
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
}

void TFnotepad::BuildClientArea()
{
    auto *client = new QWidget(this);
    setCentralWidget(client);

    // Under the memo: reached by Tab from it, and pressed by Enter or Space.
    Button1 = new QPushButton("Hidden", client);
    Button1->setDefault(true);
    Button1->setAccessibleName("Close"); // what it does; "Hidden" is its caption

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
}

void TFnotepad::ConnectSignals()
{
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
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &TFnotepad::ShowChangeOnDisk);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &TFnotepad::ShowChangeOnDisk);
}

TFnotepad::~TFnotepad()
{
    if (writer_)
        writer_->wait();
}

void TFnotepad::FormCreate()
{
    NotepadState &st = Notes();
    st.ExeFolder = WithSeparator(place_.folder);
    st.SettingsPath = st.ExeFolder + "npad.ini";
    st.UnsavedFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!place_.leftBehind.isEmpty())
        CarryNote(place_.leftBehind);
    ReadFontSettings();

    // A fixed light violet, so a fixed dark text colour with it.
    QPalette pal = Memo1->palette();
    pal.setColor(QPalette::Base, QColor(235, 215, 255));
    pal.setColor(QPalette::Text, Qt::black);
    Memo1->setPalette(pal);

    if (st.NotesPath.isEmpty())
        st.NotesPath = st.ExeFolder + "npad.txt";
    // The note is read once the main window is drawn (FillMemo), so that a
    // large note does not keep it from the screen.
    firstRead_ = QFileInfo::exists(st.NotesPath);
    if (!firstRead_)
        setWindowTitle(ApplicationTitle() + " - Notepad");
    WatchNote();
    Memo1->setReadOnly(st.NoteReadOnly);
    SetDirty(false);
}

bool TFnotepad::ReadFirstTime()
{
    if (!firstRead_)
        return true;
    firstRead_ = false;
    if (!ReadNote())
        return false; // the caption keeps "Notepad"
    setWindowTitle(ApplicationTitle() + " - Notepad");
    return true;
}

void TFnotepad::CarryNote(const QString &programFolder)
{
    NotepadState &st = Notes();
    QString reason;
    switch (CarryNoteAcross(programFolder, st.ExeFolder, reason)) {
    case CarryOutcome::NothingToCarry:
        break;
    case CarryOutcome::Carried:
        NotepadInfo(QString("The note could not be kept beside the program, so it was copied to "
                            "\"%1\".")
                        .arg(QDir::cleanPath(st.ExeFolder)));
        break;
    case CarryOutcome::Failed:
        // Shown from where it lies, where nothing typed could be kept.
        ErrorBox(reason);
        st.NotesPath = QDir(programFolder).filePath("npad.txt");
        st.SettingsPath = QDir(programFolder).filePath("npad.ini");
        st.NoteReadOnly = true;
        break;
    }
}

void TFnotepad::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

int TFnotepad::ShowCaretIndex() const
{
    // Block by block: only the block the place falls in is read.
    qsizetype left = kShowCaretPosition;
    for (QTextBlock b = Memo1->document()->begin(); b.isValid(); b = b.next()) {
        const int chars = b.length() - 1; // without its break
        if (left <= chars || !b.next().isValid())
            return b.position() + int(CaretIndexForFilePosition(b.text(), left));
        left -= chars + 2; // the break is CR LF in the file
        if (left <= 0)
            return b.next().position();
    }
    return 0;
}

void TFnotepad::hideEvent(QHideEvent *event)
{
    QMainWindow::hideEvent(event);
    ReleaseFreeMemory();
}

void TFnotepad::FormShow()
{
    if (!LoadNotes())
        return;
    FillMemo();
    Notes().Tracker.TrackChanges = true;

    QTextCursor caret(Memo1->document());
    caret.setPosition(ShowCaretIndex());
    Memo1->setTextCursor(caret);
    Timer2->start();
}

void TFnotepad::closeEvent(QCloseEvent *event)
{
    WaitForWrite();
    QScopedValueRollback guard(saving_, true);
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
    if (charsRemoved == 0 && charsAdded == 0)
        return;
    ++edits_;
    diskShown_ = false;
    if (!quiet_ && Notes().Tracker.Memo1Change(NowMs()))
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
    NoteTracker &t = Notes().Tracker;
    t.CountdownEnded();
    // A tick inside a box of a save step in progress: that step writes. A
    // write still in flight starts the next countdown when it ends.
    if (saving_ || writer_)
        return;
    t.SaveSettings([this] { return WriteFontSettings(); });
    if (t.Dirty)
        StartWrite();
}

void TFnotepad::StartWrite()
{
    NotepadState &st = Notes();
    write_ = std::make_shared<NoteWrite>();
    write_->path = st.NotesPath;
    // Only the copy needs this thread; encoding and writing go on beside it.
    write_->text = Memo1->document()->toRawText();
    write_->encoding = st.Encoding;
    write_->disk = st.Disk;
    editsWritten_ = edits_;
    writer_ = QThread::create([write = write_] { write->Run(); });
    connect(writer_, &QThread::finished, this, &TFnotepad::FinishWrite);
    writer_->start();
}

void TFnotepad::WaitForWrite()
{
    if (!writer_)
        return;
    writer_->wait();
    FinishWrite();
}

void TFnotepad::FinishWrite()
{
    if (!writer_)
        return; // already finished by WaitForWrite
    writer_->disconnect(this);
    writer_->deleteLater();
    writer_ = nullptr;
    const std::shared_ptr<NoteWrite> w = std::move(write_);
    NotepadState &st = Notes();
    st.Disk = w->disk;
    switch (w->outcome) {
    case NoteWrite::Outcome::Written:
        st.Encoding = w->encoding;
        st.Tracker.TextWritten(edits_ != editsWritten_);
        diskShown_ = edits_ == editsWritten_;
        WatchNote();
        break;
    case NoteWrite::Outcome::Failed:
        ReportError(QString("Cannot create file \"%1\". %2").arg(w->path, w->reason));
        break;
    case NoteWrite::Outcome::ChangedOutside:
        SaveNotes(); // asks, as every save step does
        break;
    }
    // Changes made while it wrote are due in their turn.
    if (st.Tracker.Dirty && !st.Tracker.CountdownRunning())
        SetDirty(true);
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
    if (!ReadFirstTime())
        return false;
    if (!QFileInfo::exists(st.NotesPath))
        st.Disk = {};
    // What the memo holds, or is about to, needs no second reading while
    // the file is what it was.
    else if ((!notePending_ && !diskShown_) || ChangedOnDisk(st.NotesPath, st.Disk))
        if (!ReadNote())
            return false;
    // Typing is possible again only over a note that was read.
    Memo1->setReadOnly(st.NoteReadOnly);
    st.Tracker.Loaded();
    return true;
}

bool TFnotepad::ReadNote()
{
    NoteRead read;
    read.path = Notes().NotesPath;
    read.Run();
    return TakeRead(read);
}

bool TFnotepad::TakeRead(NoteRead &read)
{
    notePending_ = false;
    noteBytes_ = QByteArray();
    if (!read.failure.isEmpty()) {
        LoadFailed(read.failure);
        return false;
    }
    Notes().Disk = read.disk;
    noteBytes_ = std::move(read.bytes);
    notePending_ = true;
    return true;
}

void TFnotepad::FillMemo()
{
    if (ReadFirstTime())
        PutNoteInMemo(false);
}

void TFnotepad::PutNoteInMemo(bool quietly)
{
    if (!notePending_)
        return;
    DecodedNote note = DecodeNote(noteBytes_);
    noteBytes_ = QByteArray();
    notePending_ = false;
    Notes().Encoding = note.encoding;
    if (!SameNoteText(Memo1->document()->toRawText(), note.text)) {
        if (quietly)
            ChangeQuietly([&] { Memo1->setPlainText(note.text); });
        else
            Memo1->setPlainText(note.text);
    }
    diskShown_ = true;
}

void TFnotepad::LoadFailed(const QString &reason)
{
    // What the memo holds is not the note: typing there would be lost, and
    // nothing may be written over the file.
    Memo1->setReadOnly(true);
    ErrorBox(QString("Cannot open file \"%1\". %2").arg(Notes().NotesPath, reason));
}

void TFnotepad::WatchNote()
{
    const NotepadState &st = Notes();
    // A file replaced by a rename is no longer watched; its folder sees it come.
    for (const QString &path : {st.NotesPath, QDir::cleanPath(st.ExeFolder)})
        if (!watcher_->files().contains(path) && !watcher_->directories().contains(path)
            && QFileInfo::exists(path))
            watcher_->addPath(path);
}

void TFnotepad::ShowChangeOnDisk()
{
    WatchNote();
    NotepadState &st = Notes();
    // Unsaved text is the save step's to weigh against the file; a hidden
    // notepad reads the file when it is shown.
    if (!isVisible() || st.Tracker.Dirty || saving_ || writer_ || !st.Tracker.TrackChanges
        || !QFileInfo::exists(st.NotesPath) || !ChangedOnDisk(st.NotesPath, st.Disk) || !ReadNote())
        return;
    const int caret = Memo1->textCursor().position();
    PutNoteInMemo(true);
    QTextCursor c(Memo1->document());
    c.setPosition(std::min(caret, Memo1->document()->characterCount() - 1));
    Memo1->setTextCursor(c);
    st.Tracker.Loaded();
}

bool TFnotepad::SaveNotes()
{
    WaitForWrite();
    QScopedValueRollback guard(saving_, true);
    return Notes().Tracker.SaveNotes([this] { return WriteFontSettings(); },
                                     [this] { return WriteText(); });
}

bool TFnotepad::SaveBeforeExit(const std::function<bool()> &mayAsk)
{
    NoteTracker &t = Notes().Tracker;
    if (!t.HasUnsavedChanges())
        return true;
    QScopedValueRollback asking(mayAsk_, mayAsk);
    WaitForWrite();
    QScopedValueRollback guard(saving_, true);
    // Only the note keeps the program open; a lost font setting does not.
    if (!t.CloseQuery([this] { return WriteFontSettings(); }, [this] { return WriteText(); })
        && !KeepUnsavedOnExit())
        return false;
    // Whatever closes as the program ends has nothing left to do.
    t.Dirty = false;
    t.FontChanged = false;
    return true;
}

bool TFnotepad::KeepUnsavedOnExit()
{
    const QString path = NewUnsavedPath();
    if (MayAsk()
        && !NotepadAsk(QString("The note could not be saved.\nKeep the unsaved text in \"%1\" and "
                               "quit?")
                           .arg(path)))
        return false;
    if (KeepUnsaved(path) || !MayAsk())
        return true;
    return NotepadAsk("Quit and lose the unsaved text?");
}

bool TFnotepad::WriteText()
{
    NotepadState &st = Notes();
    NoteWrite w;
    w.path = st.NotesPath;
    w.text = Memo1->document()->toRawText();
    w.encoding = st.Encoding;
    w.disk = st.Disk;
    w.Run();
    st.Disk = w.disk;
    if (w.outcome == NoteWrite::Outcome::ChangedOutside) {
        if (!MayAsk()
            || !NotepadAsk("The note file was changed by another program.\nReplace it with the "
                           "text in the notepad?"))
            return KeepTextAndShowFile();
        w.replaceChanged = true;
        w.Run();
    }
    if (w.outcome != NoteWrite::Outcome::Written) {
        ReportError(QString("Cannot create file \"%1\". %2").arg(w.path, w.reason));
        return false;
    }
    st.Encoding = w.encoding;
    st.Disk = w.disk;
    diskShown_ = true;
    WatchNote();
    return true;
}

bool TFnotepad::KeepTextAndShowFile()
{
    const QString path = NewUnsavedPath();
    if (!KeepUnsaved(path))
        return false;
    if (!MayAsk())
        return true; // the program is ending
    if (ReadNote())
        PutNoteInMemo(true);
    NotepadInfo(QString("The text you typed was kept in \"%1\".").arg(path));
    return true;
}

QString TFnotepad::NewUnsavedPath() const
{
    return UnsavedNotePath(Notes().UnsavedFolder, QDateTime::currentDateTime());
}

bool TFnotepad::KeepUnsaved(const QString &path)
{
    QDir().mkpath(Notes().UnsavedFolder);
    NoteEncoding encoding = Notes().Encoding;
    return WriteMemo(path, encoding);
}

bool TFnotepad::WriteMemo(const QString &path, NoteEncoding &encoding, bool inPlaceIfNeeded)
{
    QString reason;
    if (WriteFileAtomically(path, EncodeNote(Memo1->document()->toRawText(), encoding), reason,
                            inPlaceIfNeeded))
        return true;
    ReportError(QString("Cannot create file \"%1\". %2").arg(path, reason));
    return false;
}

void TFnotepad::ReportError(const QString &text)
{
    if (MayAsk())
        ErrorBox(text);
}

void TFnotepad::ChangeQuietly(const std::function<void()> &change)
{
    QScopedValueRollback guard(quiet_, true);
    change();
}

void TFnotepad::SetMemoFont(const QFont &font)
{
    ChangeQuietly([&] { Memo1->setFont(font); });
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
        ReportError("Unable to write to " + path);
        return false;
    }
    const QFont f = Memo1->font();
    FontSettings s;
    s.name = f.family().toStdString();
    s.size = f.pointSize() > 0 ? f.pointSize() : qRound(f.pointSizeF());
    s.bold = f.bold();
    s.italic = f.italic();
    s.underline = f.underline();
    s.strikeout = f.strikeOut();
    const std::string bytes = ::WriteFontSettings(existing.toStdString(), s);
    QDir().mkpath(Notes().ExeFolder);
    if (!WriteFileAtomically(path, QByteArray::fromStdString(bytes), reason)) {
        ReportError("Unable to write to " + path);
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
    // The user chose this file and may write it, though perhaps not its folder.
    if (!WriteMemo(name, encoding, true))
        return false;
    FlashNotice("Exported OK");
    QDir::setCurrent(Notes().ExeFolder);
    return true;
}

void TFnotepad::Font1Click()
{
    NoteFontDialog dialog(Memo1->font(), Memo1->palette().color(QPalette::Text), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The colour lasts until the program ends; only the font is kept.
    QPalette pal = Memo1->palette();
    pal.setColor(QPalette::Text, dialog.SelectedColour());
    Memo1->setPalette(pal);
    if (dialog.FontUnchanged())
        return; // the font keeps its own name, as "Arial" does
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
