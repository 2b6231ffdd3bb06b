#include "startup.h"

#include "about1.h"
#include "boxes.h"
#include "calpick.h"
#include "cdatlib.h"
#include "ctrl.h"
#include "flash.h"
#include "heap.h"
#include "inpstr.h"
#include "notepad.h"
#include "programicon.h"
#include "randomsource.h"
#include "singleinstance.h"
#include "termsignals.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSessionManager>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <cstdio>

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
    note.reset();
}

TFAbout1 *Windows::About()
{
    if (!about_)
        about_ = std::make_unique<TFAbout1>(executablePath, executableModified);
    return about_.get();
}

bool ClaimNoteFolder(SingleInstance &instance, TerminationSignals &termination,
                     const QString &notes, int &status)
{
    status = 0;
    const QMetaObject::Connection closing =
        QObject::connect(&termination, &TerminationSignals::received, qApp, [] {
            if (QWidget *box = QApplication::activeModalWidget())
                box->close();
        });
    const auto disconnect = qScopeGuard([&closing] { QObject::disconnect(closing); });
    switch (instance.Claim(1000, termination.Descriptor())) {
    case SingleInstance::Outcome::OtherRaised:
    case SingleInstance::Outcome::Stopped:
        return false;
    case SingleInstance::Outcome::OtherSilent:
        InfoBox("The program is already running.");
        return false;
    case SingleInstance::Outcome::Unusable:
        status = 1;
        ErrorBox("The program cannot lock its note folder: " + instance.Problem());
        return false;
    case SingleInstance::Outcome::First:
        break;
    }
    // No other copy can be writing there now.
    if (instance.Holds())
        RemoveLeftovers(notes);
    return true;
}

std::unique_ptr<Windows> StartUp(const NotePlace &notes)
{
    auto w = std::make_unique<Windows>();

    // The modules' steps, in the order they depend on one another: the
    // shared library, the calendar, the input dialog and the flash notice
    // (whose defaults need no step), the notepad, the About window (none),
    // and the main window's, which makes the random source. Passwords come
    // from the kernel's generator: there is nothing to seed.
    SetHeapPolicy();
    LibraryStartUp();
    CalStartUp();
    NotepadStartUp();
    w->random = std::make_unique<SystemRandom>();

    w->fctrl = std::make_unique<Tfctrl>(*w->random);
    w->flash = std::make_unique<TFFlash>();
    w->inpstr = std::make_unique<TFinpstr>();
    w->executablePath = QCoreApplication::applicationFilePath();
    w->executableModified = QFileInfo(w->executablePath).lastModified();
    w->note = MakeNoteStore(notes);
    w->note->SetMemoryRelease(ReleaseFreeMemory);
    w->notepad = std::make_unique<TFnotepad>(*w->note);
    ReleaseFreeMemoryWhenHidden(w->notepad.get());

    Windows *windows = w.get();
    w->fctrl->SetCompanionWindows([windows] { return windows->notepad.get(); },
                                  [windows] { return windows->About(); });
    ConnectCalendarButton(w->inpstr.get());
    w->fctrl->SetExitCheck(
        [windows] { return SaveBeforeExit(*windows).outcome != ExitReport::Outcome::Stay; });
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
            // The session may go on: the text stays in the notepad. A box
            // of a save step still open has its question first.
            NoteStore &store = *w.note;
            const ExitReport report = store.Busy() ? ExitReport{ExitReport::Outcome::Stay, {}}
                                                   : store.SaveBeforeExit(mayAsk);
            if (!report.text.isEmpty())
                std::fprintf(stderr, "quorvin: %s\n", qPrintable(report.text));
            if (report.outcome == ExitReport::Outcome::Stay)
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

namespace {

void TakeExitReport(Windows &w, const ExitReport &report)
{
    if (!report.text.isEmpty())
        std::fprintf(stderr, "quorvin: %s\n", qPrintable(report.text));
    if (report.outcome == ExitReport::Outcome::Stay)
        return;
    if (report.outcome == ExitReport::Outcome::Lost)
        w.exitStatus = 1;
    // The windows close as the program quits: nothing is left to write.
    w.note->End(report.outcome);
}

} // namespace

ExitReport SaveBeforeExit(Windows &w, const std::function<bool()> &mayAsk)
{
    if (!w.note)
        return {};
    const ExitReport report = w.note->SaveBeforeExit(mayAsk);
    TakeExitReport(w, report);
    return report;
}

void SaveAndEnd(Windows &w, std::function<void()> ended)
{
    w.note->Exit([&w, ended = std::move(ended)](const ExitReport &report) {
        TakeExitReport(w, report);
        ended();
    });
}

void RunOutsideBoxes(std::function<bool()> ready, std::function<void()> end)
{
    // Tries each time the event loop is about to wait, until the boxes it
    // closed have let their callers go on.
    class Closer : public QObject {
      public:
        Closer(std::function<bool()> r, std::function<void()> e)
            : QObject(qApp), ready_(std::move(r)), end_(std::move(e))
        {
            connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                    this, &Closer::Attempt);
            // A loop that no closing ends (a drag, say) holds the end back
            // a few seconds at most: the note's store writes nothing after.
            deadline_.setSingleShot(true);
            connect(&deadline_, &QTimer::timeout, this, &Closer::Attempt);
            deadline_.start(3000);
            QTimer::singleShot(0, this, &Closer::Attempt);
        }

      private:
        void Attempt()
        {
            if (over_)
                return;
            if (QWidget *popup = QApplication::activePopupWidget())
                popup->close();
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
            const bool nested = QThread::currentThread()->loopLevel() > 1
                                || QApplication::activeModalWidget()
                                || QApplication::activePopupWidget();
            if (!ready_() || (nested && deadline_.isActive()))
                return;
            over_ = true;
            deleteLater();
            end_();
        }

        std::function<bool()> ready_;
        std::function<void()> end_;
        QTimer deadline_;
        bool over_ = false;
    };
    new Closer(std::move(ready), std::move(end));
}
