#include "cdatlib.h"

#include "apptitle.h"
#include "datetext.h"
#include "libstate.h"

#include <QCoreApplication>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>

void EnableEdit(QLineEdit *edit, bool enable)
{
    if (!enable && !edit->isEnabled())
        return;
    edit->setEnabled(enable);
    QPalette pal = edit->palette();
    if (enable) {
        pal.setColor(QPalette::Base, QColor::fromRgba(Lib().SavedEditColour));
    } else {
        Lib().SavedEditColour = pal.color(QPalette::Active, QPalette::Base).rgba();
        pal.setColor(QPalette::Base, pal.color(QPalette::Active, QPalette::Button));
    }
    edit->setPalette(pal);
}

void PopupAtCursor(QMenu *menu)
{
    menu->exec(QCursor::pos());
}

QString ApplicationTitle()
{
    return QString::fromStdString(
        ApplicationTitleFromPath(QCoreApplication::applicationFilePath().toStdString()));
}

void LibraryStartUp()
{
    LibState &lib = Lib();
    lib.PadChar = '0';
    // (The platform's process-wide date format has no counterpart here, and
    // no text of the program would pass through it.)
    lib.SavedEditColour = 0xFFFFFFFFu;
    lib.GridFilling = false;
    DatesStartUp();
    lib.BoxTitle.clear();
    lib.Places = {};
}
