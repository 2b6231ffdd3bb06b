#include "heap.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <malloc.h>

void SetHeapPolicy()
{
    // A large note's text is copied whole for every autosave and search.
    // Buffers of that size stay in the heap for the next copy while the
    // notepad is in use, instead of fresh pages being mapped and zeroed for
    // each, which costs more than the copying; they are given back when the
    // notepad is put away.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
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
