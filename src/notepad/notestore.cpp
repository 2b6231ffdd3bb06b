#include "notestore.h"

#include "notejournal.h"
#include "notereader.h"
#include "notewriter.h"
#include "unsavedtext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QTimer>

#include <chrono>
#include <unistd.h>

namespace {

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const char kChangedOutside[] =
    "The note file was changed by another program.\nReplace it with the text in the notepad?";

} // namespace

NoteStore::NoteStore(const NotePlace &place, std::unique_ptr<NoteUser> user, QObject *parent)
    : QObject(parent), place_(place), user_(std::move(user)),
      unsavedFolders_(DefaultUnsavedFolders()), buffer_(new NoteBuffer(this)),
      reader_(new NoteReader(this)), writer_(new NoteWriter(*buffer_, this)),
      timer1_(new QTimer(this))
{
    timer1_->setSingleShot(true);
    timer1_->setInterval(NoteTracker::kAutosaveMs);
    connect(timer1_, &QTimer::timeout, this, &NoteStore::Timer1Timer);
    connect(buffer_, &NoteBuffer::edited, this, &NoteStore::TextChanged);
    connect(reader_, &NoteReader::changed, this, &NoteStore::DiskChanged);
    // A write a step waits for is that step's to take.
    connect(writer_, &NoteWriter::written, this, [this] {
        if (!writer_->Waiting())
            OnWritten();
    });
}

NoteStore::~NoteStore()
{
    delete writer_; // before the text it takes
}

void NoteStore::Open()
{
    folder_ = WithSeparator(place_.folder);
    notesPath_ = folder_ + "npad.txt";
    settingsPath_ = folder_ + "npad.ini";
    if (!place_.leftBehind.isEmpty())
        CarryLeftNote();
    const QString journalPath = QFileInfo(notesPath_).absolutePath() + "/npad.journal";
    journal_ = new NoteJournal(journalPath, this);
    // Told once the keystroke that met it is over: never a box inside an edit.
    connect(
        journal_, &NoteJournal::failed, this,
        [this](const QString &reason) {
            if (phase_ != Phase::Ended)
                Report(QString("Cannot write the journal \"%1\". %2\nUntil it can be written "
                               "again, a crash loses what was typed since the note was last "
                               "saved.")
                           .arg(journal_->Path(), reason));
        },
        Qt::QueuedConnection);
    // The note's bytes are gone from where the journal would copy them.
    connect(journal_, &NoteJournal::baseLost, this, [this] {
        journal_->Start(notesPath_, {FileIdentity{}, encoding_, breaks_}, {{0, 0, buffer_->Text()}},
                        edits_);
    });
    reader_->SetPaths(notesPath_, journalPath);
    const bool noteExists = QFileInfo::exists(notesPath_);
    phase_ = noteExists || reader_->JournalDue() ? Phase::Opening : Phase::Open;
    memoIsDisk_ = !noteExists; // both empty
    UpdateEditable();
    reader_->Watch();
}

void NoteStore::CarryLeftNote()
{
    QString reason;
    switch (CarryNoteAcross(place_.leftBehind, folder_, reason)) {
    case CarryOutcome::NothingToCarry:
        break;
    case CarryOutcome::Carried:
        Tell(QString("The note could not be kept beside the program, so it was copied to \"%1\".")
                 .arg(QDir::cleanPath(folder_)));
        break;
    case CarryOutcome::Failed:
        // Shown from where it lies, where nothing typed could be kept.
        Report(reason);
        notesPath_ = QDir(place_.leftBehind).filePath("npad.txt");
        settingsPath_ = QDir(place_.leftBehind).filePath("npad.ini");
        readOnly_ = true;
        break;
    }
}

FontSettings NoteStore::ReadFontSettings()
{
    font_ = ReadFontSettingsFile(settingsPath_);
    return font_;
}

void NoteStore::FontChosen(const FontSettings &font)
{
    font_ = font;
    tracker_.FontChanged = true;
}

bool NoteStore::WriteFontSettings()
{
    const bool ok = WriteFontSettingsFile(settingsPath_, font_);
    if (!ok)
        Report("Unable to write to " + settingsPath_);
    return ok;
}

