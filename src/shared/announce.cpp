#include "announce.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QWidget>

namespace {

const char *const kAnchorName = "announcement";

// A notification with no widget, so never drawn; its name is the status.
class AnnouncementAccessible : public QAccessibleObject {
  public:
    explicit AnnouncementAccessible(QObject *anchor) : QAccessibleObject(anchor) {}

    void SetText(const QString &text) { text_ = text; }

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
    QString text_;
};

} // namespace

void Announce(QWidget *window, const QString &text)
{
    QObject *anchor = window->findChild<QObject *>(kAnchorName, Qt::FindDirectChildrenOnly);
    if (!anchor) {
        anchor = new QObject(window);
        anchor->setObjectName(kAnchorName);
        // Qt's cache owns the interface and drops it with the anchor.
        QAccessible::registerAccessibleInterface(new AnnouncementAccessible(anchor));
    }
    static_cast<AnnouncementAccessible *>(QAccessible::queryAccessibleInterface(anchor))
        ->SetText(text);
    QAccessibleEvent shown(anchor, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}
