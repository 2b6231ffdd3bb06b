#include "cdatlib.h"
#include "flash.h"
#include "fontdialog.h"
#include "inpstr.h"
#include "notepad.h"
#include "notetext.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
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

#include "modal.h"
#include "unprivileged.h"

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

// Answers the next boxes in turn, each with its button, noting what each said.
void AnswerInTurn(const QStringList &captions, std::vector<Box> *seen)
{
    if (captions.isEmpty())
        return;
    WhenModal<QMessageBox>([captions, seen](QMessageBox *box) {
        if (seen)
            seen->push_back({box->windowTitle(), box->text()});
        AnswerInTurn(captions.mid(1), seen);
        for (QAbstractButton *b : box->buttons())
            if (b->text() == captions.first())
                b->click();
    });
}

// While it lives, answers every message box with its Escape button and notes
// what each said.
class EveryBox {
  public:
    EveryBox()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen.push_back({box->windowTitle(), box->text()});
                box->escapeButton()->click();
            }
        });
        timer_.start(5);
    }
    std::vector<Box> seen;

  private:
    QTimer timer_;
};

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

    QByteArray File(const QString &name) const
    {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    void Put(const QString &name, const QByteArray &bytes) const
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    TFnotepad &Open()
    {
        pad = std::make_unique<TFnotepad>(dir.path());
        pad->show();
        return *pad;
    }

    void Type(const QString &keys) { QTest::keyClicks(pad->Memo1, keys); }

    QString Text() const { return pad->Memo1->toPlainText(); }

    QTemporaryDir dir;
    TFFlash flash;
    TFinpstr inpstr;
    std::unique_ptr<TFnotepad> pad;
};

} // namespace

TEST_F(NotepadTest, AFirstRunStartsEmptyAndWritesOnlyWhatIsTyped)
{
    TFnotepad &np = Open();
    EXPECT_EQ(np.windowTitle(), ApplicationTitle() + " - Notepad");
    EXPECT_EQ(np.Memo1->font().family(), "Arial");
    EXPECT_EQ(np.Memo1->font().pointSize(), 10);
    EXPECT_FALSE(Notes().Tracker.Dirty);
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
    EXPECT_TRUE(Notes().Tracker.Dirty);
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
    EXPECT_FALSE(Notes().Tracker.Dirty);
    EXPECT_FALSE(np.Timer1->isActive());
    EXPECT_EQ(File("npad.ini"), "<missing>"); // not at once

    np.Timer1->setInterval(20);
    Type("!");
    QTRY_COMPARE(File("npad.txt"), QByteArray("a\r\nb!"));
    EXPECT_FALSE(Notes().Tracker.FontChanged);
    np.close();

    NotepadStartUp();
    TFnotepad again(dir.path());
    EXPECT_EQ(again.Memo1->font().pointSize(), 14);
    EXPECT_TRUE(again.Memo1->font().italic());
}

TEST_F(NotepadTest, AWindows1252NoteIsShownWithItsAccentsAndWrittenBackByteForByte)
{
    const QByteArray bytes("Caf\xE9 \x80 5\r\nna\xEFve\xA0\x81");
    Put("npad.txt", bytes);
    TFnotepad &np = Open();
    EXPECT_TRUE(Text().startsWith(QString("Caf\u00e9 \u20ac 5\nna\u00efve")));
    Type("x");
    QTest::keyClick(np.Memo1, Qt::Key_Backspace);
    np.close();
    EXPECT_EQ(File("npad.txt"), bytes);
}

TEST_F(NotepadTest, ANoteWithZeroBytesIsRefusedAndNeverWrittenOver)
{
    const QByteArray bytes("ab\0cd", 5);
    Put("npad.txt", bytes);
    Box seen;
    Answer("OK", &seen);
    pad = std::make_unique<TFnotepad>(dir.path());
    pad->FillMemo(); // as the start-up does once the main window is drawn
    EXPECT_EQ(seen.text,
              QString("Cannot open file \"%1\". ").arg(Path("npad.txt"))
                  + "The file holds a NUL character (byte 0), so it is not a plain text note.");
    EXPECT_EQ(pad->windowTitle(), "Notepad");

    Answer("OK", &seen);
    seen = {};
    pad->show();
    EXPECT_TRUE(seen.text.startsWith("Cannot open file"));
    EXPECT_TRUE(pad->Memo1->isReadOnly());
    Type("typed");
    pad->Clear1Click();
    pad->close();
    EXPECT_FALSE(Notes().Tracker.TrackChanges);
    EXPECT_EQ(File("npad.txt"), bytes);
}