void NoteStore::StartFirstRead()
{
    if (phase_ != Phase::Opening)
        return;
    phase_ = Phase::Reading;
    reader_->Read(std::nullopt, [this](NoteReading &r) { FinishFirstRead(r); });
}

void NoteStore::FinishFirstRead(NoteReading &r)
{
    if (phase_ != Phase::Reading)
        return; // ended meanwhile
    phase_ = Phase::Open;
    const auto done = [this](Read read) {
        emit firstReadDone(read != Read::Failed);
        // A show that waited for it goes on.
        if (loadDone_ && read != Read::Failed)
            ContinueLoad();
        else if (loadDone_)
            FinishLoad(false);
    };
    if (!r.missing) {
        TakeRead(r, false, true, done);
        return;
    }
    if (r.journal)
        Recover(*r.journal); // over no note
    done(Read::Taken);
}

void NoteStore::Recover(const LeftJournal &left)
{
    using Do = RecoveryPlan::Step;
    const RecoveryPlan &plan = left.plan;
    if (!left.own || plan.step == Do::SetAside) {
        SetJournalAside(left.own);
        return;
    }
    if (plan.step == Do::Discard) {
        ::unlink(QFile::encodeName(journal_->Path()).constData()); // nothing typed is missing
        return;
    }
    if (plan.step == Do::Replay) {
        PutInBuffer({plan.text}, false, buffer_->Held());
        memoIsDisk_ = false;
        // The journal goes on over the note file as it is, as if never stopped.
        journal_->Start(notesPath_, {disk_, encoding_, breaks_}, plan.rest, edits_);
        // Unsaved, so that the autosave writes it.
        StartTracking();
        SetDirty(true);
        Tell("The notepad was not closed properly. What was typed after its last save was "
             "recovered.");
        return;
    }
    // The note file has changed since (another program, or a copy running
    // elsewhere): the text as it was goes to a file of its own.
    QString path, failures;
    if (!KeepUnsaved(plan.text, plan.encoding, plan.breaks, unsavedFolders_, path, failures)) {
        Report(failures);
        SetJournalAside(true);
        return;
    }
    ::unlink(QFile::encodeName(journal_->Path()).constData());
    Tell(QString("The notepad was not closed properly, and the note file has changed since. What "
                 "was typed after its last save was kept in \"%1\".")
             .arg(path));
}

void NoteStore::SetJournalAside(bool own)
{
    const QString stem =
        journal_->Path() + ".bad-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
    QString aside = stem;
    for (int n = 2; !RenameWithoutReplacing(journal_->Path(), aside) && errno == EEXIST && n < 100;
         ++n)
        aside = QString("%1-%2").arg(stem).arg(n);
    const QString why = own ? "what was typed after its last save could not be read"
                            : "its journal is not a file of this user's alone, so what it holds "
                              "was not used";
    if (QFileInfo::exists(journal_->Path()) || QFileInfo(journal_->Path()).isSymLink()) {
        // Never deleted unread: this run keeps no journal instead.
        journalKept_ = true;
        Report(QString("The notepad was not closed properly, and %1. The journal \"%2\" was "
                       "left where it is.")
                   .arg(why, journal_->Path()));
        return;
    }
    Tell(QString("The notepad was not closed properly, %1 %2. It was kept as \"%3\".")
             .arg(own ? "and" : "but", why, aside));
}

void NoteStore::LoadNotes(std::function<void(bool)> done)
{
    if (phase_ == Phase::Ended) {
        done(false);
        return;
    }
    const bool underWay = bool(loadDone_);
    loadDone_ = std::move(done);
    if (underWay)
        return;
    // What the user does in the memo waits for the note as read.
    buffer_->HoldInput(true);
    if (FirstReadPending())
        StartFirstRead(); // goes on once it is done
    else
        ContinueLoad();
}

