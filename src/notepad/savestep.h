#pragma once

#include "notetracker.h"
#include "noteuser.h"

#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

struct NoteWrite;

// What became of the notepad's unsaved text as the program ends.
struct ExitReport {
    enum class Outcome {
        Saved, // in the note, or nothing was unsaved
        Kept,  // in a file of its own
        Stay,  // the user chose to stay: nothing was written or kept
        Lost,  // nowhere
    };
    Outcome outcome = Outcome::Saved;
    // What happened, for standard error when no user saw it; names files,
    // never the text.
    QString text;
};

// The autosave's countdown: started by the first change the tracker counts,
// it keeps its schedule when started again.
class Countdown {
  public:
    explicit Countdown(NoteTracker &tracker);

    QTimer *Timer() { return &timer_; }
    // A change of the text, or one put in as unsaved.
    void Changed();
    void SetDirty(bool flag);
    void Stop();
    // Changes made while a write took the text are due in their turn.
    void Again();

  private:
    NoteTracker &tracker_;
    QTimer timer_;
};

// One save step of the note's store: a close, the program's end or the
// session's, or an autosave whose write failed or met another program's
// change. It writes what is due, weighs what each write met and asks the
// user where it must; what it learns on the way (an answer put off, where
// the text was kept) is its own. It runs on events: a write's outcome comes
// to Take, an answer to the question asked, and once the step is over it
// tells `done`, its last act.
class SaveStep {
  public:
    // What a step does to the note's store.
    class Store {
      public:
        virtual NoteTracker &Changes() = 0;
        virtual NoteAsker &Asker() = 0;
        // The program has ended: nothing more is written.
        virtual bool Ended() const = 0;
        // The settings, where the font changed: why they can't be written,
        // or nothing.
        virtual QString WriteSettings() = 0;
        // Starts a write of the text as it is; its outcome comes to Take.
        virtual void Write(bool replaceChanged) = 0;
        // A write is under way, its outcome still to come.
        virtual bool Writing() const = 0;
        // Waits, without an event loop, `ms` at most for the write to end,
        // and hands its outcome back then: true when it has.
        virtual bool FinishWrite(int ms) = 0;

        // A written note becomes the note as last written.
        virtual void Adopt(const NoteWrite &w) = 0;
        // The text, in a new file of its own: at `path` when the user was
        // told that name, else where `path` then says; or every failure.
        virtual bool KeepText(QString &path, QString &failures) = 0;
        // Where unsaved text would go, to tell the user before.
        virtual QString UnsavedPath() const = 0;
        // The note as another program left it is read and shown.
        virtual void ShowTheirs() = 0;

      protected:
        ~Store() = default;
    };

    enum class Kind {
        Autosave, // came by itself: its boxes wait for the user's pause
        Close,
        Exit,
    };
    // Close: done's outcome is Saved when the notepad may close, else Stay.
    using Done = std::function<void(const ExitReport &)>;

    SaveStep(Store &store, Countdown &countdown, Kind kind, Done done);
    SaveStep(const SaveStep &) = delete;
    SaveStep &operator=(const SaveStep &) = delete;

    // A close or an end begins: the settings, then the text if it is dirty.
    // With `writeInFlight`, a write begun before comes to Take first.
    void Begin(bool writeInFlight);
    // A write's outcome.
    void Take(const NoteWrite &w);

  private:
    enum class Resolved { Written, Kept, Failed, PutOff };

    NoteAsker::Origin Origin() const;
    // `text` shown; `then` runs once it is closed, or at once for a step
    // that came by itself, which waits for no notice.
    void Notify(NoteUser::Box box, const QString &text, std::function<void()> then);
    void Text();
    void Resolve(const NoteWrite &w);
    void Answered(NoteUser::Answer answer);
    void KeepTextAndShowTheirs();
    void Finish(Resolved resolved);
    // The step's last act: it may be gone once this returns.
    void End(const ExitReport &report);
    void KeepUnsavedOnExit();
    void KeepOnExit(QString path);

    Store &store_;
    Countdown &countdown_;
    Kind kind_;
    Done done_;
    bool earlier_ = false; // a write begun before the step is still to come
    Resolved last_ = Resolved::Written;
    QString keptIn_; // where the text went, when another program changed the note
};

// The store's saving: the countdown's write, and the save steps that weigh
// what writes meet, one at a time. A close or an end asked for while
// another step runs waits its turn; a question that came by itself, and
// that nobody has seen yet, is put off for it: the user's own step asks it
// again, at once. Only the user's own steps (a close, an end) are waited
// for: the windows go on being drawn and timers run meanwhile, and what
// the user does waits, but in the step's own boxes.
class SaveSteps {
  public:
    explicit SaveSteps(SaveStep::Store &store) : store_(store), countdown_(store.Changes())
    {
        QObject::connect(countdown_.Timer(), &QTimer::timeout, [this] { Autosave(); });
    }

    bool Active() const { return bool(step_); }
    Countdown &Count() { return countdown_; }
    // The countdown's end: the settings, then the text if it is dirty. A
    // tick during a step leaves the writing to it; a write still in flight
    // starts the next countdown when it ends.
    void Autosave();
    // A write's outcome: the step's under way, or the autosave's.
    void Written(const NoteWrite &w);
    // A close or an end: at once, or once the step under way is over.
    void Run(SaveStep::Kind kind, SaveStep::Done done);
    // The same, waited for.
    ExitReport RunAndWait(SaveStep::Kind kind);
    // Runs the event loop until `over`, the user's input waiting but in a
    // box a step shows.
    void Wait(const std::function<bool()> &over);
    // The Save command's report, once a write in flight has ended.
    QString Report();
    // Runs after each step, and each write the countdown began.
    void SetAfterStep(std::function<void()> after) { after_ = std::move(after); }

  private:
    void Make(SaveStep::Kind kind, SaveStep::Done done);

    SaveStep::Store &store_;
    Countdown countdown_;
    std::unique_ptr<SaveStep> step_;
    std::deque<std::function<void()>> due_; // the user's, waiting their turn
    std::function<void()> after_;
};
