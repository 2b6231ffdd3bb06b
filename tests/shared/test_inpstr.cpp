#include "cdatlib.h"
#include "inpstr.h"
#include "libstate.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "modal.h"

namespace {

class InpstrTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        LibraryStartUp();
        QCursor::setPos(100, 80);
    }
    TFinpstr dlg; // registered as the program's input dialog
};

} // namespace

TEST_F(InpstrTest, OkCancelAndTyping)
{
    QString text = "old";
    QString shown;
    bool allSelected = false;
    WhenModal<TFinpstr>([&](TFinpstr *d) {
        shown = d->Edit1->text();
        allSelected = d->Edit1->selectedText() == shown;
        QTest::keyClicks(d->Edit1, "new");
        QTest::keyClick(d->Edit1, Qt::Key_Return);
    });
    EXPECT_TRUE(InputText("Search for", "(afterwards use F3 for Find Next)", text));
    EXPECT_EQ(shown, "old");
    EXPECT_TRUE(allSelected) << "typing replaces the starting text";
    EXPECT_EQ(text, "new");

    WhenModal<TFinpstr>([&](TFinpstr *d) {
        QTest::keyClicks(d->Edit1, "typed");
        QTest::keyClick(d->Edit1, Qt::Key_Escape);
    });
    EXPECT_FALSE(InputText("Search for", "", text));
    EXPECT_EQ(text, "new");

    WhenModal<TFinpstr>([&](TFinpstr *d) {
        QTest::keyClicks(d->Edit1, "x");
        d->Button2->click();
    });
    EXPECT_FALSE(InputText("a", "", text));
    EXPECT_EQ(text, "new");
    EXPECT_TRUE(dlg.Edit1->hasFocus() || !dlg.isVisible());
}

TEST_F(InpstrTest, LabelsShowPromptsAsWrittenAndSecondLineHidesWhenEmpty)
{
    bool label2Visible = true, calVisible = true;
    QString l1;
    WhenModal<TFinpstr>([&](TFinpstr *d) {
        l1 = d->Label1->text();
        label2Visible = d->Label2->isVisible();
        calVisible = d->CalBtn->isVisible();
        d->Button1->click();
    });
    QString t;
    EXPECT_TRUE(InputText("Salt & <i>pepper</i>", "", t));
    EXPECT_EQ(l1, "Salt & <i>pepper</i>");
    EXPECT_FALSE(label2Visible);
    EXPECT_FALSE(calVisible);
    EXPECT_EQ(dlg.Edit1->geometry(), QRect(32, 64, 193, 21));
    EXPECT_EQ(dlg.Button1->geometry(), QRect(104, 104, 57, 25));
}

