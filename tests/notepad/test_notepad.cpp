#include "cdatlib.h"
#include "flash.h"
#include "fontdialog.h"
#include "inpstr.h"
#include "notecommands.h"
#include "notepad.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <functional>
#include <sys/mman.h>

#include "files.h"
#include "modal.h"
#include "soon.h"

namespace {

// Memory of its own (a note's bytes, read) can't be had while this is set;
// nothing can be written while the other is.
bool g_noMemory = false;
std::atomic<bool> g_diskFull = false;

} // namespace

extern "C" ssize_t pwrite(int fd, const void *buffer, size_t n, off_t at)
{
    using Pwrite = ssize_t (*)(int, const void *, size_t, off_t);
    if (g_diskFull) {
        errno = ENOSPC;
        return -1;
    }
    return reinterpret_cast<Pwrite>(dlsym(RTLD_NEXT, "pwrite"))(fd, buffer, n, at);
}

extern "C" void *mmap(void *at, size_t length, int protection, int flags, int fd, off_t offset)
{
    using Mmap = void *(*)(void *, size_t, int, int, int, off_t);
    if (g_noMemory && fd < 0 && length >= 1 << 20) {
        errno = ENOMEM;
        return MAP_FAILED;
    }
    return reinterpret_cast<Mmap>(dlsym(RTLD_NEXT, "mmap"))(at, length, protection, flags, fd,
                                                            offset);
}

namespace {

struct Box {
    QString caption, text;
};

// Answers the next message box with the button `caption`, noting what it said.
void Answer(const QString &caption, Box *seen = nullptr)
{
    WhenModal<QMessageBox>([caption, seen](QMessageBox *box) {
        if (seen)
            *seen = {box->windowTitle(), box->text()};
        for (QAbstractButton *b : box->buttons())
            if (b->text() == caption)
                b->click();
    });
}

// Types `text` into the input dialog and presses OK.
void Enter(const QString &text)
{
    WhenModal<TFinpstr>([text](TFinpstr *d) {
        d->Edit1->setText(text);
        d->Button1->click();
    });
}

class NotepadTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        LibraryStartUp();
        NotepadStartUp();
    }
    void TearDown() override { FlashNotice(""); }

    QString Path(const QString &name) const { return dir.filePath(name); }

    QByteArray File(const QString &name) const { return Bytes(Path(name)); }
    void Put(const QString &name, const QByteArray &bytes) const { ::Put(Path(name), bytes); }

    // The note's store and the notepad over it, as the start-up makes them.
    TFnotepad &Make()
    {
        pad.reset();
        store = MakeNoteStore(NotePlace(dir.path()));
        pad = std::make_unique<TFnotepad>(*store);
        return *pad;
    }

    // Both gone, as a kill leaves them: no end, no save.
    void Kill()
    {
        pad.reset();
        store.reset();
    }

    NoteStore &Store() { return *store; }

    TFnotepad &Open()
    {
        Make();
        pad->show();
        // The note is read on a thread of its own, then put into the memo.
        EXPECT_TRUE(QTest::qWaitFor([this] { return pad->Settled(); }));
        return *pad;
    }

    void Type(const QString &keys) { QTest::keyClicks(pad->Memo1, keys); }

    QString Text() const { return pad->Memo1->toPlainText(); }

    QTemporaryDir dir;
    TFFlash flash;
    TFinpstr inpstr;
    std::unique_ptr<NoteStore> store; // outlives the notepad, as the program's does
    std::unique_ptr<TFnotepad> pad;
};

} // namespace

