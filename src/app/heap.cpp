#include "heap.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <malloc.h>

void SetHeapPolicy()
{
    // Large buffers, the memo's text as it grows among them, have pages of
    // their own: grown in place, never copied to a larger block with both
    // held meanwhile, and given back as soon as freed. A threshold set here
    // also stays put, where glibc's own would rise past them after the
    // first large free. Small ones stay in the heap while the notepad is in
    // use, and are given back when it is put away.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // The note is read and written on threads of their own; one heap for
    // all lets ReleaseFreeMemory give back what those threads freed too.
    mallopt(M_ARENA_MAX, 1);
}

void ReleaseFreeMemory()
{
    malloc_trim(0);
}

void ReleaseFreeMemoryWhenHidden(QWidget *window)
{
    class OnHide : public QObject {
      public:
        using QObject::QObject;
        bool eventFilter(QObject *, QEvent *event) override
        {
            // Once the window is wholly put away.
            if (event->type() == QEvent::Hide)
                QTimer::singleShot(0, &ReleaseFreeMemory);
            return false;
        }
    };
    window->installEventFilter(new OnHide(window));
}