TEST_F(InpstrTest, TabNeverReachesTheButtons)
{
    QWidget *focusAfterTab = nullptr;
    WhenModal<TFinpstr>([&](TFinpstr *d) {
        QTest::keyClick(d->Edit1, Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        focusAfterTab = QApplication::focusWidget();
        d->reject();
    });
    QString t;
    InputText("a", "b", t);
    EXPECT_EQ(focusAfterTab, dlg.Edit1);
}

TEST_F(InpstrTest, WidensToTheLongestPromptAndNeverNarrows)
{
    const int designed = dlg.width();
    EXPECT_EQ(designed, 245);
    const QString longPrompt(80, QLatin1Char('W'));
    int labelWidth = 0;
    WhenModal<TFinpstr>([&](TFinpstr *d) {
        labelWidth = d->Label1->width();
        d->reject();
    });
    QString t;
    InputText(longPrompt, "", t);
    EXPECT_GT(labelWidth, 245);
    EXPECT_EQ(dlg.width(), 16 + 16 + labelWidth + 4);

    const int wide = dlg.width();
    WhenModal<TFinpstr>([](TFinpstr *d) { d->reject(); });
    InputText("short", "", t);
    EXPECT_EQ(dlg.width(), wide);
}

TEST_F(InpstrTest, OpensAtTheCursorPulledBackFromTheEdges)
{
    QPoint at;
    WhenModal<TFinpstr>([&](TFinpstr *d) {
        at = d->pos();
        d->reject();
    });
    QString t;
    InputText("a", "", t);
    EXPECT_EQ(at, QPoint(100, 80));

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCursor::setPos(screen.width() - 5, screen.height() - 5);
    WhenModal<TFinpstr>([&](TFinpstr *d) {
        at = d->pos();
        d->reject();
    });
    InputText("a", "", t);
    EXPECT_EQ(at, QPoint(screen.width() - dlg.width(), screen.height() - dlg.height()));
}

TEST_F(InpstrTest, IntegerEntry)
{
    struct Case {
        std::int32_t start;
        const char *typed; // nullptr: keep what is shown
        bool ok;
        std::int32_t end;
        QString shown;
    } cases[] = {
        {15, nullptr, true, 15, "15"}, {0, nullptr, true, 0, ""},    {-4, nullptr, true, 0, ""},
        {15, "", true, 0, "15"},       {15, "abc", false, 15, "15"}, {15, "$FF", true, 255, "15"},
        {15, "7 ", false, 15, "15"},
    };
    for (const Case &c : cases) {
        std::int32_t v = c.start;
        QString shown;
        WhenModal<TFinpstr>([&](TFinpstr *d) {
            shown = d->Edit1->text();
            if (c.typed) {
                d->Edit1->selectAll();
                d->Edit1->del();
                QTest::keyClicks(d->Edit1, c.typed);
            }
            QTest::keyClick(d->Edit1, Qt::Key_Enter);
        });
        EXPECT_EQ(InputNumber("Password length ( 8-255 )", v), c.ok) << c.start << c.typed;
        EXPECT_EQ(v, c.end) << c.start;
        EXPECT_EQ(shown, c.shown) << c.start;
    }
}

TEST_F(InpstrTest, DraggingThePanelLeavesNoCursorOverrideBehind)
{
    WhenModal<TFinpstr>([&](TFinpstr *d) {
        QTest::mousePress(d->Panel1, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(d->Panel1, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(d->Panel1, QPoint(6, 6));
        d->reject();
    });
    QString t;
    InputText("a", "", t);
    // The drag cursor must not outlive the drag, or no edit of the program
    // shows its text cursor again.
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(InpstrTest, TheFrameIsARaisedBevelAroundALoweredOneTwoPixelsEach)
{
    dlg.resize(245, 153);
    const QImage img = dlg.grab().toImage();
    // Light above and left of a raised bevel, dark above and left of a
    // lowered one; silver inside both.
    auto lightness = [&](int x, int y) { return img.pixelColor(x, y).lightness(); };
    const int silver = QColor(192, 192, 192).lightness();
    for (int d : {0, 1})
        EXPECT_GT(lightness(40, d), silver) << "outer top " << d;
    for (int d : {2, 3})
        EXPECT_LT(lightness(40, d), silver) << "inner top " << d;
    for (int d : {0, 1})
        EXPECT_LT(lightness(40, 152 - d), silver) << "outer bottom " << d;
    for (int d : {2, 3})
        EXPECT_GT(lightness(40, 152 - d), silver) << "inner bottom " << d;
    EXPECT_EQ(img.pixelColor(8, 8), QColor(192, 192, 192));
}

TEST_F(InpstrTest, APressOnAPromptIsNoPressOnThePanel)
{
    // Presses that reach the panel, which moves the dialog.
    struct Counter : QObject {
        int presses = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            presses += e->type() == QEvent::MouseButtonPress;
            return false;
        }
    } panel;
    dlg.Panel1->installEventFilter(&panel);
    dlg.Label1->setText("Search for");
    dlg.Label2->setText("more");
    dlg.show();
    for (QWidget *w : std::initializer_list<QWidget *>{dlg.Label1, dlg.Label2, dlg.Panel1})
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(2, 2));
    dlg.hide();
    EXPECT_EQ(panel.presses, 1) << "the panel's own press only";
}

TEST_F(InpstrTest, TheSilverPanelIsALightIslandOnADarkDesktop)
{
    const QPalette before = QGuiApplication::palette();
    QPalette dark(QColor(53, 53, 53), QColor(40, 40, 40));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    QApplication::setPalette(dark);
    TFinpstr shown;
    const struct {
        QWidget *w;
        QPalette::ColorRole back, fore;
    } parts[] = {
        {shown.Panel1, QPalette::Window, QPalette::WindowText},
        {shown.Label1, QPalette::Window, QPalette::WindowText},
        {shown.Edit1, QPalette::Base, QPalette::Text},
        {shown.Button1, QPalette::Button, QPalette::ButtonText},
    };
    for (const auto &p : parts) {
        EXPECT_GT(p.w->palette().color(p.back).lightness(), 180) << p.w->metaObject()->className();
        EXPECT_LT(p.w->palette().color(p.fore).lightness(), 60) << p.w->metaObject()->className();
    }
    QApplication::setPalette(before);
}