TEST_F(NotepadTest, AFirstRunStartsEmptyAndWritesOnlyWhatIsTyped)
{
    TFnotepad &np = Open();
    EXPECT_EQ(np.windowTitle(), ApplicationTitle() + " - Notepad");
    EXPECT_EQ(np.Memo1->font().family(), "Arial");
    EXPECT_EQ(np.Memo1->font().pointSize(), 10);
    EXPECT_FALSE(Store().Tracker().Dirty);
    EXPECT_EQ(File("npad.txt"), "<missing>");

    // Keys go where the window's focus is.
    np.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&np));
    ASSERT_EQ(QApplication::focusWidget(), np.Memo1);
    QWidget *focus = QApplication::focusWidget();
    QTest::keyClicks(focus, "first");
    QTest::keyClick(focus, Qt::Key_Return);
    QTest::keyClick(focus, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(focus, "last");
    EXPECT_TRUE(Store().Tracker().Dirty);
    EXPECT_TRUE(np.Timer1->isActive());
    np.close();
    EXPECT_FALSE(np.isVisible());
    EXPECT_EQ(File("npad.txt"), "first\r\n\r\nlast");
    EXPECT_EQ(File("npad.ini"), "<missing>");

    np.show();
    EXPECT_EQ(np.Memo1->textCursor().position(), Text().size());
}

TEST_F(NotepadTest, TheCountdownWritesTheTextAndAFontChangeIsNoTextChange)
{
    Put("npad.txt", "a\nb");
    TFnotepad &np = Open();
    EXPECT_EQ(Text(), "a\nb");
    EXPECT_EQ(np.Memo1->textCursor().position(), 3);

    WhenModal<QFontDialog>([](QFontDialog *d) {
        QFont f("Courier New", 14);
        f.setItalic(true);
        d->setCurrentFont(f);
        d->accept();
    });
    np.Font1Click();
    EXPECT_FALSE(Store().Tracker().Dirty);
    EXPECT_FALSE(np.Timer1->isActive());
    EXPECT_EQ(File("npad.ini"), "<missing>"); // not at once

    np.Timer1->setInterval(20);
    Type("!");
    EXPECT_SOON(File("npad.txt") == QByteArray("a\nb!")); // its LF breaks kept
    EXPECT_FALSE(Store().Tracker().FontChanged);
    np.close();

    NotepadStartUp();
    const std::unique_ptr<NoteStore> againNote = MakeNoteStore(NotePlace(dir.path()));
    TFnotepad again(*againNote);
    EXPECT_EQ(again.Memo1->font().pointSize(), 14);
    EXPECT_TRUE(again.Memo1->font().italic());
}

namespace {

// What starts a timer, and the timer with its time.
struct DueRow {
    const char *name;
    void (*start)(NotepadTest &t);
    const QTimer *(*timer)(NotepadTest &t);
    int ms;
};

class DueTest : public NotepadTest, public ::testing::WithParamInterface<DueRow> {
  public:
    using NotepadTest::flash, NotepadTest::pad, NotepadTest::Type;
};

} // namespace

TEST_P(DueTest, TheAutosaveAndTheNoticeAreNotDueBeforeTheirTime)
{
    const DueRow &c = GetParam();
    Open();
    QElapsedTimer since;
    since.start();
    c.start(*this);
    const QTimer *timer = c.timer(*this);
    EXPECT_GE(timer->remainingTime(), c.ms - since.elapsed() - 1);
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
}

INSTANTIATE_TEST_SUITE_P(
    NotepadTest, DueTest,
    ::testing::Values(DueRow{"TheAutosaveAfterAKey",
                             [](NotepadTest &test) { static_cast<DueTest &>(test).Type("x"); },
                             [](NotepadTest &test) -> const QTimer * {
                                 return static_cast<DueTest &>(test).pad->Timer1;
                             },
                             15000},
                      DueRow{"TheNotice", [](NotepadTest &) { FlashNotice("Exported OK"); },
                             [](NotepadTest &test) -> const QTimer * {
                                 return static_cast<DueTest &>(test).flash.Timer1;
                             },
                             1500}),
    [](const auto &row) { return std::string(row.param.name); });

namespace {

struct RefusedRow {
    const char *name;
    QByteArray bytes;
    bool noMemory;
    const char *reason;
};

class RefusedTest : public NotepadTest, public ::testing::WithParamInterface<RefusedRow> {};

} // namespace

