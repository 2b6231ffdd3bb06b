#include "Notepad.h"
#include "about1.h"
#include "cal.h"
#include "calpick.h"
#include "ctrl.h"
#include "flash.h"
#include "inpstr.h"
#include "startup.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A screen reader has a name to announce for every control whose own text
// does not name it: entry fields, text and grid areas, pictures, and buttons
// that show only a picture.
TEST(Accessible, EveryControlWithoutACaptionHasAName)
{
    QTemporaryDir dir;
    auto windows = StartUp(dir.path());
    TFCal::instance()->RefreshCalendar(); // the year and month buttons show their values
    QWidget *all[] = {windows->fctrl.get(), windows->flash.get(), windows->inpstr.get(),
                      TFCal::instance(),    windows->About(),     windows->notepad.get()};
    int checked = 0;
    for (QWidget *window : all)
        for (QWidget *w : window->findChildren<QWidget *>()) {
            const auto *button = qobject_cast<QAbstractButton *>(w);
            const auto *label = qobject_cast<QLabel *>(w);
            const bool uncaptioned = qobject_cast<QLineEdit *>(w)
                                     || (qobject_cast<QAbstractScrollArea *>(w)
                                         && w->focusPolicy() != Qt::NoFocus)
                                     || (button && button->text().isEmpty())
                                     || (label && label->text().isEmpty() && !label->pixmap().isNull());
            // Qt's own parts (a menu bar's overflow button, a table's corner)
            // are named by Qt's accessibility layer.
            if (!uncaptioned || w->objectName().startsWith("qt_")
                || w->inherits("QTableCornerButton"))
                continue;
            ++checked;
            EXPECT_FALSE(w->accessibleName().isEmpty())
                << window->objectName().toStdString() << ": " << w->metaObject()->className()
                << " " << w->objectName().toStdString();
        }
    EXPECT_GE(checked, 14);
}
