#include "cdatlib.h"
#include "flash.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class FlashWindow : public ::testing::Test {
  protected:
    void SetUp() override
    {
        LibraryStartUp();
        QCursor::setPos(300, 200);
    }
    void TearDown() override { FlashNotice(""); }
    TFFlash flash; // registered as the program's notice
};

} // namespace

TEST_F(FlashWindow, GrowsPastTwentyCharacters)
{
    EXPECT_EQ(FlashDisplayMs(0), 1500);
    EXPECT_EQ(FlashDisplayMs(20), 1500);
    EXPECT_EQ(FlashDisplayMs(21), 1575);
    EXPECT_EQ(FlashDisplayMs(27), 2025);
    EXPECT_EQ(FlashDisplayMs(40), 3000);
    EXPECT_EQ(FlashDisplayMs(11), 1500);
}

TEST_F(FlashWindow, ShowsNextToTheCursorInAqua)
{
    FlashNotice("Exported OK");
    EXPECT_TRUE(flash.isVisible());
    EXPECT_TRUE(Flash().FlashActive);
    EXPECT_EQ(flash.pos(), QPoint(301, 201));
    EXPECT_EQ(flash.Label1->text(), "Exported OK");
    EXPECT_EQ(flash.Panel1->palette().color(QPalette::Window), QColor(0, 255, 255));
    EXPECT_EQ(flash.Timer1->interval(), 1500);
    EXPECT_TRUE(flash.Timer1->isActive());
    EXPECT_GE(flash.width(), 120);
    EXPECT_EQ(flash.height(), std::max(20, 24 + flash.Label1->height()));
    EXPECT_TRUE(flash.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(FlashWindow, ClosesByItselfAfterItsTime)
{
    QSignalSpy expired(flash.Timer1, &QTimer::timeout);
    FlashNotice("password moved to clipboard");
    EXPECT_EQ(flash.Timer1->interval(), 2025);
    ASSERT_TRUE(expired.wait(5000));
    EXPECT_FALSE(flash.isVisible());
    EXPECT_FALSE(Flash().FlashActive);
    EXPECT_FALSE(flash.Timer1->isActive());
}

TEST_F(FlashWindow, StacksNoticesOnNewLinesAndOnlyWidens)
{
    FlashNotice("a much longer notice than the next one");
    const int wide = flash.width();
    FlashNotice("short");
    EXPECT_EQ(flash.Label1->text(), "a much longer notice than the next one\nshort");
    EXPECT_EQ(flash.width(), wide);
    EXPECT_EQ(flash.Timer1->interval(), 1500) << "a different time restarts with its own";
    const int twoLines = flash.height();
    FlashNotice("third");
    EXPECT_GT(flash.height(), twoLines);
}

TEST_F(FlashWindow, AScreenReaderHearsWhatEachNoticeSaysForIt)
{
    FlashNotice("Exported OK", "Exported OK, the caret at the start");
    FlashNotice("short");
    EXPECT_EQ(flash.Label1->text(), "Exported OK\nshort");
    EXPECT_EQ(flash.accessibleName(), "Exported OK, the caret at the start\nshort");
    FlashNotice("");
    FlashNotice("alone", "alone, said");
    EXPECT_EQ(flash.accessibleName(), "alone, said");
}

TEST_F(FlashWindow, SameTimeKeepsTheFirstCountdown)
{
    FlashNotice("Exported OK");
    // Let part of the countdown run out, then notice again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return flash.Timer1->remainingTime() < 1300; }, 5000));
    FlashNotice("Exported OK");
    EXPECT_EQ(flash.Label1->text(), "Exported OK\nExported OK");
    EXPECT_LT(flash.Timer1->remainingTime(), 1300) << "same display time: not restarted";

    FlashNotice("a notice of exactly 40 characters ......");
    EXPECT_GT(flash.Timer1->remainingTime(), 1500) << "another display time restarts";
    EXPECT_EQ(flash.Timer1->interval(), 3000);

    QSignalSpy expired(flash.Timer1, &QTimer::timeout);
    ASSERT_TRUE(expired.wait(10000));
    EXPECT_EQ(expired.count(), 1);
    EXPECT_FALSE(flash.isVisible());
}

TEST_F(FlashWindow, EmptyTextClosesAtOnceAndTheNextStartsAlone)
{
    FlashNotice("one");
    FlashNotice("");
    EXPECT_FALSE(flash.isVisible());
    EXPECT_FALSE(flash.Timer1->isActive());
    FlashNotice("two");
    EXPECT_EQ(flash.Label1->text(), "two");
    EXPECT_EQ(flash.width(), std::max(120, 13 + flash.Label1->width() + 20));
}

TEST_F(FlashWindow, PulledOntoTheScreenFromTheBottomRightCorner)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCursor::setPos(screen.width() - 1, screen.height() - 1);
    FlashNotice("corner");
    EXPECT_EQ(flash.frameGeometry().bottomRight(), QPoint(screen.width() - 1, screen.height() - 1));
}
