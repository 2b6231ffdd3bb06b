#include "cdatlib.h"
#include "ctrl.h"
#include "flash.h"
#include "inpstr.h"
#include "lcgrandom.h"
#include "randomsource.h"
#include "strength.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

#include "modal.h"

namespace {

class CtrlTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        LibraryStartUp();
        w = std::make_unique<Tfctrl>(random);
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    void TearDown() override { FlashNotice(""); }

    // Answers the next question box by clicking the button with `caption`.
    static void Answer(const QString &caption)
    {
        WhenModal<QMessageBox>([caption](QMessageBox *box) {
            for (QAbstractButton *b : box->buttons())
                if (b->text() == caption)
                    b->click();
        });
    }

    static QString Clipboard() { return QGuiApplication::clipboard()->text(); }

    TFFlash flash;
    TFinpstr inpstr;
    LcgRandom random{0};
    std::unique_ptr<Tfctrl> w;
};

// Types `text` into the input dialog (replacing what it shows) and presses OK,
// or presses Cancel when `text` is null.
void EnterInDialog(const char *text)
{
    WhenModal<TFinpstr>([text](TFinpstr *d) {
        if (!text) {
            d->Button2->click();
            return;
        }
        d->Edit1->clear();
        QTest::keyClicks(d->Edit1, text);
        QTest::keyClick(d->Edit1, Qt::Key_Return);
    });
}

} // namespace

TEST_F(CtrlTest, StartsFromTheFormDefaults)
{
    EXPECT_EQ(w->windowTitle(), "Strong password generator");
    EXPECT_EQ(w->PasswordLength(), 15);
    EXPECT_EQ(w->Button4->text(), "Length=15");
    EXPECT_TRUE(w->uc1->isChecked() && w->lc1->isChecked() && w->dg1->isChecked());
    EXPECT_FALSE(w->spc1->isChecked());
    EXPECT_TRUE(w->sp1->isChecked() && w->any1->isChecked());
    EXPECT_FALSE(w->Button2->isEnabled());
    EXPECT_FALSE(w->Button5->isEnabled());
    EXPECT_EQ(w->Button2->text(), "Use");
    EXPECT_FALSE(w->Edit2->isEnabled()) << "the list is inactive with Any";
    EXPECT_TRUE(w->ShowBtn->isEnabled());
    for (QPushButton *b : {w->Button1, w->Button2, w->Button3, w->Button4, w->Button5, w->ShowBtn})
        EXPECT_FALSE(b->isDefault() || b->autoDefault()) << b->text().toStdString();
    EXPECT_EQ(w->Button1->toolTip(), "Generates a new password");
    EXPECT_EQ(w->sp1->toolTip(), "ASCII 33-126 except those above");
}

TEST_F(CtrlTest, TabOrderFollowsTheForm)
{
    const QList<QWidget *> expected{
        w->Edit1, w->Button1, w->Button2, w->Button3, w->uc1,  w->lc1,     w->dg1,     w->sp1,
        w->any1,  w->anyex1,  w->only1,   w->Edit2,   w->spc1, w->ShowBtn, w->Button4, w->Button5};
    QWidget *at = w->Edit1;
    for (qsizetype i = 1; i < expected.size(); ++i) {
        do
            at = at->nextInFocusChain();
        while (!expected.contains(at));
        EXPECT_EQ(at, expected[i]) << "place " << i;
    }
}

TEST_F(CtrlTest, SpecialCharactersTickDrivesTheListControls)
{
    w->only1->setChecked(true);
    EXPECT_TRUE(w->Edit2->isEnabled());
    EXPECT_TRUE(w->Edit2->hasFocus()) << "an empty list takes the focus";
    EXPECT_FALSE(w->ShowBtn->isEnabled());

    w->sp1->setChecked(false);
    for (QWidget *c : {(QWidget *)w->any1, (QWidget *)w->anyex1, (QWidget *)w->only1,
                       (QWidget *)w->Edit2, (QWidget *)w->ShowBtn})
        EXPECT_FALSE(c->isEnabled());

    w->Button1->setFocus();
    w->sp1->setChecked(true);
    EXPECT_TRUE(w->only1->isChecked()) << "the selection survives";
    EXPECT_TRUE(w->any1->isEnabled() && w->anyex1->isEnabled() && w->only1->isEnabled());
    EXPECT_TRUE(w->Edit2->isEnabled());
    EXPECT_TRUE(w->Edit2->hasFocus());
    EXPECT_FALSE(w->ShowBtn->isEnabled());

    w->any1->setChecked(true);
    w->sp1->setChecked(false);
    w->sp1->setChecked(true);
    EXPECT_TRUE(w->ShowBtn->isEnabled());
    EXPECT_FALSE(w->Edit2->isEnabled());
}

