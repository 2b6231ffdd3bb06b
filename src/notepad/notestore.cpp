#include "notestore.h"

#include "notejournal.h"
#include "notereader.h"
#include "notewriter.h"
#include "unsavedtext.h"

#include <QFileInfo>
#include <QTimer>

NoteStore::NoteStore(const NotePlace &place, std::unique_ptr<NoteUser> user,
                     const QStringList &unsavedFolders, QObject *parent)
    : QObject(parent), place_(place), asker_(std::move(user)), unsavedFolders_(unsavedFolders),
      buffer_(new NoteBuffer(this)), reader_(new NoteReader(this)),
      writer_(new NoteWriter(*buffer_, this))
{
    asker_.SetAfterBox([this] { LookAgainIfChanged(); });
    readWait_.setSingleShot(true);
    connect(&readWait_, &QTimer::timeout, this, [this] { AfterLoad(false); });
    steps_.SetAfterStep([this] { LookAgainIfChanged(); });
    connect(buffer_, &NoteBuffer::edited, this, [this] { steps_.Count().Changed(); });
    connect(reader_, &NoteReader::changed, this, &NoteStore::DiskChanged);
    connect(writer_, &NoteWriter::written, this, [this] {
        if (const std::optional<NoteWrite> w = writer_->Take())
            steps_.Written(*w);
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
        asker_.Tell(files.notice, NoteAsker::Origin::ByItself);
    if (!files.failure.isEmpty())
        asker_.Report(files.failure, NoteAsker::Origin::ByItself);
    journal_ =
        new NoteJournal(QFileInfo(notesPath_).absolutePath() + "/npad.journal", notesPath_, this);
    journal_->Follow(*buffer_);
    // Told once the keystroke that met it is over: never a box inside an edit.
    connect(
        journal_, &NoteJournal::failed, this,
        [this](const QString &message) {
            if (phase_ != Phase::Ended)
                asker_.Report(message, NoteAsker::Origin::ByItself);
        },
        Qt::QueuedConnection);
    reader_->SetNote(notesPath_, journal_);
    const bool noteExists = QFileInfo::exists(notesPath_);
    phase_ = noteExists || journal_->LeftDue() ? Phase::Opening : Phase::Open;
    if (!noteExists) // both empty
        journal_->NoteHolds(NoteState());
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

QString NoteStore::WriteSettings()
{
    bool failed = false;
    tracker_.SaveSettings([&] {
        failed = !WriteFontSettingsFile(settingsPath_, font_);
        return !failed;
    });
    return failed ? "Unable to write to " + settingsPath_ : QString();
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
    const NoteJournal::Recovered done = journal_->Recover(left, unsavedFolders_);
    if (done.text) {
        PutInBuffer({*done.text}, false, buffer_->Held());
        journal_->Replayed();
        // Unsaved, so that the autosave writes it.
        StartTracking();
        SetDirty(true);
    }
    for (const RecoveryDone::Message &m : done.messages) {
        if (m.failure)
            asker_.Report(m.text, NoteAsker::Origin::ByItself);
        else
            asker_.Tell(m.text, NoteAsker::Origin::ByItself);
    }
}

void NoteStore::LoadNotes(std::function<void(bool)> done, NoteAsker::Origin origin)
{
    if (phase_ == Phase::Ended) {
        done(false);
        return;
    }
    const bool underWay = bool(loadDone_);
    loadDone_ = std::move(done);
    loadOrigin_ = origin;
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
        journal_->NoteHolds(buffer_->Size() == 0 ? std::optional(NoteState()) : std::nullopt);
        FinishLoad(true);
        return;
    }
    // What the buffer holds needs no second reading while the file is what
    // it was; unsaved text (recovered) is the save step's to weigh against it.
    const bool holds = !failedState_ && journal_->NoteHoldsText();
    if (tracker_.Dirty || (holds && StateOf(notesPath_).SameState(disk_))) {
        FinishLoad(true);
        return;
    }
    Reread(holds, false, false, // held by the load
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
    AfterLoad(ok);
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
    reader_->Read(known, [this, quietly, end, changes = buffer_->Changes()](NoteReading &r) {
        if (phase_ == Phase::Ended || buffer_->Changes() != changes || r.missing) {
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
        journal_->LeftStillDue(); // read with a later reading
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
        journal_->Remove(); // the buffer holds the file
        journal_->NoteHolds(NoteState());
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
    // One change, told as no edit: the journal does not need it.
    buffer_->Replace(std::move(pieces), hold);
    if (!quietly)
        steps_.Count().Changed();
}

void NoteStore::ReadFailed(const QString &reason)
{
    // What the buffer holds is not the note: typing there would be lost,
    // and nothing may be written over the file.
    failedState_ = StateOf(notesPath_);
    UpdateEditable();
    // The show's own reading answers the show; the watcher's came by itself.
    asker_.Report(QString("Cannot open file \"%1\". %2").arg(notesPath_, reason),
                  loadDone_ ? loadOrigin_ : NoteAsker::Origin::ByItself);
}

void NoteStore::LookAgainIfChanged()
{
    if (recheck_ && asker_.Idle() && !steps_.Active() && !writer_->Writing() && rereads_ == 0) {
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
    if (!asker_.Idle() || steps_.Active() || writer_->Writing() || rereads_ > 0) {
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
            journal_->NoteHolds(std::nullopt);
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
        journal_->NoteHolds(std::nullopt);
        UpdateEditable();
        return;
    }
    Reread(!failedState_, true, false, [this, changes = buffer_->Changes()](Read read) {
        if (read == Read::Taken) {
            UpdateEditable();
            tracker_.Loaded();
            if (buffer_->Changes() != changes) // its text went in
                emit replacedFromDisk();
        }
    });
}

JournalHeader NoteStore::NoteState() const
{
    return {disk_, encoding_, breaks_};
}

void NoteStore::SetDirty(bool flag)
{
    steps_.Count().SetDirty(flag);
}

void NoteStore::Timer1Timer()
{
    steps_.Autosave();
}

void NoteStore::Write(bool replaceChanged)
{
    NoteWrite w;
    w.path = notesPath_;
    w.encoding = encoding_;
    w.breaks = breaks_;
    w.disk = disk_;
    w.replaceChanged = replaceChanged;
    writer_->Write(std::move(w));
}

bool NoteStore::Writing() const
{
    return writer_->Writing();
}

bool NoteStore::FinishWrite(int ms)
{
    return writer_->FinishSoon(ms);
}

void NoteStore::Adopt(const NoteWrite &w)
{
    disk_ = w.disk;
    encoding_ = w.encoding;
    tracker_.TextWritten(buffer_->Changes() != w.edits); // changed since its text was taken
    journal_->Written(NoteState(), w.edits);
    reader_->Watch();
}

bool NoteStore::KeepText(QString &path, QString &failures)
{
    return KeepUnsaved(buffer_->Text(), encoding_, breaks_, unsavedFolders_, path, failures);
}

QString NoteStore::UnsavedPath() const
{
    return UnsavedNotePath(unsavedFolders_.value(0), QDateTime::currentDateTime());
}

void NoteStore::ShowTheirs()
{
    // What is typed meanwhile waits for their text.
    Reread(false, true, true, [](Read) {});
}

bool NoteStore::CloseQuery()
{
    // The program ended meanwhile: nothing more is written.
    return phase_ == Phase::Ended
           || steps_.RunAndWait(SaveStep::Kind::Close).outcome != ExitReport::Outcome::Stay
           || phase_ == Phase::Ended;
}

ExitReport NoteStore::SaveBeforeExit(const std::function<bool()> &mayAsk)
{
    const NoteAsker::Gate gate(asker_, mayAsk);
    std::optional<ExitReport> report;
    Exit([&report](const ExitReport &r) { report = r; });
    steps_.Wait([&report] { return report.has_value(); });
    return *report;
}

void NoteStore::Exit(std::function<void(const ExitReport &)> done)
{
    if (phase_ == Phase::Ended) {
        done({});
        return;
    }
    // What was typed while the note is first read goes into it once it is
    // in: the end waits for it a short while, else keeps it on its own.
    if (phase_ == Phase::Reading && loadDone_ && buffer_->HoldsInput()) {
        afterLoad_.push_back([this, done](bool read) { read ? Exit(done) : KeepTyped(done); });
        if (!readWait_.isActive())
            readWait_.start(kReadWaitMs);
        return;
    }
    LandInput();
    steps_.Run(SaveStep::Kind::Exit, std::move(done));
}

void NoteStore::AfterLoad(bool read)
{
    readWait_.stop();
    for (const auto &then : std::exchange(afterLoad_, {}))
        then(read);
}

void NoteStore::LandInput()
{
    // What was typed while the note came in, and is not in yet; where the
    // note itself has not been read, nothing typed can go anywhere.
    if (phase_ == Phase::Open)
        buffer_->LandInput();
}

void NoteStore::KeepTyped(const std::function<void(const ExitReport &)> &done)
{
    buffer_->LandInput(); // into no note: what was typed, alone
    QString path, failures;
    if (KeepText(path, failures))
        done({ExitReport::Outcome::Kept,
              QString("the note could not be read in time; what was typed meanwhile was kept in "
                      "\"%1\"")
                  .arg(path)});
    else
        done({ExitReport::Outcome::Lost, "the note could not be read in time, and what was typed "
                                         "meanwhile could not be kept anywhere:\n"
                                             + failures});
}

void NoteStore::End(ExitReport::Outcome last)
{
    if (phase_ == Phase::Ended)
        return;
    phase_ = Phase::Ended;
    // Text kept nowhere stays in the journal, for the next start.
    journal_->End(last == ExitReport::Outcome::Lost);
}

QString NoteStore::SaveReport()
{
    return steps_.Report();
}

void NoteStore::WriteCopy(const QString &path, std::function<void(bool)> done)
{
    writer_->Export(path, encoding_, breaks_,
                    [this, path, done](bool written, const QString &reason) {
                        if (!written)
                            asker_.Report(CannotCreateText(path, reason), NoteAsker::Origin::User);
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
