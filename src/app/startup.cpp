#include "startup.h"

#include "about1.h"
#include "calpick.h"
#include "cdatlib.h"
#include "ctrl.h"
#include "flash.h"
#include "inpstr.h"
#include "notepad.h"
#include "programicon.h"
#include "randomsource.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QSessionManager>
#include <QTimer>
#include <QWidget>

Windows::Windows() = default;

Windows::~Windows()
{
    // The windows go in the reverse order of their making; the random
    // source, which the main window uses, goes last.
    notepad.reset();
    about_.reset();
    inpstr.reset();
    flash.reset();
    fctrl.reset();
}

TFAbout1 *Windows::About()
{
    if (!about_)
        about_ = std::make_unique<TFAbout1>(executablePath, executableModified);
    return about_.get();
}

std::unique_ptr<Windows> StartUp(const NotePlace &notes)
{
    auto w = std::make_unique<Windows>();

    // The modules' steps, in the order they depend on one another: the
    // shared library, the calendar, the input dialog and the flash notice
    // (whose defaults need no step), the notepad, the About window (none),
    // and the main window's, which makes the random source. Passwords come
    // from the kernel's generator: there is nothing to seed.
    LibraryStartUp();
    CalStartUp();
    NotepadStartUp();
    w->random = std::make_unique<SystemRandom>();

    w->fctrl = std::make_unique<Tfctrl>(*w->random);
    w->flash = std::make_unique<TFFlash>();
    w->inpstr = std::make_unique<TFinpstr>();
    w->executablePath = QCoreApplication::applicationFilePath();
    w->executableModified = QFileInfo(w->executablePath).lastModified();
    w->notepad = std::make_unique<TFnotepad>(notes);

    Windows *windows = w.get();
    w->fctrl->SetCompanionWindows([windows] { return windows->notepad.get(); },
                                  [windows] { return windows->About(); });
    ConnectCalendarButton(w->inpstr.get());
    w->fctrl->SetExitCheck([windows] { return SaveBeforeExit(*windows); });
    return w;
}

void SaveWhenTheSessionEnds(Windows &w)
{
    QObject::connect(
        qApp, &QGuiApplication::commitDataRequest, qApp,
        [&w](QSessionManager &manager) {
            bool asked = false, allowed = false;
            const auto mayAsk = [&] {
                if (!asked) {
                    asked = true;
                    allowed = manager.allowsInteraction();
                }
                return allowed;
            };
            if (!SaveBeforeExit(w, mayAsk))
                manager.cancel();
            if (allowed)
                manager.release();
        },
        Qt::DirectConnection);
}

void FinishStartUp(Windows &w)
{
    QApplication::setWindowIcon(ProgramIcon());
    w.notepad->FillMemo();
    // What reading and decoding the note left behind.
    ReleaseFreeMemory();
}

void WhenFirstDrawn(QWidget *window, std::function<void()> work)
{
    // Watches the window's first paint; the work runs once it is on the screen.
    class FirstPaint : public QObject {
      public:
        FirstPaint(QObject *parent, std::function<void()> w) : QObject(parent), work_(std::move(w))
        {
        }
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && work_) {
                QTimer::singleShot(0, parent(), std::move(work_));
                work_ = nullptr;
                deleteLater();
            }
            return false;
        }

      private:
        std::function<void()> work_;
    };
    window->installEventFilter(new FirstPaint(window, std::move(work)));
}

bool SaveBeforeExit(Windows &w, const std::function<bool()> &mayAsk)
{
    return !w.notepad || w.notepad->SaveBeforeExit(mayAsk);
}
