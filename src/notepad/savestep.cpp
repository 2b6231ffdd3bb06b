#include "savestep.h"

#include "filewriting.h"
#include "notewriter.h"

#include <QCoreApplication>

#include <chrono>
#include <optional>

namespace {

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const char kChangedOutside[] =
    "The note file was changed by another program.\nReplace it with the text in the notepad?";

} // namespace

Countdown::Countdown(NoteTracker &tracker) : tracker_(tracker)
{
    timer_.setSingleShot(true);
    // A coarse timer may end up to a twentieth of its time early.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(NoteTracker::kAutosaveMs);
}

void Countdown::Changed()
{
    if (tracker_.Memo1Change(NowMs()))
        timer_.start();
}

void Countdown::SetDirty(bool flag)
{
    if (tracker_.SetDirty(flag, NowMs()))
        timer_.start();
}

void Countdown::Stop()
{
    timer_.stop();
    tracker_.CountdownEnded();
}

void Countdown::Again()
{
    if (tracker_.Dirty && !tracker_.CountdownRunning())
        SetDirty(true);
}

SaveStep::SaveStep(Store &store, Countdown &countdown, Kind kind, Done done)
    : store_(store), countdown_(countdown), kind_(kind), done_(std::move(done))
{
}

NoteAsker::Origin SaveStep::Origin() const
{
    return kind_ == Kind::Autosave ? NoteAsker::Origin::ByItself : NoteAsker::Origin::User;
}

void SaveStep::Notify(NoteUser::Box box, const QString &text, std::function<void()> then)
{
    NoteAsker &asker = store_.Asker();
    const auto show = box == NoteUser::Box::Error ? &NoteAsker::Report : &NoteAsker::Tell;
    if (kind_ != Kind::Autosave) {
        (asker.*show)(text, Origin(), std::move(then));
        return;
    }
    (asker.*show)(text, Origin(), {});
    then();
}

void SaveStep::Begin(bool writeInFlight)
{
    earlier_ = writeInFlight;
    if (earlier_)
        return;
    // A lost font setting keeps nothing open; its failure is told first.
    const QString failure = store_.WriteSettings();
    if (failure.isEmpty())
        Text();
    else
        Notify(NoteUser::Box::Error, failure, [this] { Text(); });
}

void SaveStep::Text()
{
    // Text a journal's recovery brought while a box of this step was open
    // is due too.
    if (!store_.Changes().TextDue() || store_.Ended()) {
        Finish(Resolved::Written);
        return;
    }
    store_.Write(false);
}

void SaveStep::Take(const NoteWrite &w)
{
    if (std::exchange(earlier_, false)) {
        // What that write met, this step's own write meets again.
        if (w.outcome == NoteWrite::Outcome::Written)
            store_.Adopt(w);
        Begin(false);
        return;
    }
    Resolve(w);
}

void SaveStep::Resolve(const NoteWrite &w)
{
    if (w.outcome == NoteWrite::Outcome::Written) {
        store_.Adopt(w);
        // What changed while it wrote is written in its turn, before a
        // close or an end is over.
        if (kind_ == Kind::Autosave)
            Finish(Resolved::Written);
        else
            Text();
        return;
    }
    // After a failure or a question put off, the countdown waits for the
    // next change: no box comes back by itself.
    countdown_.Stop();
    if (w.outcome == NoteWrite::Outcome::Failed) {
        Notify(NoteUser::Box::Error, CannotCreateText(w.path, w.reason),
               [this] { Finish(Resolved::Failed); });
        return;
    }
    store_.Asker().Ask(kChangedOutside, Origin(),
                       [this](NoteUser::Answer answer) { Answered(answer); });
}

void SaveStep::Answered(NoteUser::Answer answer)
{
    switch (answer) {
    case NoteUser::Answer::Yes:
        store_.Write(true);
        return;
    case NoteUser::Answer::No:
        KeepTextAndShowTheirs();
        return;
    case NoteUser::Answer::Cancel:
        Finish(Resolved::PutOff);
        return;
    }
}

void SaveStep::KeepTextAndShowTheirs()
{
    QString failures;
    if (!store_.KeepText(keptIn_, failures)) {
        Notify(NoteUser::Box::Error, failures, [this] { Finish(Resolved::Failed); });
        return;
    }
    store_.Changes().TextWritten(false); // nothing typed is unsaved now
    if (!store_.Asker().Present()) {
        Finish(Resolved::Kept); // the program is ending
        return;
    }
    store_.ShowTheirs();
    Notify(NoteUser::Box::Notice, QString("The text you typed was kept in \"%1\".").arg(keptIn_),
           [this] { Finish(Resolved::Kept); });
}

void SaveStep::End(const ExitReport &report)
{
    // The store lets the step go as it hears of its end.
    const Done done = std::move(done_);
    done(report);
}

