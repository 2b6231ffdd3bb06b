#include "Notepad.h"
#include "cdatlib.h"
#include "flash.h"
#include "inpstr.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontDialog>
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

    QString Path(const char *name) const { return dir.filePath(name); }

    QByteArray File(const char *name) const
    {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    void Put(const char *name, const QByteArray &bytes) const
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
    EXPECT_EQ(seen.text, QString("Cannot open file \"%1\". ").arg(Path("npad.txt"))
                             + "The file holds zero bytes, which a text note cannot hold.");
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

TEST_F(NotepadTest, AWriteThatFailsIsReportedAndKeepsTheWindowAndTheText)
{
    Put("npad.txt", "old");
    TFnotepad &np = Open();
    Type(" new");
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    Box seen;
    {
        Unprivileged as(dir.path());
        Answer("OK", &seen);
        np.close();
        EXPECT_TRUE(np.isVisible());
        Answer("OK");
        EXPECT_FALSE(np.SaveBeforeExit());
    }
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    EXPECT_TRUE(seen.text.startsWith(QString("Cannot create file \"%1\". ").arg(Path("npad.txt"))))
        << seen.text.toStdString();
    EXPECT_EQ(File("npad.txt"), "old");
    EXPECT_TRUE(Notes().Tracker.Dirty);
    EXPECT_TRUE(np.SaveBeforeExit());
    EXPECT_EQ(File("npad.txt"), "old new");
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
