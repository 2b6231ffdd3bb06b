#include "cdatlib.h"
#include "ctrl.h"
#include "randomsource.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
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
    LcgRandom random{0};
    std::unique_ptr<Tfctrl> w;
};

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
    const QList<QWidget *> expected{w->Edit1, w->Button1, w->Button2, w->Button3, w->uc1,
                                    w->lc1,   w->dg1,     w->sp1,     w->any1,    w->anyex1,
                                    w->only1, w->Edit2,   w->spc1,    w->ShowBtn, w->Button4,
                                    w->Button5};
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