TEST_F(CtrlTest, NonEmptyListKeepsTheFocusWhereItWas)
{
    w->Edit2->setText("#");
    w->Button1->setFocus();
    w->anyex1->setChecked(true);
    EXPECT_TRUE(w->Edit2->isEnabled());
    EXPECT_TRUE(w->Button1->hasFocus());
}

TEST_F(CtrlTest, GenerateWritesThePasswordAndArmsTheHandOff)
{
    w->Button2->setText("Recall");
    QTest::mouseClick(w->Button1, Qt::LeftButton);
    EXPECT_EQ(w->Edit1->text(), "\"q39_>/CH'M&o%;");
    EXPECT_EQ(w->Button2->text(), "Use");
    EXPECT_TRUE(w->Button2->isEnabled());
    EXPECT_TRUE(w->Button5->isEnabled());
}

TEST_F(CtrlTest, GenerateReadsTheListAndIgnoresNonAscii)
{
    w->only1->setChecked(true);
    // A non-ASCII character must not sneak in as '?' or any other special.
    w->Edit2->setText(QString::fromUtf8("€"));
    w->uc1->setChecked(false);
    w->lc1->setChecked(false);
    w->dg1->setChecked(false);
    w->Edit1->setText("kept");
    bool asked = false;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        asked = true;
        box->accept();
    });
    w->Button1Click();
    EXPECT_TRUE(asked);
    EXPECT_EQ(w->Edit1->text(), "kept") << "refused: the choices admit nothing";
    EXPECT_FALSE(w->Button2->isEnabled());
}

TEST_F(CtrlTest, RefusalSaysWhy)
{
    for (QCheckBox *c : {w->uc1, w->lc1, w->dg1, w->sp1})
        c->setChecked(false);
    QString text;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        text = box->text();
        box->accept();
    });
    w->Button1Click();
    EXPECT_EQ(text, "The current choices allow no character.");
    EXPECT_TRUE(w->Edit1->text().isEmpty());
}