TEST_P(RefusedTest, ANoteThatCannotBeTakenInIsRefusedWithItsReasonAndNeverWrittenOver)
{
    const RefusedRow &c = GetParam();
    Put("npad.txt", c.bytes);
    Box seen;
    Answer("OK", &seen);
    g_noMemory = c.noMemory;
    Make();
    pad->FillMemo(); // as the start-up does once the main window is drawn
    ASSERT_TRUE(QTest::qWaitFor([this] { return !Store().FirstReadPending(); }));
    g_noMemory = false;
    EXPECT_SOON(seen.text
                == QString("Cannot open file \"%1\". %2").arg(Path("npad.txt"), c.reason));
    EXPECT_EQ(pad->windowTitle(), "Notepad");

    Answer("OK", &seen);
    seen = {};
    g_noMemory = c.noMemory;
    pad->show();
    EXPECT_TRUE(QTest::qWaitFor([this] { return pad->Settled(); }));
    g_noMemory = false;
    EXPECT_SOON(seen.text.startsWith("Cannot open file"));
    EXPECT_TRUE(pad->Memo1->isReadOnly());
    Type("typed");
    QTest::keyClick(pad->Memo1, Qt::Key_Return, Qt::ShiftModifier);
    pad->Clear1Click();
    QGuiApplication::clipboard()->setText("pasted");
    pad->Memo1->paste();
    EXPECT_EQ(Text(), "");
    pad->close();
    EXPECT_FALSE(Store().Tracker().TrackChanges);
    EXPECT_TRUE(File("npad.txt") == c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    NotepadTest, RefusedTest,
    ::testing::Values(
        RefusedRow{"ANulCharacter", QByteArray("ab\0cd", 5), false,
                   "The file holds a NUL character (byte 0), so it is not a plain text note."},
        RefusedRow{"TooLargeForTheMemoryThereIs", QByteArray(2 << 20, 'x'), true,
                   "Cannot allocate memory"}),
    [](const auto &row) { return std::string(row.param.name); });

TEST_F(NotepadTest, APastedNulCharacterIsLeftOutOfTheNote)
{
    Open();
    QGuiApplication::clipboard()->setText(QString("a") + QChar(0) + "b");
    pad->Memo1->paste();
    EXPECT_EQ(Text(), "ab");
}

TEST_F(NotepadTest, SearchAndF3FindEachMatchThenReportTheEnd)
{
    Put("npad.txt", "The cat sat on the Cat");
    TFnotepad &np = Open();
    np.Memo1->moveCursor(QTextCursor::Start);

    Enter("CAT");
    np.Search1Click();
    EXPECT_EQ(Notes().SearchText, "cat");
    EXPECT_EQ(np.Memo1->textCursor().selectedText(), "cat");
    EXPECT_EQ(np.Memo1->textCursor().selectionStart(), 4);

    QTest::keyClick(np.Memo1, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(np.Memo1->textCursor().selectionStart(), 19);

    Box seen;
    Answer("OK", &seen);
    QTest::keyClick(np.Memo1, Qt::Key_F3);
    EXPECT_SOON(seen.text == "\"cat\" - no more instances");
    EXPECT_EQ(seen.caption, ApplicationTitle());
    EXPECT_EQ(np.Memo1->textCursor().selectionStart(), 19);

    Enter("dog");
    Answer("OK", &seen);
    np.Search1Click();
    EXPECT_SOON(seen.text == "\"dog\" - not found");
}

TEST_F(NotepadTest, F3ThroughALargeNoteFindsMatchesAcrossTheWindowsItIsSearchedIn)
{
    // A large note is searched a window of 256 Ki characters at a time.
    constexpr int kWindow = 1 << 18;
    QByteArray note;
    while (note.size() < 3 * kWindow)
        note += QByteArray(99, 'x') + '\n'; // short lines: quick to lay out
    Put("npad.txt", note);
    TFnotepad &np = Open();
    Notes().SearchText = "needle";
    for (const int at : {kWindow - 6, kWindow - 3, kWindow - 1, kWindow, 2 * kWindow + 7}) {
        QTextCursor c(np.Memo1->document());
        c.setPosition(at);
        c.setPosition(at + 6, QTextCursor::KeepAnchor);
        c.insertText("NeeDle");
        np.Memo1->moveCursor(QTextCursor::Start);
        np.FindNext();
        EXPECT_TRUE(QTest::qWaitFor([&] { return np.Settled(); }));
        EXPECT_EQ(np.Memo1->textCursor().selectionStart(), at) << at;
        EXPECT_EQ(np.Memo1->textCursor().selectedText(), "NeeDle");
        Box seen;
        Answer("OK", &seen);
        np.FindNext();
        EXPECT_TRUE(QTest::qWaitFor([&] { return np.Settled(); }));
        EXPECT_SOON(seen.text == "\"needle\" - no more instances") << at;
        c.setPosition(at);
        c.setPosition(at + 6, QTextCursor::KeepAnchor);
        c.insertText("xxxxxx"); // gone again for the next place
    }
}

TEST_F(NotepadTest, ExportAsksBeforeReplacingTheCompletedName)
{
    Put("npad.txt", "note \xE9");
    TFnotepad &np = Open();
    Put("notes.txt", "keep");

    Box seen;
    Answer("&No", &seen);
    EXPECT_FALSE(np.ExportToFile(Path("notes")));
    EXPECT_EQ(seen.caption, " Notepad");
    EXPECT_EQ(File("notes.txt"), "keep");

    Answer("&Yes");
    EXPECT_TRUE(np.ExportToFile(Path("notes")));
    EXPECT_SOON(Flash().FlashActive); // once written, on a thread of its own
    EXPECT_EQ(File("notes.txt"), "note \xE9");
    EXPECT_TRUE(np.ExportToFile(Path("other.TXT"))); // nothing to ask
    EXPECT_SOON(File("other.TXT") == QByteArray("note \xE9"));
    EXPECT_FALSE(Store().Tracker().Dirty);

    np.toClipboard1Click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "note \u00e9");

    // A large note goes to the clipboard a slice at a time: a change made
    // meanwhile is in the copy.
    const QString large = QString(64, 'x').append('\n').repeated(1 << 18);
    np.Memo1->setPlainText(large);
    FlashNotice("");
    np.toClipboard1Click();
    EXPECT_FALSE(Flash().FlashActive) << "told before a paste would give the note";
    QTextCursor(np.Memo1->document()).insertText("A");
    EXPECT_SOON(np.Settled());
    EXPECT_TRUE(Flash().FlashActive);
    EXPECT_TRUE(QGuiApplication::clipboard()->text() == "A" + large);

    // Clear while they are under way leaves them the text they were asked for.
    np.Memo1->setPlainText(large);
    EXPECT_TRUE(np.ExportToFile(Path("before.txt")));
    np.toClipboard1Click();
    WhenModal<QMessageBox>([](QMessageBox *first) {
        Answer("&Yes");
        first->defaultButton()->click();
    });
    np.Clear1Click();
    EXPECT_EQ(Text(), "");
    EXPECT_TRUE(QGuiApplication::clipboard()->text() == large);
    EXPECT_SOON(File("before.txt") == large.toLatin1().replace("\n", "\r\n"));

    // An export still under way as the program ends is written whole.
    np.Memo1->setPlainText(large);
    EXPECT_TRUE(np.ExportToFile(Path("large.txt")));
    Kill();
    EXPECT_TRUE(File("large.txt") == large.toLatin1().replace("\n", "\r\n"));
}

TEST_F(NotepadTest, ClearNeedsTwoYesAndNowReplacesTheSelection)
{
    Put("npad.txt", "one two");
    TFnotepad &np = Open();
    QTextCursor c = np.Memo1->textCursor();
    c.setPosition(4);
    c.setPosition(7, QTextCursor::KeepAnchor);
    np.Memo1->setTextCursor(c);
    np.Now1Click();
    EXPECT_EQ(Text().size(), 4 + 17);
    EXPECT_TRUE(Text().endsWith(' '));
    EXPECT_EQ(np.Memo1->textCursor().position(), 4 + 17);
    EXPECT_TRUE(Store().Tracker().Dirty);

    WhenModal<QMessageBox>([](QMessageBox *first) {
        Answer("&No");
        first->defaultButton()->click();
    });
    np.Clear1Click();
    EXPECT_EQ(Text().size(), 21);

    WhenModal<QMessageBox>([](QMessageBox *first) {
        Answer("&Yes");
        first->defaultButton()->click();
    });
    np.Clear1Click();
    EXPECT_EQ(Text(), "");
    QTest::keyClick(np.Memo1, Qt::Key_Escape);
    EXPECT_FALSE(np.isVisible());
    EXPECT_EQ(File("npad.txt"), "");
}

TEST_F(NotepadTest, TheNotepadOpensWithTheCaretAtCharacter32000CountedAsInTheFile)
{
    // Lines whose breaks bring the place before, onto and after a CR LF.
    for (const int line : {0, 1, 98, 99, 159, 199, 40000}) {
        QByteArray note;
        while (note.size() < 40000)
            note += QByteArray(line, 'a') + "\r\n";
        note += QByteArray("\xF0\x9F\x98\x80 end"); // a surrogate pair in the last line
        Put("npad.txt", note);
        NotepadStartUp();
        TFnotepad &np = Open();
        const QString raw = np.Memo1->document()->toRawText();
        EXPECT_EQ(np.Memo1->textCursor().position(), CaretIndexForFilePosition(raw, 32000))
            << "lines of " << line;
        pad.reset();
    }
}

TEST_F(NotepadTest, ALargeNoteGoesInPieceByPieceAndWhatIsTypedMeanwhileLandsOnceItIsIn)
{
    // Lines of 13 bytes and 7 characters: the pieces of the reading (1 MiB)
    // and the slices of the memo (64 Ki characters) end inside characters
    // unless cut with care.
    QByteArray note;
    while (note.size() < 5 << 19)
        note += "\xC3\xA9\xF0\x9F\x98\x80\xF0\x9F\x98\x80x\r\n";
    Put("npad.txt", note);
    QGuiApplication::clipboard()->setText("P");
    Make();
    pad->show();
    QString typed;
    bool exported = false, busy = true;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (!pad->Settled()) {
                // What is in, and what is still to come.
                if (!pad->Memo1->document()->isEmpty())
                    exported = exported || pad->ExportToFile(dir.filePath("copy.txt"));
                busy = busy && pad->Memo1->viewport()->cursor().shape() == Qt::BusyCursor;
                const bool paste = typed.size() == 1;
                if (paste)
                    QTest::keyClick(pad->Memo1, Qt::Key_V, Qt::ControlModifier);
                else
                    QTest::keyClicks(pad->Memo1, "Z");
                typed += paste ? "P" : "Z";
            }
            return pad->Settled();
        },
        30000));
    EXPECT_GT(typed.size(), 2);
    EXPECT_TRUE(busy);
    EXPECT_EQ(pad->Memo1->viewport()->cursor().shape(), Qt::IBeamCursor);
    // As if the note had been in at once: at the show's caret, in order.
    QString expected = QString::fromUtf8(note).replace("\r\n", "\n");
    const qsizetype caret = CaretIndexForFilePosition(expected, 32000);
    expected.insert(caret, typed);
    EXPECT_TRUE(Text() == expected) << "nothing split or lost";
    EXPECT_EQ(pad->Memo1->textCursor().position(), caret + typed.size());
    EXPECT_TRUE(Store().Tracker().Dirty);
    EXPECT_TRUE(exported);
    // Taken as of its last slice: the note, or the note with what was typed.
    const QByteArray written = expected.toUtf8().replace("\n", "\r\n");
    EXPECT_SOON(File("copy.txt") == note || File("copy.txt") == written);
    pad->close();
    EXPECT_TRUE(File("npad.txt") == written);
}