void NoteStore::ContinueLoad()
{
    buffer_->Release(); // the first reading's text, held until now
    if (!QFileInfo::exists(notesPath_)) {
        disk_ = {};
        memoIsDisk_ = buffer_->Size() == 0;
        FinishLoad(true);
        return;
    }
    // What the buffer holds needs no second reading while the file is what
    // it was; unsaved text (recovered) is the save step's to weigh against it.
    if (tracker_.Dirty || (!failedState_ && memoIsDisk_ && StateOf(notesPath_).SameState(disk_))) {
        FinishLoad(true);
        return;
    }
    Reread(!failedState_ && memoIsDisk_, false,
           [this](Read read) { FinishLoad(read != Read::Failed); });
}

void NoteStore::FinishLoad(bool ok)
{
    if (ok) {
        UpdateEditable();
        tracker_.Loaded();
    }
    if (const auto done = std::exchange(loadDone_, {}))
        done(ok); // the show puts the caret in its place, before what was held
    buffer_->HoldInput(false);
}

void NoteStore::Reread(bool check, bool quietly, std::function<void(Read)> then)
{
    // What the user does meanwhile waits, and lands in the note as read.
    buffer_->HoldInput(true);
    const auto end = [this, then](Read read) {
        then(read);
        buffer_->HoldInput(false);
        LookAgainIfChanged();
    };
    const std::optional<FileIdentity> known = check ? std::optional(disk_) : std::nullopt;
    reader_->Read(known, [this, quietly, end, edits = edits_](NoteReading &r) {
        // Changed, or ended, meanwhile: looked at again, if still shown.
        if (phase_ == Phase::Ended || edits_ != edits || r.missing) {
            recheck_ = true;
            end(Read::Unchanged);
        } else if (r.unchanged) {
            disk_ = r.disk;
            end(Read::Unchanged);
        } else {
            TakeRead(r, quietly, false, end);
        }
    });
}

void NoteStore::TakeRead(NoteReading &r, bool quietly, bool hold, std::function<void(Read)> then)
{
    if (!r.failure.isEmpty()) {
        ReadFailed(r.failure);
        then(Read::Failed);
        return;
    }
    disk_ = r.disk;
    failedState_.reset();
    encoding_ = r.encoding;
    breaks_ = r.breaks;
    const auto taken = [this, journal = r.journal, then](bool) {
        memoIsDisk_ = true;
        journal_->Remove(); // the buffer holds the file
        if (journal)
            Recover(*journal);
        then(Read::Taken);
    };
    if (hold && buffer_->Size() == 0 && !buffer_->Coming()) {
        // Held until the first show: a memo's blocks cost several times the
        // text, which may never be needed.
        PutInBuffer(std::move(r.text), quietly, true);
        taken(true);
        return;
    }
    auto pieces = std::make_shared<QStringList>(std::move(r.text));
    buffer_->Compare(*pieces, [this, pieces, quietly, hold, taken](bool same) {
        if (!same)
            PutInBuffer(std::move(*pieces), quietly, hold || buffer_->Held());
        taken(true);
    });
}

void NoteStore::PutInBuffer(QStringList pieces, bool quietly, bool hold)
{
    buffer_->Replace(std::move(pieces), hold);
    // One change, told as no edit: the journal does not need it.
    ++edits_;
    writer_->Changed(0, edits_);
    memoIsDisk_ = false;
    if (!quietly && tracker_.Memo1Change(NowMs()))
        timer1_->start();
}

void NoteStore::ReadFailed(const QString &reason)
{
    // What the buffer holds is not the note: typing there would be lost,
    // and nothing may be written over the file.
    failedState_ = StateOf(notesPath_);
    UpdateEditable();
    Report(QString("Cannot open file \"%1\". %2").arg(notesPath_, reason));
}

void NoteStore::LookAgainIfChanged()
{
    if (recheck_ && boxes_ == 0 && steps_ == 0 && !writer_->Writing() && !reader_->Busy()) {
        recheck_ = false;
        QTimer::singleShot(0, this, &NoteStore::DiskChanged);
    }
}

void NoteStore::UpdateEditable()
{
    buffer_->SetEditable(Editable());
}

