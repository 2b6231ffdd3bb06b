#include "notestore.h"

#include "notejournal.h"
#include "notereader.h"
#include "notewriter.h"
#include "savestep.h"
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

} // namespace

NoteStore::NoteStore(const NotePlace &place, std::unique_ptr<NoteUser> user,
                     const QStringList &unsavedFolders, QObject *parent)
    : QObject(parent), place_(place), asker_(std::move(user)), unsavedFolders_(unsavedFolders),
      buffer_(new NoteBuffer(this)), reader_(new NoteReader(this)),
      writer_(new NoteWriter(*buffer_, this)), timer1_(new QTimer(this))
{
    timer1_->setSingleShot(true);
    timer1_->setInterval(NoteTracker::kAutosaveMs);
    connect(timer1_, &QTimer::timeout, this, &NoteStore::Timer1Timer);
    asker_.SetAfterBox([this] { LookAgainIfChanged(); });
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
    const NoteFiles files = OpenNoteFiles(place_);
    folder_ = files.folder;
    notesPath_ = files.note;
    settingsPath_ = files.settings;
    readOnly_ = files.readOnly;
    if (!files.notice.isEmpty())
        asker_.Tell(files.notice);
    if (!files.failure.isEmpty())
        asker_.Report(files.failure);
    const QString journalPath = QFileInfo(notesPath_).absolutePath() + "/npad.journal";
    journal_ = new NoteJournal(journalPath, this);
    // Told once the keystroke that met it is over: never a box inside an edit.
    connect(
        journal_, &NoteJournal::failed, this,
        [this](const QString &message) {
            if (phase_ != Phase::Ended)
                asker_.Report(message);
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
        asker_.Report("Unable to write to " + settingsPath_);
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
    const RecoveryDone done =
        CarryOutRecovery(left.plan, left.own, journal_->Path(), unsavedFolders_);
    journalKept_ = journalKept_ || done.kept;
    if (done.replay) {
        PutInBuffer({left.plan.text}, false, buffer_->Held());
        memoIsDisk_ = false;
        // The journal goes on over the note file as it is, as if never stopped.
        journal_->Start(notesPath_, {disk_, encoding_, breaks_}, left.plan.rest, edits_);
        // Unsaved, so that the autosave writes it.
        StartTracking();
        SetDirty(true);
    }
    for (const RecoveryDone::Message &m : done.messages) {
        if (m.failure)
            asker_.Report(m.text);
        else
            asker_.Tell(m.text);
    }
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
    Reread(!failedState_ && memoIsDisk_, false, false, // held by the load
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

void NoteStore::Reread(bool check, bool quietly, bool holdInput, std::function<void(Read)> then)
{
    // One at a time: the watcher looks again once it is over.
    ++rereads_;
    // What the user does meanwhile waits, where asked, and lands in the note
    // as read.
    if (holdInput)
        buffer_->HoldInput(true);
    const auto end = [this, then, holdInput](Read read) {
        then(read);
        if (holdInput)
            buffer_->HoldInput(false);
        --rereads_;
        LookAgainIfChanged();
    };
    const std::optional<FileIdentity> known = check ? std::optional(disk_) : std::nullopt;
    reader_->Read(known, [this, quietly, end, edits = edits_](NoteReading &r) {
        if (phase_ == Phase::Ended || edits_ != edits || r.missing) {
            Discard(bool(r.journal)); // typed, or ended, meanwhile
            end(Read::Unchanged);
        } else if (r.unchanged) {
            disk_ = r.disk;
            end(Read::Unchanged);
        } else {
            TakeRead(r, quietly, false, end);
        }
    });
}

void NoteStore::Discard(bool withJournal)
{
    recheck_ = true; // looked at again, if still shown
    if (withJournal)
        reader_->JournalStillDue(); // read with a later reading
}

void NoteStore::TakeRead(NoteReading &r, bool quietly, bool hold, std::function<void(Read)> then)
{
    if (!r.failure.isEmpty()) {
        ReadFailed(r.failure);
        then(Read::Failed);
        return;
    }
    // The file as read is the note's once its text is the buffer's.
    const auto taken = [this, r = std::as_const(r), then] {
        disk_ = r.disk;
        failedState_.reset();
        encoding_ = r.encoding;
        breaks_ = r.breaks;
        memoIsDisk_ = true;
        journal_->Remove(); // the buffer holds the file
        if (r.journal)
            Recover(*r.journal);
        then(Read::Taken);
    };
    if (hold && buffer_->Size() == 0 && !buffer_->Coming()) {
        // Held until the first show: a memo's blocks cost several times the
        // text, which may never be needed.
        PutInBuffer(std::move(r.text), quietly, true);
        taken();
        return;
    }
    auto pieces = std::make_shared<QStringList>(std::move(r.text));
    buffer_->Compare(*pieces, [this, pieces, quietly, hold, taken, then,
                               journal = r.journal](NoteBuffer::Likeness likeness) {
        if (likeness == NoteBuffer::Likeness::Changed) {
            Discard(bool(journal)); // typed, or read again, meanwhile
            then(Read::Unchanged);
            return;
        }
        if (likeness == NoteBuffer::Likeness::Differs)
            PutInBuffer(std::move(*pieces), quietly, hold || buffer_->Held());
        taken();
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
    asker_.Report(QString("Cannot open file \"%1\". %2").arg(notesPath_, reason));
}

void NoteStore::LookAgainIfChanged()
{
    if (recheck_ && !asker_.BoxOpen() && steps_ == 0 && !writer_->Writing() && rereads_ == 0) {
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
    if (asker_.BoxOpen() || steps_ > 0 || writer_->Writing() || rereads_ > 0) {
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
    Reread(!failedState_, true, false, [this, edits = edits_](Read read) {
        if (read == Read::Taken) {
            UpdateEditable();
            tracker_.Loaded();
            if (edits_ != edits) // its text went in
                emit replacedFromDisk();
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
    if (SaveStep(*this).Take(*w))
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

bool NoteStore::CloseQuery()
{
    if (phase_ == Phase::Ended)
        return true;
    TakeOverWrite();
    if (phase_ == Phase::Ended)
        return true; // the program ended meanwhile: nothing more is written
    return SaveStep(*this).Close();
}

ExitReport NoteStore::SaveBeforeExit(const std::function<bool()> &mayAsk)
{
    if (phase_ == Phase::Ended)
        return {};
    const NoteAsker::Gate gate(asker_, mayAsk);
    // What was typed while the note came in, and is not in yet; where the
    // note itself has not been read, nothing typed can go anywhere.
    if (phase_ == Phase::Open)
        buffer_->LandInput();
    // Nothing may still be writing once the program has let go of the folder.
    TakeOverWrite();
    if (!tracker_.HasUnsavedChanges())
        return {};
    return SaveStep(*this).Exit();
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
                            asker_.Report(CannotCreateText(path, reason));
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