TEST_F(NotepadTest, WhatIsTypedWhileALargeNoteComesInIsSavedIfTheProgramEndsFirst)
{
    QByteArray note;
    while (note.size() < 5 << 20)
        note += QByteArray(98, 'n') + "\r\n";
    Put("npad.txt", note);
    Make().show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !Store().FirstReadPending(); }));
    ASSERT_TRUE(Store().Buffer().Coming()) << "still going in";
    Type("typed");
    EXPECT_EQ(Store().SaveBeforeExit([] { return false; }).outcome, ExitReport::Outcome::Saved);
    QString text = QString::fromLatin1(note).replace("\r\n", "\n");
    text.insert(CaretIndexForFilePosition(text, 32000), "typed"); // at the show's caret
    EXPECT_TRUE(File("npad.txt") == text.toLatin1().replace("\n", "\r\n"));
}

TEST_F(NotepadTest, ALargeClearReachesTheJournalSoThatAKillLeavesTheNoteCleared)
{
    QByteArray note;
    while (note.size() < 2'100'000)
        note += QByteArray(98, 'p') + "\r\n";
    Put("npad.txt", note);
    TFnotepad &np = Open();
    WhenModal<QMessageBox>([](QMessageBox *first) {
        Answer("&Yes");
        first->defaultButton()->click();
    });
    np.Clear1Click();
    Type("X");
    Kill();
    Box notice;
    Answer("OK", &notice);
    Open();
    EXPECT_SOON(notice.text.contains("recovered")) << notice.text.toStdString();
    EXPECT_TRUE(Text() == "X") << Text().size() << " characters: " << Text().left(9).toStdString();
}

