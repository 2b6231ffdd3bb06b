#pragma once

#include <QString>

#include <functional>
#include <memory>

// How the note's store reaches the user. Without a user (the program ended
// by a signal, a session that allows no questions) the store asks nothing
// and shows nothing: every question then counts as No.
class NoteUser {
  public:
    enum class Answer { Yes, No, Cancel };

    virtual ~NoteUser() = default;
    virtual Answer Ask(const QString &question) = 0;
    virtual void Tell(const QString &text) = 0;  // a notice
    virtual void Error(const QString &text) = 0; // a failed file access
};

// The store's way to its user: every question and notice counted while its
// box is open, and none shown once the user is withdrawn (the program is
// ending) or while a step may not ask (a session that allows no questions).
class NoteAsker {
  public:
    explicit NoteAsker(std::unique_ptr<NoteUser> user) : user_(std::move(user)) {}

    NoteUser::Answer Ask(const QString &question);
    void Tell(const QString &text);
    void Report(const QString &text);

    // Runs after every box has closed.
    void SetAfterBox(std::function<void()> after) { after_ = std::move(after); }
    bool Present() const { return !withdrawn_ && (!mayAsk_ || mayAsk_()); }
    bool BoxOpen() const { return boxes_ > 0; }
    void Withdraw() { withdrawn_ = true; }
    bool Withdrawn() const { return withdrawn_; }

    // While it lives, the user is asked only when `mayAsk` says so (empty:
    // always).
    class Gate {
      public:
        Gate(NoteAsker &asker, std::function<bool()> mayAsk)
            : asker_(asker), outer_(std::exchange(asker.mayAsk_, std::move(mayAsk)))
        {
        }
        ~Gate() { asker_.mayAsk_ = std::move(outer_); }
        Gate(const Gate &) = delete;
        Gate &operator=(const Gate &) = delete;

      private:
        NoteAsker &asker_;
        std::function<bool()> outer_;
    };

  private:
    template <typename Show> void Box(Show show);

    std::unique_ptr<NoteUser> user_;
    std::function<bool()> mayAsk_;
    std::function<void()> after_;
    int boxes_ = 0;
    bool withdrawn_ = false;
};
