#include "savestep.h"

#include "notejournal.h"
#include "notestore.h"
#include "notewriter.h"
#include "unsavedtext.h"

namespace {

const char kChangedOutside[] =
    "The note file was changed by another program.\nReplace it with the text in the notepad?";

} // namespace

SaveStep::SaveStep(NoteStore &store) : store_(store)
{
    ++store_.steps_;
}

SaveStep::~SaveStep()
{
    --store_.steps_;
    store_.LookAgainIfChanged();
}

bool SaveStep::Close()
{
    return store_.tracker_.CloseQuery([this] { return store_.WriteFontSettings(); },
                                      [this] { return WriteText(); });
}

ExitReport SaveStep::Exit()
{
    NoteTracker &tracker = store_.tracker_;
    // Only the note keeps the program open; a lost font setting does not.
    bool written = Close();
    // Text a journal's recovery brought while a box of this step was open
    // is unsaved too; the font's failure is told once.
    if (written && store_.phase_ != NoteStore::Phase::Ended && tracker.TrackChanges
        && tracker.Dirty)
        written = tracker.SaveNotes([] { return false; }, [this] { return WriteText(); });
    if (!written) {
        if (store_.phase_ == NoteStore::Phase::Ended)
            return {}; // ended meanwhile, from a loop a box of this step ran
        if (last_ == Resolved::PutOff)
            return {ExitReport::Outcome::Stay, {}};
        return KeepUnsavedOnExit();
    }
    if (keptIn_.isEmpty())
        return {};
    return {ExitReport::Outcome::Kept,
            QString("the note file was changed by another program; the unsaved text was kept in "
                    "\"%1\"")
                .arg(keptIn_)};
}

bool SaveStep::Take(const NoteWrite &w)
{
    last_ = Resolve(w);
    return last_ == Resolved::Written || last_ == Resolved::Kept;
}

SaveStep::Resolved SaveStep::Resolve(const NoteWrite &w)
{
    if (w.outcome == NoteWrite::Outcome::Written) {
        store_.Adopt(w);
        return Resolved::Written;
    }
    // After a failure or a question put off, the countdown waits for the
    // next change: no box comes back by itself.
    store_.StopCountdown();
    if (w.outcome == NoteWrite::Outcome::Failed) {
        store_.asker_.Report(CannotCreateText(w.path, w.reason));
        return Resolved::Failed;
    }
    switch (store_.asker_.Ask(kChangedOutside)) {
    case NoteUser::Answer::Yes: {
        store_.StartWrite(true);
        if (const std::optional<NoteWrite> again = store_.writer_->Take())
            return Resolve(*again);
        return store_.tracker_.Dirty ? Resolved::Failed : Resolved::Written;
    }
    case NoteUser::Answer::No:
        return KeepTextAndShowFile() ? Resolved::Kept : Resolved::Failed;
    case NoteUser::Answer::Cancel:
        break;
    }
    return Resolved::PutOff;
}

bool SaveStep::WriteText()
{
    if (store_.phase_ == NoteStore::Phase::Ended)
        return false;
    // What changed while the write was waited for (a drop: only keys and
    // clicks are held back) is written in its turn, before the step ends.
    for (;;) {
        store_.StartWrite(false);
        const std::optional<NoteWrite> w = store_.writer_->Take();
        if (!w)
            return !store_.tracker_.Dirty; // taken by the end's step, run while this one waited
        last_ = Resolve(*w);
        if (last_ != Resolved::Written)
            return last_ == Resolved::Kept;
        if (!store_.tracker_.Dirty || store_.phase_ == NoteStore::Phase::Ended)
            return true;
    }
}

bool SaveStep::KeepTextAndShowFile()
{
    QString failures;
    if (!KeepUnsaved(store_.buffer_->Text(), store_.encoding_, store_.breaks_,
                     store_.unsavedFolders_, keptIn_, failures)) {
        store_.asker_.Report(failures);
        return false;
    }
    if (!store_.asker_.Present())
        return true; // the program is ending
    // The other program's note is shown once read; what is typed meanwhile
    // waits for it.
    store_.Reread(false, true, true, [](NoteStore::Read) {});
    store_.asker_.Tell(QString("The text you typed was kept in \"%1\".").arg(keptIn_));
    return true;
}

ExitReport SaveStep::KeepUnsavedOnExit()
{
    NoteAsker &asker = store_.asker_;
    const QStringList &folders = store_.unsavedFolders_;
    QString path = UnsavedNotePath(folders.value(0), QDateTime::currentDateTime());
    if (asker.Present()
        && asker.Ask(QString("The note could not be saved.\nKeep the unsaved text in \"%1\" and "
                             "quit?")
                         .arg(path))
               != NoteUser::Answer::Yes)
        return {ExitReport::Outcome::Stay, {}};
    const QString asked = path;
    QString failures;
    if (KeepUnsaved(store_.buffer_->Text(), store_.encoding_, store_.breaks_, folders, path,
                    failures)) {
        if (path != asked)
            asker.Tell(QString("The unsaved text was kept in \"%1\".").arg(path));
        return {
            ExitReport::Outcome::Kept,
            QString("the note could not be saved; the unsaved text was kept in \"%1\"").arg(path)};
    }
    const ExitReport lost{ExitReport::Outcome::Lost,
                          "the note could not be saved, and its unsaved text could not be kept "
                          "anywhere:\n"
                              + failures};
    if (!asker.Present())
        return lost;
    asker.Report(failures);
    if (asker.Ask("Quit and lose the unsaved text?") != NoteUser::Answer::Yes)
        return {ExitReport::Outcome::Stay, {}};
    return lost;
}