namespace {

// A face whose styles Qt's generic names ("Normal", "Italic") may miss.
struct FaceRow {
    const char *name;
    const char *family;
    bool bold, italic;
};

class FontKeptTest : public ::testing::TestWithParam<FaceRow> {};

} // namespace

TEST_P(FontKeptTest, OkWithNothingTouchedKeepsTheFontAndItsSlant)
{
    const FaceRow &c = GetParam();
    QFont font(c.family, 10);
    font.setBold(c.bold);
    font.setItalic(c.italic);
    NoteFontDialog dialog(font, Qt::black, Qt::white);
    dialog.accept();
    EXPECT_TRUE(dialog.FontUnchanged());
    EXPECT_EQ(dialog.selectedFont().bold(), c.bold);
    EXPECT_EQ(dialog.selectedFont().italic(), c.italic);
    EXPECT_EQ(SettingsOf(dialog.ChosenFont()).name, c.family);
}

INSTANTIATE_TEST_SUITE_P(
    NotepadTest, FontKeptTest,
    ::testing::Values(FaceRow{"DejaVuSans", "DejaVu Sans", false, false},
                      FaceRow{"DejaVuSansMono", "DejaVu Sans Mono", false, false},
                      FaceRow{"DejaVuSerif", "DejaVu Serif", false, false},
                      FaceRow{"DejaVuSansBoldOblique", "DejaVu Sans", true, true},
                      FaceRow{"LiberationSans", "Liberation Sans", false, false},
                      FaceRow{"LiberationSerif", "Liberation Serif", false, false}),
    [](const auto &row) { return std::string(row.param.name); });