void SaveStep::Finish(Resolved resolved)
{
    last_ = resolved;
    const bool saved = resolved == Resolved::Written || resolved == Resolved::Kept;
    if (kind_ != Kind::Exit) {
        End({saved ? ExitReport::Outcome::Saved : ExitReport::Outcome::Stay, {}});
        return;
    }
    if (!saved) {
        if (resolved == Resolved::PutOff)
            End({ExitReport::Outcome::Stay, {}});
        else
            KeepUnsavedOnExit();
        return;
    }
    if (keptIn_.isEmpty()) {
        End({});
        return;
    }
    End({ExitReport::Outcome::Kept,
         QString("the note file was changed by another program; the unsaved text was kept in "
                 "\"%1\"")
             .arg(keptIn_)});
}

void SaveStep::KeepUnsavedOnExit()
{
    NoteAsker &asker = store_.Asker();
    const QString path = store_.UnsavedPath();
    if (!asker.Present()) {
        KeepOnExit(path);
        return;
    }
    asker.Ask(QString("The note could not be saved.\nKeep the unsaved text in \"%1\" and quit?")
                  .arg(path),
              Origin(), [this, path](NoteUser::Answer answer) {
                  if (answer == NoteUser::Answer::Yes)
                      KeepOnExit(path);
                  else
                      End({ExitReport::Outcome::Stay, {}});
              });
}

void SaveStep::KeepOnExit(QString path)
{
    NoteAsker &asker = store_.Asker();
    const QString asked = path;
    QString failures;
    if (store_.KeepText(path, failures)) {
        const ExitReport kept{
            ExitReport::Outcome::Kept,
            QString("the note could not be saved; the unsaved text was kept in \"%1\"").arg(path)};
        if (path == asked)
            End(kept);
        else
            asker.Tell(QString("The unsaved text was kept in \"%1\".").arg(path), Origin(),
                       [this, kept] { End(kept); });
        return;
    }
    const ExitReport lost{ExitReport::Outcome::Lost,
                          "the note could not be saved, and its unsaved text could not be kept "
                          "anywhere:\n"
                              + failures};
    if (!asker.Present()) {
        End(lost);
        return;
    }
    asker.Report(failures, Origin(), [this, lost] {
        store_.Asker().Ask(
            "Quit and lose the unsaved text?", Origin(), [this, lost](NoteUser::Answer answer) {
                End(answer == NoteUser::Answer::Yes ? lost
                                                    : ExitReport{ExitReport::Outcome::Stay, {}});
            });
    });
}

void SaveSteps::Make(SaveStep::Kind kind, SaveStep::Done done)
{
    step_ = std::make_unique<SaveStep>(
        store_, countdown_, kind, [this, done = std::move(done)](const ExitReport &report) {
            step_.reset();
            done(report);
            if (!due_.empty()) {
                const std::function<void()> next = std::move(due_.front());
                due_.pop_front();
                next();
            }
            if (after_)
                after_();
        });
}

void SaveSteps::Autosave()
{
    countdown_.Stop();
    if (store_.Ended() || step_ || store_.Writing())
        return;
    if (const QString failure = store_.WriteSettings(); !failure.isEmpty())
        store_.Asker().Report(failure, NoteAsker::Origin::ByItself);
    if (store_.Changes().Dirty)
        store_.Write(false);
}

void SaveSteps::Written(const NoteWrite &w)
{
    if (step_) {
        step_->Take(w);
        return;
    }
    if (w.outcome == NoteWrite::Outcome::Written) {
        store_.Adopt(w);
        countdown_.Again();
        if (after_)
            after_();
        return;
    }
    // The autosave's failure, or another program's change, is weighed by a
    // step of its own, whose boxes wait for the user's pause.
    Make(SaveStep::Kind::Autosave, [this](const ExitReport &report) {
        if (report.outcome == ExitReport::Outcome::Saved)
            countdown_.Again();
    });
    step_->Take(w);
}

void SaveSteps::Run(SaveStep::Kind kind, SaveStep::Done done)
{
    store_.Asker().PutOffUnseen();
    if (step_) {
        due_.push_back(
            [this, kind, done = std::move(done)]() mutable { Run(kind, std::move(done)); });
        return;
    }
    Make(kind, std::move(done));
    step_->Begin(store_.Writing());
}

ExitReport SaveSteps::RunAndWait(SaveStep::Kind kind)
{
    std::optional<ExitReport> report;
    Run(kind, [&report](const ExitReport &r) { report = r; });
    Wait([&report] { return report.has_value(); });
    return *report;
}

QString SaveSteps::Report()
{
    Wait([this] { return !store_.Writing(); });
    return QString::fromStdString(store_.Changes().SaveReport(NowMs()));
}

void SaveSteps::Wait(const std::function<bool()> &over)
{
    // A write that ends within moments is taken without a loop.
    while (!over() && store_.Writing() && store_.FinishWrite(2)) {
    }
    while (!over()) {
        // A wait begun inside a posted call takes the calls posted before
        // it (a write's hand-back) only once told to.
        QCoreApplication::sendPostedEvents();
        if (over())
            break;
        QEventLoop::ProcessEventsFlags flags = QEventLoop::WaitForMoreEvents;
        if (!store_.Asker().BoxShown())
            flags |= QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers;
        QCoreApplication::processEvents(flags);
    }
}
