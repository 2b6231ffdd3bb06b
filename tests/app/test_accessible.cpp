#include "about1.h"
#include "cal.h"
#include "calpick.h"
#include "cdatlib.h"
#include "ctrl.h"
#include "flash.h"
#include "inpstr.h"
#include "notepad.h"
#include "startup.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtGui/private/qguiapplication_p.h>
#include <gtest/gtest.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "modal.h"

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
            const bool uncaptioned =
                qobject_cast<QLineEdit *>(w)
                || (qobject_cast<QAbstractScrollArea *>(w) && w->focusPolicy() != Qt::NoFocus)
                || (button && button->text().isEmpty())
                || (label && label->text().isEmpty() && !label->pixmap().isNull());
            // Qt's own parts (a menu bar's overflow button, a table's corner)
            // are named by Qt's accessibility layer.
            if (!uncaptioned || w->objectName().startsWith("qt_")
                || w->inherits("QTableCornerButton"))
                continue;
            ++checked;
            EXPECT_FALSE(w->accessibleName().isEmpty())
                << window->objectName().toStdString() << ": " << w->metaObject()->className() << " "
                << w->objectName().toStdString();
        }
    EXPECT_GE(checked, 14);
}

namespace {

// What the program tells a screen reader, as the accessibility layer hears it.
std::vector<std::pair<QAccessible::Event, QObject *>> g_heard;
void Hear(QAccessibleEvent *event)
{
    g_heard.emplace_back(event->type(), event->object());
}

QString Said(QObject *o, QAccessible::Text what)
{
    return QAccessible::queryAccessibleInterface(o)->text(what);
}

} // namespace

TEST(Accessible, PromptsAndNoticesAreToldAndTheHiddenButtonSaysWhatItDoes)
{
    LibraryStartUp();
    TFinpstr input;
    TFFlash flash;
    // As when a screen reader listens; only the platform can say so.
    QPlatformAccessibility *platform =
        QGuiApplicationPrivate::platformIntegration()->accessibility();
    ASSERT_TRUE(platform);
    platform->setActive(true);
    QAccessible::installUpdateHandler(Hear);

    QStringList names;
    for (const char *prompt : {"Search for", "Password length ( 8-255 )"}) {
        g_heard.clear();
        WhenModal<TFinpstr>([&](TFinpstr *d) {
            names << Said(d, QAccessible::Name) << Said(d->Edit1, QAccessible::Name)
                  << Said(d->Edit1, QAccessible::Description);
            d->Button2->click();
        });
        QString text;
        InputText(prompt, "second line", text);
    }
    EXPECT_EQ(names,
              (QStringList{"Search for", "Search for", "second line", "Password length ( 8-255 )",
                           "Password length ( 8-255 )", "second line"}));
    auto heard = [](QAccessible::Event type, QObject *o) {
        return std::count(g_heard.begin(), g_heard.end(), std::pair{type, o});
    };
    EXPECT_GE(heard(QAccessible::NameChanged, &input), 1) << "the new prompt is announced";

    FlashNotice("Exported OK");
    QAccessibleInterface *notice = QAccessible::queryAccessibleInterface(&flash);
    EXPECT_EQ(notice->role(), QAccessible::Notification);
    EXPECT_EQ(notice->text(QAccessible::Name), "Exported OK");
    EXPECT_EQ(heard(QAccessible::ObjectShow, &flash), 1) << "shown is what a screen reader speaks";
    FlashNotice("Exported OK");
    EXPECT_EQ(heard(QAccessible::ObjectShow, &flash), 2) << "a notice added below shows again";
    FlashNotice("");
    QAccessible::installUpdateHandler(nullptr);
    platform->setActive(false);

    QTemporaryDir dir;
    NotepadStartUp();
    const std::unique_ptr<NoteStore> note = MakeNoteStore(NotePlace(dir.path()));
    TFnotepad pad(*note);
    EXPECT_EQ(pad.Button1->text(), "Hidden");
    EXPECT_EQ(Said(pad.Button1, QAccessible::Name), "Close");
}