TEST_F(NotepadTest, TheFontKeepsTheFaceNameItWasAskedForUntilAnotherFaceIsChosen)
{
    TFnotepad &np = Open();
    const QString dejaVu = QFontInfo(QFont("DejaVu Sans")).family();
    const struct {
        QString face; // as the dialog's list names it
        int size;
        QString name; // kept
    } cases[] = {
        {QFontInfo(QFont("Arial")).family(), 11, "Arial"}, // the size alone
        {dejaVu, 12, dejaVu},
    };
    for (const auto &c : cases) {
        WhenModal<NoteFontDialog>([&](NoteFontDialog *d) {
            d->setCurrentFont(QFont(c.face, c.size));
            d->accept();
        });
        np.Font1Click();
        EXPECT_EQ(np.Memo1->font().family(), c.name) << c.face.toStdString();
        EXPECT_EQ(np.Memo1->font().pointSize(), c.size) << c.face.toStdString();
    }
}

TEST_F(NotepadTest, TheFontDialogShowsTheFontAsSeenAndOffersAColourThatIsNotKept)
{
    TFnotepad &np = Open();
    QString preset;
    WhenModal<NoteFontDialog>([&](NoteFontDialog *d) {
        preset = d->currentFont().family();
        d->accept(); // nothing touched
    });
    np.Font1Click();
    EXPECT_EQ(preset, QFontInfo(QFont("Arial")).family());
    EXPECT_EQ(np.Memo1->font().family(), "Arial");
    EXPECT_TRUE(Store().Tracker().FontChanged) << "confirmed, so written as it was";

    // The sample shows the chosen colour on the memo's background.
    QColor sample, sampleBase;
    WhenModal<NoteFontDialog>([&](NoteFontDialog *d) {
        d->Colour->setCurrentIndex(d->Colour->findText("Maroon"));
        for (QLineEdit *e : d->findChildren<QLineEdit *>())
            if (e->parentWidget()->inherits("QGroupBox")) {
                sample = e->palette().color(QPalette::Text);
                sampleBase = e->palette().color(QPalette::Base);
            }
        d->accept();
    });
    np.Font1Click();
    EXPECT_EQ(sample, QColor(0x80, 0, 0));
    EXPECT_EQ(sampleBase, np.Memo1->palette().color(QPalette::Base));
    EXPECT_EQ(np.Memo1->palette().color(QPalette::Text), QColor(0x80, 0, 0));
    np.close();
    EXPECT_EQ(File("npad.ini"), "[notepad]\nFONTNAME=Arial\nFONTSIZE=10\nFONTBOLD=0\nFONTITALIC=0\n"
                                "FONTUNDERLINE=0\nFONTSTRIKEOUT=0\n");
}

