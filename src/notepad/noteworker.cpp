#include "noteworker.h"

#include <chrono>

NoteWorker::NoteWorker(QObject *parent) : QObject(parent), thread_([this] { Loop(); }) {}

NoteWorker::~NoteWorker()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void NoteWorker::Run(std::function<void()> work, std::function<void()> done)
{
    ++given_;
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back({std::move(work), std::move(done)});
    }
    wake_.notify_one();
}

bool NoteWorker::Finish(int ms)
{
    {
        std::unique_lock lock(mutex_);
        idle_.wait_for(lock, std::chrono::milliseconds(ms),
                       [this] { return tasks_.empty() && !busy_; });
    }
    while (given_ > 0 && HandBack()) {
    }
    return given_ == 0;
}

void NoteWorker::Loop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !tasks_.empty(); });
        if (tasks_.empty())
            return; // stopped, with nothing left to do
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        busy_ = true;
        lock.unlock();
        task.work();
        lock.lock();
        busy_ = false;
        finished_.push_back(std::move(task.done));
        idle_.notify_all();
        lock.unlock();
        // The worker is stopped before it goes: `this` is still there.
        QMetaObject::invokeMethod(
            this, [this] { HandBack(); }, Qt::QueuedConnection);
        lock.lock();
    }
}

bool NoteWorker::HandBack()
{
    std::function<void()> done;
    {
        const std::lock_guard lock(mutex_);
        if (finished_.empty())
            return false; // handed back already, by Finish
        done = std::move(finished_.front());
        finished_.pop_front();
    }
    --given_;
    if (done)
        done();
    emit handedBack();
    return true;
}