TEST_F(NotepadTest, ANoteThatCannotBeWrittenAtExitIsKeptElsewhereOrTheProgramStays)
{
    Put("npad.txt", "old");
    TFnotepad &np = Open();
    Type(" new");
    const QString unsaved = Notes().UnsavedFolder = Path("unsaved");
    ASSERT_TRUE(QDir().mkdir(unsaved));
    ASSERT_EQ(chmod(QFile::encodeName(unsaved).constData(), 0777), 0);
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    std::vector<Box> seen;
    bool stayed, quit;
    {
        Unprivileged as(dir.path());
        AnswerInTurn({"OK"}, &seen);
        np.close(); // the notepad's own close only reports
        EXPECT_TRUE(np.isVisible());
        AnswerInTurn({"OK", "&No"}, &seen);
        stayed = !np.SaveBeforeExit();
        AnswerInTurn({"OK", "&Yes"}, &seen);
        quit = np.SaveBeforeExit();
    }
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(quit);
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_TRUE(
        seen[0].text.startsWith(QString("Cannot create file \"%1\". ").arg(Path("npad.txt"))))
        << seen[0].text.toStdString();
    EXPECT_EQ(seen[1].text, seen[0].text);
    const QStringList kept = QDir(unsaved).entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(seen[4].caption, " Notepad");
    EXPECT_EQ(seen[4].text, QString("The note could not be saved.\nKeep the unsaved text in \"%1\" "
                                    "and quit?")
                                .arg(QDir(unsaved).filePath(kept[0])));
    EXPECT_TRUE(kept[0].startsWith("npad-unsaved-"));
    EXPECT_EQ(File("unsaved/" + kept[0]), "old new");
    EXPECT_EQ(File("npad.txt"), "old");
    np.close(); // as the program ends: nothing is left to write or report
    EXPECT_FALSE(np.isVisible());
}

TEST_F(NotepadTest, WhenNothingCanBeKeptTheUserChoosesAndWithoutAUserNothingIsAsked)
{
    Put("npad.txt", "old");
    TFnotepad &np = Open();
    Type(" new");
    Notes().UnsavedFolder = Path("unsaved");
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    std::vector<Box> seen;
    bool quit, unattended;
    {
        Unprivileged as(dir.path());
        AnswerInTurn({"OK", "&Yes", "OK", "&No"}, &seen);
        quit = np.SaveBeforeExit();
        Type("!");
        EveryBox boxes;
        unattended = np.SaveBeforeExit([] { return false; });
        EXPECT_TRUE(boxes.seen.empty()) << "nothing is asked without a user";
    }
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_TRUE(seen[2].text.startsWith("Cannot create file \"" + Path("unsaved/npad-unsaved-")));
    EXPECT_EQ(seen[3].text, "Quit and lose the unsaved text?");
    EXPECT_FALSE(quit);
    EXPECT_TRUE(unattended);
}

TEST_F(NotepadTest, AnotherProgramsChangeIsNeverOverwrittenUnasked)
{
    Put("npad.txt", "old");
    TFnotepad &np = Open();
    Notes().UnsavedFolder = Path("unsaved");
    Type(" mine");
    Put("npad.txt", "theirs");
    std::vector<Box> seen;
    AnswerInTurn({"&Yes"}, &seen);
    np.SaveNotes();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "The note file was changed by another program.\nReplace it with the "
                            "text in the notepad?");
    EXPECT_EQ(File("npad.txt"), "old mine");

    Type(" again");
    Put("npad.txt", "theirs again");
    AnswerInTurn({"&No", "OK"}, &seen);
    np.SaveNotes();
    EXPECT_EQ(File("npad.txt"), "theirs again");
    EXPECT_EQ(Text(), "theirs again");
    EXPECT_FALSE(Notes().Tracker.Dirty);
    const QStringList kept = QDir(Path("unsaved")).entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(File("unsaved/" + kept[0]), "old mine again");
    EXPECT_EQ(seen.back().text,
              QString("The text you typed was kept in \"%1\".").arg(Path("unsaved/" + kept[0])));

    // Without a user: the file is left alone, the text kept beside it.
    Type("!");
    Put("npad.txt", "theirs at the end");
    EXPECT_TRUE(np.SaveBeforeExit([] { return false; }));
    EXPECT_EQ(File("npad.txt"), "theirs at the end");
    EXPECT_EQ(QDir(Path("unsaved")).entryList(QDir::Files).size(), 2);

    // With nothing unsaved, a change on disk is simply shown.
    Put("npad.txt", "shown\r\nas it is");
    QTRY_COMPARE(Text(), QString("shown\nas it is"));
    EXPECT_FALSE(Notes().Tracker.Dirty);
}

