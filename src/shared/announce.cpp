#include "announce.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QHash>
#include <QWidget>

namespace {

const char *const kAnchorName = "announcement";
// Statuses kept, each an object of its own: a screen reader that asks what
// one said a moment late hears it, not the next.
constexpr qsizetype kKept = 4;

// A notification with no widget, so never drawn; its name is the status.
class AnnouncementAccessible : public QAccessibleObject {
  public:
    AnnouncementAccessible(QObject *anchor, const QString &text)
        : QAccessibleObject(anchor), text_(text)
    {
    }

    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.invisible = true;
        return s;
    }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? text_ : QString();
    }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(object()->parent());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

  private:
    const QString text_;
};

} // namespace

void Announce(QWidget *window, const QString &text)
{
    const QList<QObject *> earlier =
        window->findChildren<QObject *>(kAnchorName, Qt::FindDirectChildrenOnly);
    if (earlier.size() >= kKept)
        delete earlier.first();
    auto *anchor = new QObject(window);
    anchor->setObjectName(kAnchorName);
    // Qt's cache owns the interface and drops it with the anchor.
    QAccessible::registerAccessibleInterface(new AnnouncementAccessible(anchor, text));
    QAccessibleEvent shown(anchor, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

namespace {

// Qt's own connection to the accessibility bus, and the path it gives an
// object there.
const char *const kBusName = "a11y";
const char *const kObjectPath = "/org/a11y/atspi/accessible/";

void TellBus(QWidget *widget, const char *state, bool on)
{
    const QDBusConnection bus(QString::fromLatin1(kBusName));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    if (!bus.isConnected() || !iface)
        return;
    QDBusMessage told = QDBusMessage::createSignal(
        kObjectPath + QString::number(QAccessible::uniqueId(iface)),
        QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("StateChanged"));
    told << QString::fromLatin1(state) << int(on) << 0 << QVariant::fromValue(QDBusVariant(0))
         << QVariant::fromValue(QVariantMap());
    bus.send(told);
}

} // namespace

void TellStates(QWidget *widget, QAccessible::State changed, QAccessible::State now)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
    // Qt passes on to the bus only changes of checked, active and enabled.
    if (changed.readOnly)
        TellBus(widget, "read-only", now.readOnly);
    if (changed.editable)
        TellBus(widget, "editable", now.editable);
    if (changed.busy)
        TellBus(widget, "busy", now.busy);
}

namespace {

// The widgets kept quiet, as often as asked, and the handler that was
// there before.
QHash<QObject *, int> &Quiet()
{
    static QHash<QObject *, int> quiet;
    return quiet;
}
QAccessible::UpdateHandler g_before = nullptr;

bool IsTextEvent(QAccessible::Event type)
{
    switch (type) {
    case QAccessible::TextInserted:
    case QAccessible::TextRemoved:
    case QAccessible::TextUpdated:
    case QAccessible::TextCaretMoved:
    case QAccessible::TextSelectionChanged:
        return true;
    default:
        return false;
    }
}

void HearQuietly(QAccessibleEvent *event)
{
    if (IsTextEvent(event->type()) && Quiet().contains(event->object()))
        return;
    // Anything else goes where it would have gone. (Qt applies a table's
    // change to the table before any handler, and would again here; but no
    // table changes while the program works on a text kept quiet.)
    const QAccessible::UpdateHandler self = QAccessible::installUpdateHandler(g_before);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(self);
}

} // namespace

QuietText::QuietText(QObject *widget) : widget_(widget)
{
    if (!widget_)
        return;
    if (Quiet().isEmpty())
        g_before = QAccessible::installUpdateHandler(HearQuietly);
    ++Quiet()[widget_];
}

QuietText::~QuietText()
{
    if (!widget_)
        return;
    if (--Quiet()[widget_] == 0)
        Quiet().remove(widget_);
    if (Quiet().isEmpty())
        QAccessible::installUpdateHandler(g_before);
}
