#include "noteuser.h"

#include <algorithm>

NoteAsker::NoteAsker(std::unique_ptr<NoteUser> user) : user_(std::move(user))
{
    clock_.start();
    pause_.setSingleShot(true);
    pause_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pause_, &QTimer::timeout, [this] { ShowNext(); });
}

void NoteAsker::Ask(const QString &question, Origin origin, Answered answered)
{
    Queue({NoteUser::Box::Question, question, origin, std::move(answered)});
}

void NoteAsker::Tell(const QString &text, Origin origin, std::function<void()> closed)
{
    Notice(NoteUser::Box::Notice, text, origin, std::move(closed));
}

void NoteAsker::Report(const QString &text, Origin origin, std::function<void()> closed)
{
    Notice(NoteUser::Box::Error, text, origin, std::move(closed));
}

void NoteAsker::Notice(NoteUser::Box box, const QString &text, Origin origin,
                       std::function<void()> closed)
{
    Queue({box, text, origin, [closed = std::move(closed)](NoteUser::Answer) {
               if (closed)
                   closed();
           }});
}

void NoteAsker::Queue(Waiting w)
{
    if (!Present()) {
        w.answered(NoteUser::Answer::No);
        return;
    }
    // The user's own command is answered before what came by itself, and
    // tells what such a notice would have told.
    auto at = waiting_.end();
    if (w.origin == Origin::User) {
        std::erase_if(waiting_, [&w](const Waiting &x) {
            return x.origin == Origin::ByItself && x.box != NoteUser::Box::Question
                   && x.text == w.text;
        });
        at = std::find_if(waiting_.begin(), waiting_.end(),
                          [](const Waiting &x) { return x.origin == Origin::ByItself; });
    }
    waiting_.insert(at, std::move(w));
    ShowNext();
}

void NoteAsker::ShowNext()
{
    if (shown_ || waiting_.empty())
        return;
    if (!Present()) {
        if (withdrawn_) // the user went while these waited
            AnswerWaiting();
        return; // else they wait for the gate to open again
    }
    if (waiting_.front().origin == Origin::ByItself) {
        // A pause that ends late was the program's, not the user's: a
        // slow disk held the window up, and keys typed meanwhile still
        // wait to go in. They go in first.
        const qint64 now = clock_.elapsed();
        const bool late = dueAt_ >= 0 && now - dueAt_ > kLateMs;
        const qint64 quiet = user_->QuietFor();
        if (late || quiet < kPauseMs) {
            const qint64 wait = late ? kLateMs : kPauseMs - quiet;
            dueAt_ = now + wait;
            pause_.start(int(wait));
            return;
        }
    }
    dueAt_ = -1;
    pause_.stop();
    Waiting w = std::move(waiting_.front());
    waiting_.pop_front();
    shown_ = true;
    current_ = std::move(w.answered);
    // The answer may come before Show returns.
    user_->Show(w.box, w.text, w.origin == Origin::ByItself,
                [this](NoteUser::Answer answer) { Closed(answer); });
}

void NoteAsker::Closed(NoteUser::Answer answer)
{
    shown_ = false;
    if (const Answered answered = std::exchange(current_, {}))
        answered(answer);
    ShowNext();
    if (after_)
        after_();
}

void NoteAsker::PutOffUnseen()
{
    // The user's own questions, waiting behind a box on the screen, stay.
    std::deque<Waiting> kept, putOff;
    for (Waiting &w : waiting_)
        (w.box == NoteUser::Box::Question && w.origin == Origin::ByItself ? putOff : kept)
            .push_back(std::move(w));
    waiting_ = std::move(kept);
    for (Waiting &w : putOff)
        w.answered(NoteUser::Answer::Cancel);
}

void NoteAsker::Withdraw()
{
    withdrawn_ = true;
    AnswerWaiting();
}

void NoteAsker::AnswerWaiting()
{
    pause_.stop();
    dueAt_ = -1;
    // What waits is answered as no user would: questions put off, notices unseen.
    for (Waiting &w : std::exchange(waiting_, {}))
        w.answered(w.box == NoteUser::Box::Question ? NoteUser::Answer::Cancel
                                                    : NoteUser::Answer::Yes);
}
