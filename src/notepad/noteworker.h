#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Work beside the window's thread: a thread of its own that does, in turn,
// what it is given. What a task hands back comes to the worker's own
// thread (the window's) once the event loop runs, through the worker's
// lock, so that the hand-off is one a thread checker can see.
class NoteWorker : public QObject {
    Q_OBJECT

  public:
    explicit NoteWorker(QObject *parent = nullptr);
    // Does what it was given, then ends; nothing more is handed back.
    ~NoteWorker() override;

    // `work` on the worker's thread, then `done` here.
    void Run(std::function<void()> work, std::function<void()> done = {});
    // The same, `work`'s result handed to `done`.
    template <typename T> void Run(std::function<T()> work, std::function<void(T &)> done)
    {
        auto result = std::make_shared<T>();
        Run([result, work = std::move(work)] { *result = work(); },
            [result, done = std::move(done)] { done(*result); });
    }

    // Waits, without an event loop, `ms` at most for what was given so far,
    // then hands back at once what is done: true when nothing given is left.
    bool Finish(int ms);

  signals:
    // Each time a task's `done` has run.
    void handedBack();

  private:
    void Loop();
    bool HandBack();

    struct Task {
        std::function<void()> work, done;
    };
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Task> tasks_;
    std::deque<std::function<void()>> finished_;
    bool busy_ = false, stop_ = false;
    int given_ = 0; // on this object's thread
    std::thread thread_;
};
