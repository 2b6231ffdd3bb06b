#pragma once

#include "notetracker.h"
#include "noteuser.h"

#include <QString>

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
        // A written note becomes the note as last written.
        virtual void Adopt(const NoteWrite &w) = 0;
        virtual void StopCountdown() = 0;
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

    SaveStep(Store &store, Kind kind, Done done);
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
    Kind kind_;
    Done done_;
    bool earlier_ = false; // a write begun before the step is still to come
    Resolved last_ = Resolved::Written;
    QString keptIn_; // where the text went, when another program changed the note
};

// The store's save steps, one at a time. A close or an end asked for while
// another step runs waits its turn; a question that came by itself, and
// that nobody has seen yet, is put off for it: the user's own step asks it
// again, at once.
class SaveSteps {
  public:
    explicit SaveSteps(SaveStep::Store &store) : store_(store) {}

    bool Active() const { return bool(step_); }
    // A close or an end: at once, or once the step under way is over.
    void Run(SaveStep::Kind kind, SaveStep::Done done);
    // What an autosave's write met, weighed by a step of its own.
    void Weigh(const NoteWrite &w, SaveStep::Done done);
    // A write's outcome, for the step under way.
    void Take(const NoteWrite &w) { step_->Take(w); }
    // Runs after each step.
    void SetAfterStep(std::function<void()> after) { after_ = std::move(after); }

  private:
    void Make(SaveStep::Kind kind, SaveStep::Done done);

    SaveStep::Store &store_;
    std::unique_ptr<SaveStep> step_;
    std::deque<std::function<void()>> due_; // the user's, waiting their turn
    std::function<void()> after_;
};