void NoteStore::DiskChanged()
{
    reader_->Watch();
    // A hidden notepad reads the file when it is shown.
    if (!shown_ || phase_ != Phase::Open)
        return;
    // Looked at once the box, the step, the write or the reading has ended:
    // each state of a file that can't be read is reported once, one box at
    // a time.
    if (boxes_ > 0 || steps_ > 0 || writer_->Writing() || reader_->Busy()) {
        recheck_ = true;
        return;
    }
    // Unsaved text is the save step's to weigh against the file.
    if (tracker_.Dirty)
        return;
    const bool exists = QFileInfo::exists(notesPath_);
    if (!exists && !failedState_) {
        // The buffer's text is the note now, with no file to hold it.
        if (disk_.exists)
            memoIsDisk_ = false;
        disk_ = {};
        return;
    }
    if (failedState_) {
        // A note that could not be read is gone, or another has come.
        if (exists && StateOf(notesPath_).SameState(*failedState_))
            return;
    } else if (!exists || !tracker_.TrackChanges || StateOf(notesPath_).SameState(disk_)) {
        return; // its bytes, if its state changed, are looked at beside the window
    }
    if (!tracker_.TrackChanges) {
        emit readableAgain(); // the first show's load, tried again
        return;
    }
    if (!exists) {
        // The buffer's text is the newest there is.
        failedState_.reset();
        disk_ = {};
        memoIsDisk_ = false;
        UpdateEditable();
        return;
    }
    Reread(!failedState_, true, [this](Read read) {
        if (read == Read::Taken) {
            UpdateEditable();
            tracker_.Loaded();
        }
    });
}

void NoteStore::TextChanged(const MemoChange &change)
{
    ++edits_;
    writer_->Changed(change.position, edits_);
    const bool fromDisk = std::exchange(memoIsDisk_, false);
    if (phase_ != Phase::Ended && !journalKept_ && !reader_->JournalDue())
        Record(change, fromDisk);
    if (tracker_.Memo1Change(NowMs()))
        timer1_->start();
}

void NoteStore::Record(const MemoChange &change, bool overNote)
{
    const JournalEdit edit{change.position, change.removed, change.inserted};
    if (journal_->Started())
        journal_->Append(edits_, edit);
    // Over the note file as last read or written, where it still lies: its
    // bytes are copied in while the file holds them, else the journal starts
    // again over the whole text (baseLost).
    else if (overNote && StateOf(notesPath_).exists == disk_.exists)
        journal_->Start(notesPath_, {disk_, encoding_, breaks_}, {edit}, edits_);
    else // over no file: the whole text
        journal_->Start(notesPath_, {FileIdentity{}, encoding_, breaks_}, {{0, 0, buffer_->Text()}},
                        edits_);
}

void NoteStore::SetDirty(bool flag)
{
    if (tracker_.SetDirty(flag, NowMs()))
        timer1_->start();
}

void NoteStore::StopCountdown()
{
    timer1_->stop();
    tracker_.CountdownEnded();
}

void NoteStore::Timer1Timer()
{
    StopCountdown();
    // A tick inside a box of a save step: that step writes. A write still in
    // flight starts the next countdown when it ends.
    if (phase_ == Phase::Ended || steps_ > 0 || writer_->Writing())
        return;
    tracker_.SaveSettings([this] { return WriteFontSettings(); });
    if (tracker_.Dirty)
        StartWrite(false);
}

void NoteStore::StartWrite(bool replaceChanged)
{
    NoteWrite w;
    w.path = notesPath_;
    w.encoding = encoding_;
    w.breaks = breaks_;
    w.disk = disk_;
    w.replaceChanged = replaceChanged;
    writer_->Write(std::move(w));
}

void NoteStore::OnWritten()
{
    const std::optional<NoteWrite> w = writer_->Take();
    if (!w)
        return; // taken by a step that waited for it
    if (w->outcome == NoteWrite::Outcome::Written) {
        Adopt(*w);
        // Changes made while it wrote are due in their turn.
        if (tracker_.Dirty && !tracker_.CountdownRunning())
            SetDirty(true);
        LookAgainIfChanged();
        return;
    }
    const Step step(*this);
    QString keptIn;
    const Resolved resolved = Resolve(*w, keptIn);
    if (resolved == Resolved::Written || resolved == Resolved::Kept)
        tracker_.TextWritten(false);
}

