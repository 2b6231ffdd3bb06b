#include "cdatlib.h"
#include "libstate.h"

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QColor BaseOf(const QLineEdit &e)
{
    return e.palette().color(QPalette::Active, QPalette::Base);
}

} // namespace

TEST(Cdatlib, GreysRemembersAndRestores)
{
    LibraryStartUp();
    QLineEdit e;
    QPalette white = e.palette();
    white.setColor(QPalette::Base, Qt::white);
    e.setPalette(white);
    const QColor face = e.palette().color(QPalette::Active, QPalette::Button);

    EnableEdit(&e, false);
    EXPECT_FALSE(e.isEnabled());
    EXPECT_EQ(BaseOf(e), face);
    EXPECT_EQ(QColor::fromRgba(Lib().SavedEditColour), QColor(Qt::white));

    // Disabling again must not remember the grey.
    EnableEdit(&e, false);
    EXPECT_EQ(QColor::fromRgba(Lib().SavedEditColour), QColor(Qt::white));

    EnableEdit(&e, true);
    EXPECT_TRUE(e.isEnabled());
    EXPECT_EQ(BaseOf(e), QColor(Qt::white));
}

TEST(Cdatlib, EnablingPaintsTheColourOfTheEditLastDisabled)
{
    LibraryStartUp();
    QLineEdit fresh;
    EnableEdit(&fresh, true);
    EXPECT_EQ(BaseOf(fresh), QColor(Qt::white)) << "white at start";

    QLineEdit yellow;
    QPalette p = yellow.palette();
    p.setColor(QPalette::Base, Qt::yellow);
    yellow.setPalette(p);
    EnableEdit(&yellow, false);

    QLineEdit other;
    EnableEdit(&other, true);
    EXPECT_EQ(BaseOf(other), QColor(Qt::yellow));
}

TEST(Cdatlib, OpensTheMenuAtTheMouse)
{
    QCursor::setPos(321, 123);
    QMenu menu;
    menu.addAction("one");
    QPoint at;
    QTimer::singleShot(0, [&] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            at = popup->pos();
            popup->close();
        }
    });
    PopupAtCursor(&menu);
    EXPECT_EQ(at, QPoint(321, 123));
}