namespace {

// What makes a box come by itself while the user types on: done before the
// typing, and as the autosave's countdown ends; the first box's text, and
// the note file while it is open.
struct ByItselfRow {
    const char *name;
    void (*before)(NotepadTest &t);
    void (*atTheAutosave)(NotepadTest &t);
    const char *box;
    QByteArray file;
};

class ByItselfTest : public NotepadTest, public ::testing::WithParamInterface<ByItselfRow> {
  public:
    using NotepadTest::Path, NotepadTest::Put;
};

} // namespace

TEST_P(ByItselfTest, TypingGoesOnThroughABoxThatComesByItselfAndNoKeyInFlightAnswersIt)
{
    const ByItselfRow &c = GetParam();
    Put("npad.txt", "old");
    Open();
    c.before(*this);
    QString typed;
    // A typist's pace, for longer than the pause a box waits for.
    for (int i = 0; i < 15; ++i) {
        if (i == 2) {
            c.atTheAutosave(*this);
            Store().Timer1Timer();
        }
        Type("b");
        typed += "b";
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << i;
        QTest::qWait(80);
    }
    EXPECT_SOON(QApplication::activeModalWidget());
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->text().startsWith(c.box)) << box->text().toStdString();
    // Keys still in flight as it appears, where its focus is.
    for (const auto key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Y})
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box->defaultButton(), key);
    EXPECT_EQ(QApplication::activeModalWidget(), box) << "unanswered";
    EXPECT_EQ(Text(), "old" + typed) << "every key in the memo";
    EXPECT_EQ(File("npad.txt"), c.file) << "nothing decided for the user";
    g_diskFull = false;
    Kill(); // the box goes with the store, unanswered
}

INSTANTIATE_TEST_SUITE_P(
    NotepadTest, ByItselfTest,
    ::testing::Values(
        ByItselfRow{
            "AnotherProgramsChangeAtTheAutosave", [](NotepadTest &) {},
            [](NotepadTest &test) { static_cast<ByItselfTest &>(test).Put("npad.txt", "theirs"); },
            "The note file was changed by another program.", "theirs"},
        ByItselfRow{"AJournalThatFails",
                    [](NotepadTest &test) {
                        QDir().mkpath(static_cast<ByItselfTest &>(test).Path("npad.journal.new/x"));
                    },
                    [](NotepadTest &) {}, "Cannot write the journal", "oldbb"},
        ByItselfRow{"AFullDiskAtTheAutosave", [](NotepadTest &) { g_diskFull = true; },
                    [](NotepadTest &) {}, "Cannot write the journal", "old"}),
    [](const auto &row) { return std::string(row.param.name); });
