#include "about1.h"
#include "programinfo.h"

#include <QApplication>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <gtest/gtest.h>

#include "modal.h"

namespace {

const QDateTime kModified(QDate(2024, 5, 6), QTime(9, 5, 3, 999));

} // namespace

TEST(About, PathInLowerCaseAndTheDateToEvenSeconds)
{
    const struct {
        QTime time;
        const char *stamp;
    } cases[] = {
        {QTime(9, 5, 3, 999), "2024-05-06 09:05:02"},
        {QTime(9, 5, 2), "2024-05-06 09:05:02"},
        {QTime(23, 59, 59, 999), "2024-05-06 23:59:58"},
        {QTime(0, 0, 1), "2024-05-06 00:00:00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(
            ProgramInfoText("/Opt/QUORVIN Ä/bin/Quorvin  ", QDateTime(QDate(2024, 5, 6), c.time)),
            QString("/opt/quorvin Ä/bin/quorvin  \n") + c.stamp);
}

TEST(About, ALongPathWidensTheWindowByStepsOfTenUntilItFits)
{
    const QString path = "/home/USER/Programs/A Rather Long Folder Name/Another One/quorvin";
    TFAbout1 about(path, kModified);
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.Memo2->toPlainText(), path.toLower() + "\n2024-05-06 09:05:02");
    EXPECT_EQ(about.Memo2->accessibleDescription(), "2024-05-06 09:05:02") << "told after the path";
    EXPECT_GT(about.width(), 235);
    EXPECT_EQ((about.width() - 235) % 10, 0);
    EXPECT_EQ(TFAbout1::DisplayedLines(about.Memo2), 2);

    // Ten pixels less would not do.
    about.resize(about.width() - 10, about.height());
    about.layout()->setGeometry(about.rect());
    EXPECT_GT(TFAbout1::DisplayedLines(about.Memo2), 2);

    TFAbout1 shortOne("/q", kModified);
    EXPECT_EQ(shortOne.width(), 235);
}

TEST(About, TheEditorWrapsAsTheWideningLoopReckoned)
{
    const QString path = "/home/user/Programs/A Rather Long Folder Name/Another One/quorvin";
    TFAbout1 about(path, kModified);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    int lines = 0;
    for (QTextBlock b = about.Memo2->document()->begin(); b.isValid(); b = b.next())
        lines += b.layout()->lineCount();
    EXPECT_EQ(lines, 2);
}

TEST(About, EnterOrEscapeClosesFromEitherMemoAndTheButton)
{
    TFAbout1 about("/q", kModified);
    const struct {
        QWidget *target;
        Qt::Key key;
    } cases[] = {
        {about.Memo1, Qt::Key_Escape},   {about.Memo1, Qt::Key_Return},
        {about.Memo2, Qt::Key_Escape},   {about.Memo2, Qt::Key_Enter},
        {about.Button1, Qt::Key_Return}, {about.Button1, Qt::Key_Escape},
    };
    for (const auto &c : cases) {
        about.show();
        about.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
        EXPECT_EQ(QApplication::focusWidget(), about.Button1);
        QTest::keyClick(c.target, c.key);
        EXPECT_FALSE(about.isVisible()) << c.target->metaObject()->className() << " " << c.key;
    }
    EXPECT_FALSE(about.Memo1->focusPolicy() & Qt::TabFocus);
}