void NoteStore::TakeOverWrite()
{
    // A write that failed, or met another program's change, is tried again
    // by the step that takes it over: its outcome is that step's to report.
    if (const std::optional<NoteWrite> w = writer_->Take();
        w && w->outcome == NoteWrite::Outcome::Written)
        Adopt(*w);
    LookAgainIfChanged(); // what the watcher saw meanwhile
}

void NoteStore::Adopt(const NoteWrite &w)
{
    disk_ = w.disk;
    encoding_ = w.encoding;
    const bool behind = edits_ != w.edits; // changed since its text was taken
    tracker_.TextWritten(behind);
    memoIsDisk_ = !behind;
    if (behind)
        journal_->Rebase(notesPath_, {disk_, encoding_, breaks_}, w.edits);
    else
        journal_->Remove();
    reader_->Watch();
}

NoteStore::Resolved NoteStore::Resolve(const NoteWrite &w, QString &keptIn)
{
    if (w.outcome == NoteWrite::Outcome::Written) {
        Adopt(w);
        return Resolved::Written;
    }
    // After a failure or a question put off, the countdown waits for the
    // next change: no box comes back by itself.
    StopCountdown();
    if (w.outcome == NoteWrite::Outcome::Failed) {
        Report(CannotCreateText(w.path, w.reason));
        return Resolved::Failed;
    }
    switch (Ask(kChangedOutside)) {
    case NoteUser::Answer::Yes: {
        StartWrite(true);
        if (const std::optional<NoteWrite> again = writer_->Take())
            return Resolve(*again, keptIn);
        return tracker_.Dirty ? Resolved::Failed : Resolved::Written;
    }
    case NoteUser::Answer::No:
        return KeepTextAndShowFile(keptIn) ? Resolved::Kept : Resolved::Failed;
    case NoteUser::Answer::Cancel:
        break;
    }
    return Resolved::PutOff;
}

bool NoteStore::WriteText(Resolved &last, QString &keptIn)
{
    if (phase_ == Phase::Ended)
        return false;
    // What changed while the write was waited for (a drop: only keys and
    // clicks are held back) is written in its turn, before the step ends.
    for (;;) {
        StartWrite(false);
        const std::optional<NoteWrite> w = writer_->Take();
        if (!w)
            return !tracker_.Dirty; // taken by the end's step, run while this one waited
        last = Resolve(*w, keptIn);
        if (last != Resolved::Written)
            return last == Resolved::Kept;
        if (!tracker_.Dirty || phase_ == Phase::Ended)
            return true;
    }
}

bool NoteStore::CloseQuery()
{
    if (phase_ == Phase::Ended)
        return true;
    TakeOverWrite();
    if (phase_ == Phase::Ended)
        return true; // the program ended meanwhile: nothing more is written
    const Step step(*this);
    Resolved last = Resolved::Written;
    QString keptIn;
    return tracker_.CloseQuery([this] { return WriteFontSettings(); },
                               [&] { return WriteText(last, keptIn); });
}

ExitReport NoteStore::SaveBeforeExit(const std::function<bool()> &mayAsk)
{
    if (phase_ == Phase::Ended)
        return {};
    const QScopedValueRollback asking(mayAsk_, mayAsk);
    // Nothing may still be writing once the program has let go of the folder.
    TakeOverWrite();
    if (!tracker_.HasUnsavedChanges())
        return {};
    const Step step(*this);
    Resolved last = Resolved::Written;
    QString keptIn;
    const auto writeText = [&] { return WriteText(last, keptIn); };
    // Only the note keeps the program open; a lost font setting does not.
    bool written = tracker_.CloseQuery([this] { return WriteFontSettings(); }, writeText);
    // Text a journal's recovery brought while a box of this step was open
    // is unsaved too; the font's failure is told once.
    if (written && phase_ != Phase::Ended && tracker_.TrackChanges && tracker_.Dirty)
        written = tracker_.SaveNotes([] { return false; }, writeText);
    if (!written) {
        if (phase_ == Phase::Ended)
            return {}; // ended meanwhile, from a loop a box of this step ran
        if (last == Resolved::PutOff)
            return {ExitReport::Outcome::Stay, {}};
        return KeepUnsavedOnExit();
    }
    if (keptIn.isEmpty())
        return {};
    return {ExitReport::Outcome::Kept,
            QString("the note file was changed by another program; the unsaved text was kept in "
                    "\"%1\"")
                .arg(keptIn)};
}

