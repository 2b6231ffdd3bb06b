#include "boxes.h"
#include "cdatlib.h"
#include "libstate.h"

#include <QCursor>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "modal.h"

namespace {

struct Seen {
    QString caption, text;
    QStringList buttons;
    QString defaultButton, escapeButton;
    bool onTop = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QPoint pos;
};

Seen Look(QMessageBox *box)
{
    Seen s;
    s.caption = box->windowTitle();
    s.text = box->text();
    for (QAbstractButton *b : box->buttons())
        s.buttons << b->text();
    s.buttons.sort();
    s.defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
    s.escapeButton = box->escapeButton() ? box->escapeButton()->text() : QString();
    s.onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    s.icon = box->icon();
    s.pos = box->pos();
    return s;
}

class BoxesTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        LibraryStartUp();
        QCursor::setPos(200, 150);
    }
};

} // namespace

TEST_F(BoxesTest, InfoBoxShowsTextAsWrittenWithOneOkOnTop)
{
    Seen seen;
    WhenModal<QMessageBox>([&](QMessageBox *b) {
        seen = Look(b);
        QTest::keyClick(b, Qt::Key_Escape);
    });
    InfoBox("Fish & <b>chips</b> && more");
    EXPECT_EQ(seen.text, "Fish & <b>chips</b> && more");
    EXPECT_EQ(seen.buttons, QStringList{"OK"});
    EXPECT_EQ(seen.defaultButton, "OK");
    EXPECT_EQ(seen.escapeButton, "OK");
    EXPECT_TRUE(seen.onTop);
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.caption, ApplicationTitle());
}

TEST_F(BoxesTest, QuestionAnswers)
{
    struct Case {
        const char *how;
        std::function<void(QMessageBox *)> act;
        char letter;
    } cases[] = {
        {"Enter", [](QMessageBox *b) { QTest::keyClick(b, Qt::Key_Return); }, 'Y'},
        {"Escape", [](QMessageBox *b) { QTest::keyClick(b, Qt::Key_Escape); }, 'C'},
        {"close command", [](QMessageBox *b) { b->close(); }, 'C'},
        {"No",
         [](QMessageBox *b) {
             for (QAbstractButton *x : b->buttons())
                 if (x->text() == "&No")
                     x->click();
         },
         'N'},
        {"Alt+N", [](QMessageBox *b) { QTest::keyClick(b, Qt::Key_N, Qt::AltModifier); }, 'N'},
        {"done(-1)", [](QMessageBox *b) { b->done(-1); }, ' '},
    };
    for (const Case &c : cases) {
        Seen seen;
        WhenModal<QMessageBox>([&](QMessageBox *b) {
            seen = Look(b);
            c.act(b);
        });
        EXPECT_EQ(AskYesNoCancel("Go on?"), c.letter) << c.how;
        EXPECT_EQ(seen.buttons, (QStringList{"&No", "&Yes", "Cancel"})) << c.how;
        EXPECT_EQ(seen.defaultButton, "&Yes");
        EXPECT_EQ(seen.escapeButton, "Cancel");
        EXPECT_FALSE(seen.onTop);
        EXPECT_EQ(seen.icon, QMessageBox::Question);
    }
}

TEST_F(BoxesTest, ConfirmOKAppendsTheSuffixAndOnlyYesIsTrue)
{
    Seen seen;
    WhenModal<QMessageBox>([&](QMessageBox *b) {
        seen = Look(b);
        QTest::keyClick(b, Qt::Key_Return);
    });
    EXPECT_TRUE(ConfirmOK("Discard password"));
    EXPECT_EQ(seen.text, "Discard password - OK ?");

    WhenModal<QMessageBox>([](QMessageBox *b) { QTest::keyClick(b, Qt::Key_Escape); });
    EXPECT_FALSE(AskYes("again?"));
}

TEST_F(BoxesTest, CaptionFollowsBoxTitle)
{
    Seen seen;
    Lib().BoxTitle = "Notepad";
    WhenModal<QMessageBox>([&](QMessageBox *b) {
        seen = Look(b);
        b->close();
    });
    InfoBox("saved");
    Lib().BoxTitle.clear();
    EXPECT_EQ(seen.caption, " Notepad");
    EXPECT_EQ(BoxCaption(), ApplicationTitle());
}

TEST_F(BoxesTest, OpensAtTheCursorAndAgainWhereLeftIfTheMouseStayed)
{
    Seen first, second, third;
    WhenModal<QMessageBox>([&](QMessageBox *b) {
        first = Look(b);
        b->move(400, 300); // the user drags it away
        b->close();
    });
    InfoBox("one");
    EXPECT_EQ(first.pos, QPoint(200, 150));

    WhenModal<QMessageBox>([&](QMessageBox *b) {
        second = Look(b);
        b->close();
    });
    InfoBox("two");
    EXPECT_EQ(second.pos, QPoint(400, 300));

    QCursor::setPos(201, 150);
    WhenModal<QMessageBox>([&](QMessageBox *b) {
        third = Look(b);
        b->close();
    });
    EXPECT_EQ(AskYesNoCancel("three"), 'C');
    EXPECT_EQ(third.pos, QPoint(201, 150));
}
