#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

// How the note's store reaches the user: a box shown, its answer handed
// back once it is closed. Without a user (the program ended by a signal, a
// session that allows no questions) the store asks nothing and shows
// nothing: every question then counts as No.
class NoteUser {
  public:
    enum class Answer { Yes, No, Cancel };
    enum class Box {
        Question, // Yes, No or Cancel
        Notice,
        Error, // a failed file access
    };

    virtual ~NoteUser() = default;
    // Shows the box and returns at once; `closed` gets the answer once it is
    // closed (a notice's: Yes). `byItself`: no command of the user's asked
    // for it, so keys and clicks in flight must not answer it.
    virtual void Show(Box box, const QString &text, bool byItself,
                      std::function<void(Answer)> closed) = 0;
    // Milliseconds since the user last gave the program a key, a click or
    // input-method text.
    virtual qint64 QuietFor() const = 0;
};

// The store's way to its user: one box at a time, in the order asked, and
// none once the user is withdrawn (the program is ending) or while a step
// may not ask (a session that allows no questions). A box that answers the
// user's own command opens at once, ahead of those waiting; one that comes
// by itself waits until the user has paused for kPauseMs, so that it never
// takes the keys of someone typing.
class NoteAsker {
  public:
    static constexpr int kPauseMs = 1000;
    // A pause timer this late was held up by the program itself.
    static constexpr int kLateMs = 100;
    enum class Origin {
        User,     // answers the user's own command
        ByItself, // an autosave, the watcher, a journal that failed...
    };
    using Answered = std::function<void(NoteUser::Answer)>;

    explicit NoteAsker(std::unique_ptr<NoteUser> user);

    // The answer comes to `answered`, at once (No) when no user can be asked.
    void Ask(const QString &question, Origin origin, Answered answered);
    // `closed`, if any, runs once the box has closed, or at once when none
    // is shown.
    void Tell(const QString &text, Origin origin, std::function<void()> closed = {});
    void Report(const QString &text, Origin origin, std::function<void()> closed = {});

    // Questions that came by themselves and wait for the user's pause,
    // unseen, are put off: answered Cancel. Notices keep waiting.
    void PutOffUnseen();

    // Runs after every box has closed.
    void SetAfterBox(std::function<void()> after) { after_ = std::move(after); }
    bool Present() const { return !withdrawn_ && (!mayAsk_ || mayAsk_()); }
    // A box is on the screen.
    bool BoxShown() const { return shown_; }
    // None is on the screen, and none waits.
    bool Idle() const { return !shown_ && waiting_.empty(); }
    void Withdraw();
    bool Withdrawn() const { return withdrawn_; }

    // While it lives, the user is asked only when `mayAsk` says so (empty:
    // always).
    class Gate {
      public:
        Gate(NoteAsker &asker, std::function<bool()> mayAsk)
            : asker_(asker), outer_(std::exchange(asker.mayAsk_, std::move(mayAsk)))
        {
        }
        ~Gate()
        {
            asker_.mayAsk_ = std::move(outer_);
            asker_.ShowNext();
        }
        Gate(const Gate &) = delete;
        Gate &operator=(const Gate &) = delete;

      private:
        NoteAsker &asker_;
        std::function<bool()> outer_;
    };

  private:
    struct Waiting {
        NoteUser::Box box;
        QString text;
        Origin origin;
        Answered answered;
    };
    void Notice(NoteUser::Box box, const QString &text, Origin origin,
                std::function<void()> closed);
    void Queue(Waiting w);
    void ShowNext();
    void Closed(NoteUser::Answer answer);
    // What waits, answered as no user would.
    void AnswerWaiting();

    std::unique_ptr<NoteUser> user_;
    std::function<bool()> mayAsk_;
    std::function<void()> after_;
    std::deque<Waiting> waiting_;
    Answered current_; // of the box shown
    bool shown_ = false;
    bool withdrawn_ = false;
    QTimer pause_; // until the user's pause is due
    QElapsedTimer clock_;
    qint64 dueAt_ = -1; // when the pause timer is due, on clock_
};