TEST_F(CtrlTest, EscapeEndsTheProgram)
{
    QTimer::singleShot(0, [&] { QTest::keyClick(w.get(), Qt::Key_Escape); });
    bool timedOut = false;
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(CtrlTest, ExitWaitsForTheExitCheck)
{
    int asked = 0;
    bool canEnd = false;
    w->SetExitCheck([&] {
        ++asked;
        return canEnd;
    });
    w->Exit1->trigger();
    EXPECT_TRUE(w->isVisible());
    canEnd = true;
    QTimer::singleShot(0, [&] { w->Button3->click(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(CtrlTest, UseMovesThePasswordToTheClipboardAndRecallBringsItBack)
{
    QGuiApplication::clipboard()->clear();
    w->Button1->click();
    const QString password = w->Edit1->text();
    ASSERT_EQ(password.size(), 15);

    w->Button2->click(); // Use
    EXPECT_EQ(Clipboard(), password);
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->data("x-kde-passwordManagerHint"), QByteArray("secret"));
    EXPECT_TRUE(w->Edit1->text().isEmpty());
    EXPECT_EQ(w->Button2->text(), "Recall");
    EXPECT_EQ(w->Button2->toolTip(), "Brings the moved password back into the box");
    EXPECT_EQ(w->SavedPassword(), password);
    EXPECT_TRUE(flash.isVisible());
    EXPECT_EQ(flash.Label1->text(), "password moved to clipboard");
    EXPECT_EQ(flash.Timer1->interval(), 2025);

    w->Button2->click(); // Recall
    EXPECT_EQ(w->Edit1->text(), password);
    EXPECT_EQ(w->Button2->text(), "Use");
    EXPECT_EQ(w->Button2->toolTip(), "Moves the password to the clipboard");
    EXPECT_EQ(Clipboard(), password) << "Recall leaves the clipboard alone";

    FlashNotice("");
    QGuiApplication::clipboard()->clear();
    w->Button2->click(); // Use again
    EXPECT_EQ(Clipboard(), password);
    EXPECT_TRUE(flash.isVisible());
}

TEST_F(CtrlTest, UseTakesTheEditedTextAndIgnoresAnEmptyBox)
{
    w->Button1->click();
    w->Edit1->setText("edited by hand");
    w->Button2->click();
    EXPECT_EQ(Clipboard(), "edited by hand");
    EXPECT_EQ(w->SavedPassword(), "edited by hand");

    // Recall replaces whatever was typed into the box since.
    QTest::keyClicks(w->Edit1, "typed");
    w->Button2->click();
    EXPECT_EQ(w->Edit1->text(), "edited by hand");

    FlashNotice("");
    QGuiApplication::clipboard()->setText("untouched");
    w->Edit1->clear();
    w->Button2->click();
    EXPECT_EQ(w->Button2->text(), "Use");
    EXPECT_EQ(Clipboard(), "untouched");
    EXPECT_FALSE(flash.isVisible());
    EXPECT_EQ(w->SavedPassword(), "edited by hand");
}

TEST_F(CtrlTest, GenerateAfterUseOffersUseAgainAndKeepsTheSavedPassword)
{
    w->Button1->click();
    const QString first = w->Edit1->text();
    w->Button2->click();
    w->Button1->click();
    EXPECT_EQ(w->Button2->text(), "Use");
    EXPECT_NE(w->Edit1->text(), first);
    EXPECT_EQ(w->SavedPassword(), first);
}

TEST_F(CtrlTest, NoUndoBringsBackAPasswordThatWasUsedDiscardedOrReplaced)
{
    auto undoLeaves = [&](const QString &expected) {
        w->Edit1->setFocus();
        QTest::keyClick(w->Edit1, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(w->Edit1->text(), expected);
        EXPECT_FALSE(w->Edit1->isUndoAvailable());
    };
    w->Button1->click();
    w->Button2->click(); // Use
    undoLeaves("");

    w->Button1->click();
    const QString second = w->Edit1->text();
    Answer("&Yes");
    w->Button5->click(); // Discard
    undoLeaves("");

    w->Button1->click();
    const QString third = w->Edit1->text();
    w->Edit1->end(false);
    QTest::keyClicks(w->Edit1, "typed");
    w->Button1->click(); // Generate replaces it
    undoLeaves(w->Edit1->text());
    EXPECT_NE(w->Edit1->text(), third);
}

TEST_F(CtrlTest, AFailingRandomGeneratorIsReportedAndNothingIsGenerated)
{
    struct Failing final : RandomSource {
        std::uint32_t RandomBelow(std::uint32_t) override { throw RandomSourceError(EIO); }
    } failing;
    Tfctrl broken(failing);
    broken.Edit1->setText("kept");
    QString said;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        said = box->text();
        box->accept();
    });
    broken.Button1->click();
    EXPECT_EQ(said, QString("The system's random generator failed (%1), so no password was "
                            "generated.")
                        .arg(strerror(EIO)));
    EXPECT_EQ(broken.Edit1->text(), "kept");
    EXPECT_FALSE(broken.Button2->isEnabled());
}

TEST_F(CtrlTest, ThePasswordBoxTakesTextBeyond32767Characters)
{
    const QString longText(40000, 'x');
    w->Edit1->setText(longText);
    EXPECT_EQ(w->Edit1->text().size(), 40000);
}

TEST_F(CtrlTest, DiscardAskedAndAnswered)
{
    w->Button1->click();
    const QString password = w->Edit1->text();
    w->Button2->click(); // Moved

    for (const char *other : {"&No", "Cancel"}) {
        Answer(other);
        w->Button5->click();
        EXPECT_EQ(w->Button2->text(), "Recall") << other;
        EXPECT_TRUE(w->Button2->isEnabled() && w->Button5->isEnabled()) << other;
    }

    QString question;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        question = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    w->Button5->click();
    EXPECT_EQ(question, "Discard password - OK ?");
    EXPECT_TRUE(w->Edit1->text().isEmpty());
    EXPECT_FALSE(w->Button2->isEnabled());
    EXPECT_FALSE(w->Button5->isEnabled());
    EXPECT_EQ(w->Button2->text(), "Recall") << "the disabled button keeps its caption";
    EXPECT_EQ(Clipboard(), password);
    EXPECT_EQ(w->SavedPassword(), password);

    w->Button1->click(); // any state -> Ready
    EXPECT_TRUE(w->Button2->isEnabled());
    EXPECT_EQ(w->Button2->text(), "Use");
}

TEST_F(CtrlTest, LengthAcceptsOnly8To255)
{
    struct {
        const char *typed;
        int expected;
    } cases[] = {{"8", 8},     {"255", 255},   {"7", 255},  {"256", 255}, {"0", 255},   {"", 255},
                 {"abc", 255}, {nullptr, 255}, {"$10", 16}, {"-20", 16},  {" 120", 120}};
    for (auto &c : cases) {
        EnterInDialog(c.typed);
        w->Button4->click();
        EXPECT_EQ(w->PasswordLength(), c.expected) << (c.typed ? c.typed : "Cancel");
        EXPECT_EQ(w->Button4->text(), QString("Length=%1").arg(c.expected));
    }
    w->Button1->click();
    EXPECT_EQ(w->Edit1->text().size(), 120);
}

TEST_F(CtrlTest, ShowAndClearTheSpecialCharacters)
{
    w->ShowBtn->click();
    EXPECT_EQ(w->Edit2->text().size(), 32);
    EXPECT_EQ(w->Edit2->text().front(), '!');
    EXPECT_EQ(w->Edit2->text().back(), '~');
    EXPECT_EQ(w->ShowBtn->text(), "Clear");
    EXPECT_TRUE(w->Edit2->hasFocus());
    EXPECT_EQ(w->Edit2->palette().color(QPalette::Active, QPalette::Base),
              w->Edit2->palette().color(QPalette::Active, QPalette::Button))
        << "shown but still grey";

    w->ShowBtn->click();
    EXPECT_TRUE(w->Edit2->text().isEmpty());
    EXPECT_EQ(w->ShowBtn->text(), "Show");
}

TEST_F(CtrlTest, ShownListExcludesEverySpecialOnceSelected)
{
    w->ShowBtn->click();
    w->anyex1->setChecked(true);
    for (int i = 0; i < 50; ++i) {
        w->Button1->click();
        for (QChar ch : w->Edit1->text())
            ASSERT_TRUE(ch.isLetterOrNumber()) << w->Edit1->text().toStdString();
    }
}

TEST_F(CtrlTest, ClearStillWorksWhenTheListWasGreyedAgain)
{
    w->ShowBtn->click();
    w->sp1->setChecked(false);
    w->sp1->setChecked(true); // the list is disabled again, the caption still reads Clear
    ASSERT_FALSE(w->Edit2->isEnabled());
    w->ShowBtnClick();
    EXPECT_TRUE(w->Edit2->text().isEmpty());
    EXPECT_EQ(w->ShowBtn->text(), "Show");
}

TEST_F(CtrlTest, MenuShowsTheSameCompanionWindowEachTime)
{
    QWidget notepad, about;
    w->SetCompanionWindows([&] { return &notepad; }, [&] { return &about; });
    w->Notepad1->trigger();
    EXPECT_TRUE(notepad.isVisible());
    EXPECT_FALSE(about.isVisible());
    w->About1->trigger();
    w->Notepad1->trigger();
    EXPECT_TRUE(notepad.isVisible() && about.isVisible());
    EXPECT_TRUE(w->isVisible()) << "the main window is untouched";
    w->SetCompanionWindows({}, {});
}

TEST_F(CtrlTest, TabbingIntoTheListSelectsNothing)
{
    w->only1->setChecked(true);
    w->Edit2->setText("#%");
    w->Button1->setFocus();
    w->Edit2->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(w->Edit2->hasFocus());
    EXPECT_TRUE(w->Edit2->selectedText().isEmpty());

    // The password box, by contrast, behaves as any edit does.
    w->Edit1->setText("abc");
    w->Edit1->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(w->Edit1->selectedText(), "abc");
}

TEST_F(CtrlTest, ThePasswordBoxTellsTheStrengthOfWhatGenerateMadeUntilItChanges)
{
    const QString strength =
        "Strength: "
        + QString::fromStdString(StrengthText(PasswordStrengthBits(CharChoices{}, 15)));
    const std::function<void()> changes[] = {
        [&] { QTest::keyClick(w->Edit1, Qt::Key_A); }, // the user edits it
        [&] { w->Button2->click(); },                  // Use
        [&] {
            WhenModal<QMessageBox>([](QMessageBox *box) { box->defaultButton()->click(); });
            w->Button5->click(); // Discard, answered Yes
        },
    };
    for (const auto &change : changes) {
        w->Button1->click();
        EXPECT_EQ(w->Edit1->toolTip(), strength);
        EXPECT_EQ(w->Edit1->accessibleDescription(), strength);
        change();
        EXPECT_TRUE(w->Edit1->toolTip().isEmpty());
        EXPECT_TRUE(w->Edit1->accessibleDescription().isEmpty());
    }
}