bool NoteStore::Saving() const
{
    return steps_ > 0 || writer_->Waiting();
}

void NoteStore::End(ExitReport::Outcome last)
{
    if (phase_ == Phase::Ended)
        return;
    phase_ = Phase::Ended;
    // Text kept nowhere stays in the journal, for the next start.
    if (last != ExitReport::Outcome::Lost)
        journal_->Remove();
}

ExitReport NoteStore::KeepUnsavedOnExit()
{
    QString path = UnsavedNotePath(unsavedFolders_.value(0), QDateTime::currentDateTime());
    if (Present()
        && Ask(QString("The note could not be saved.\nKeep the unsaved text in \"%1\" and quit?")
                   .arg(path))
               != NoteUser::Answer::Yes)
        return {ExitReport::Outcome::Stay, {}};
    const QString asked = path;
    QString failures;
    if (KeepUnsaved(buffer_->Text(), encoding_, breaks_, unsavedFolders_, path, failures)) {
        if (path != asked)
            Tell(QString("The unsaved text was kept in \"%1\".").arg(path));
        return {
            ExitReport::Outcome::Kept,
            QString("the note could not be saved; the unsaved text was kept in \"%1\"").arg(path)};
    }
    const ExitReport lost{ExitReport::Outcome::Lost,
                          "the note could not be saved, and its unsaved text could not be kept "
                          "anywhere:\n"
                              + failures};
    if (!Present())
        return lost;
    Report(failures);
    if (Ask("Quit and lose the unsaved text?") != NoteUser::Answer::Yes)
        return {ExitReport::Outcome::Stay, {}};
    return lost;
}

bool NoteStore::KeepTextAndShowFile(QString &keptIn)
{
    QString path, failures;
    if (!KeepUnsaved(buffer_->Text(), encoding_, breaks_, unsavedFolders_, path, failures)) {
        Report(failures);
        return false;
    }
    keptIn = path;
    if (!Present())
        return true; // the program is ending
    // The other program's note is shown once read; what is typed meanwhile
    // waits for it.
    Reread(false, true, [](Read) {});
    Tell(QString("The text you typed was kept in \"%1\".").arg(path));
    return true;
}

QString NoteStore::SaveReport()
{
    if (writer_->Writing())
        OnWritten();
    return QString::fromStdString(tracker_.SaveReport(NowMs()));
}

void NoteStore::WriteCopy(const QString &path, std::function<void(bool)> done)
{
    writer_->Export(path, encoding_, breaks_,
                    [this, path, done](bool written, const QString &reason) {
                        if (!written)
                            Report(CannotCreateText(path, reason));
                        done(written);
                    });
}

void NoteStore::FinishTaking()
{
    writer_->FinishTaking();
}

void NoteStore::SetMemoryRelease(std::function<void()> release)
{
    buffer_->SetMemoryRelease(release);
    reader_->SetMemoryRelease(release);
    writer_->SetMemoryRelease(release);
}

NoteUser::Answer NoteStore::Ask(const QString &question)
{
    NoteUser::Answer answer = NoteUser::Answer::No;
    {
        const QScopedValueRollback asking(boxes_, boxes_ + 1);
        if (Present())
            answer = user_->Ask(question);
    }
    LookAgainIfChanged();
    return answer;
}

void NoteStore::Tell(const QString &text)
{
    {
        const QScopedValueRollback telling(boxes_, boxes_ + 1);
        if (Present())
            user_->Tell(text);
    }
    LookAgainIfChanged();
}

void NoteStore::Report(const QString &text)
{
    {
        const QScopedValueRollback reporting(boxes_, boxes_ + 1);
        if (Present())
            user_->Error(text);
    }
    LookAgainIfChanged();
}