TEST_F(NotepadTest, ANoteBesideAReadOnlyProgramIsCarriedToTheDataFolderOnce)
{
    const QString program = Path("program"), data = Path("data");
    ASSERT_TRUE(QDir().mkpath(program));
    Put("program/npad.txt", "left behind");
    Put("program/npad.ini", "[notepad]\nFONTSIZE=13\n");
    std::vector<Box> seen;
    AnswerInTurn({"OK"}, &seen);
    pad = std::make_unique<TFnotepad>(NotePlace(data, program));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, QString("The note could not be kept beside the program, so it was "
                                    "copied to \"%1\".")
                                .arg(data));
    pad->show();
    EXPECT_EQ(Text(), "left behind");
    EXPECT_EQ(pad->Memo1->font().pointSize(), 13);
    Type(" and carried on");
    pad->close();
    EXPECT_EQ(File("data/npad.txt"), "left behind and carried on");
    EXPECT_EQ(File("program/npad.txt"), "left behind");

    NotepadStartUp();
    pad = std::make_unique<TFnotepad>(NotePlace(data, program)); // no box: nothing to carry
    pad->show();
    EXPECT_EQ(Text(), "left behind and carried on");
}

TEST_F(NotepadTest, ANoteThatCannotBeCarriedIsShownWhereItLiesReadOnly)
{
    const QString program = Path("program"), data = Path("data");
    ASSERT_TRUE(QDir().mkpath(program));
    ASSERT_TRUE(QDir().mkpath(data));
    Put("program/npad.txt", "left behind");
    ASSERT_EQ(chmod(QFile::encodeName(Path("program/npad.txt")).constData(), 0644), 0);
    ASSERT_EQ(chmod(QFile::encodeName(data).constData(), 0555), 0);
    std::vector<Box> seen;
    {
        Unprivileged as(dir.path());
        AnswerInTurn({"OK"}, &seen);
        pad = std::make_unique<TFnotepad>(NotePlace(data, program));
    }
    chmod(QFile::encodeName(data).constData(), 0755);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].text.endsWith("Permission denied")) << seen[0].text.toStdString();
    pad->show();
    EXPECT_EQ(Text(), "left behind");
    EXPECT_TRUE(pad->Memo1->isReadOnly());
    Type("lost?");
    pad->close();
    EXPECT_EQ(File("program/npad.txt"), "left behind");
    EXPECT_EQ(File("data/npad.txt"), "<missing>");
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
    EXPECT_EQ(seen.text, "\"cat\" - no more instances");
    EXPECT_EQ(seen.caption, ApplicationTitle());
    EXPECT_EQ(np.Memo1->textCursor().selectionStart(), 19);

    Enter("dog");
    Answer("OK", &seen);
    np.Search1Click();
    EXPECT_EQ(seen.text, "\"dog\" - not found");
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
    EXPECT_EQ(File("notes.txt"), "note \xE9");
    EXPECT_TRUE(Flash().FlashActive);
    EXPECT_TRUE(np.ExportToFile(Path("other.TXT"))); // nothing to ask
    EXPECT_EQ(File("other.TXT"), "note \xE9");
    EXPECT_FALSE(Notes().Tracker.Dirty);

    np.toClipboard1Click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "note \u00e9");
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
    EXPECT_TRUE(Notes().Tracker.Dirty);

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

TEST_F(NotepadTest, TypingWhileTheAutosaveWritesIsSavedInItsOwnTurn)
{
    Put("npad.txt", "a");
    TFnotepad &np = Open();
    Type("b");
    np.Timer1->start(0); // the countdown ends now: the text "ab" goes to its writer
    QTest::qWait(0);
    np.Timer1->setInterval(NoteTracker::kAutosaveMs);
    Type("c"); // before the write is reported done
    QTRY_VERIFY(Notes().Tracker.SavedSinceLoad);
    EXPECT_EQ(File("npad.txt"), "ab");
    EXPECT_TRUE(Notes().Tracker.Dirty);
    EXPECT_TRUE(np.Timer1->isActive()) << "the later change has a countdown of its own";
    np.close(); // waits for nothing, writes what is left
    EXPECT_EQ(File("npad.txt"), "abc");
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
    EXPECT_FALSE(Notes().Tracker.FontChanged);

    WhenModal<NoteFontDialog>([](NoteFontDialog *d) {
        d->Colour->setCurrentIndex(d->Colour->findText("Maroon"));
        d->accept();
    });
    np.Font1Click();
    EXPECT_EQ(np.Memo1->palette().color(QPalette::Text), QColor(0x80, 0, 0));
    np.close();
    EXPECT_EQ(File("npad.ini"), "<missing>");
}

TEST_F(NotepadTest, ASettingsFileThatCannotBeWrittenIsReportedOnceAtExit)
{
    TFnotepad &np = Open();
    WhenModal<NoteFontDialog>([](NoteFontDialog *d) {
        QFont f = d->currentFont();
        f.setPointSize(14);
        d->setCurrentFont(f);
        d->accept();
    });
    np.Font1Click();
    ASSERT_TRUE(Notes().Tracker.FontChanged);
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    EveryBox boxes;
    {
        Unprivileged as(dir.path());
        EXPECT_TRUE(np.SaveBeforeExit());
        np.close(); // as the program's end closes its windows
    }
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "Unable to write to " + Path("npad.ini"));
    EXPECT_FALSE(np.isVisible());
}
