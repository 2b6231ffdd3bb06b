#include "notestore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QScopedValueRollback>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const char kChangedOutside[] =
    "The note file was changed by another program.\nReplace it with the text in the notepad?";

// Whether the note file is in the state `known` describes, bytes and all.
bool NoteFileIs(const QString &path, FileIdentity known)
{
    struct stat st {};
    const bool exists = ::stat(QFile::encodeName(path).constData(), &st) == 0;
    if (!known.exists)
        return !exists;
    return exists && S_ISREG(st.st_mode) && !ChangedOnDisk(path, known);
}

// A regular file of this user's that no one else may write: what may be
// replayed into the note. Another's could put any text there.
bool OwnFile(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode)
           && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

// A folder for unsaved text. Where anyone may make folders (the temporary
// folder), only a real folder of this user's, open to them alone, will do:
// another user could have put a folder or a link there first.
bool UnsavedFolderReady(const QString &folder, QString &reason)
{
    if (!MakePrivateFolder(folder, reason))
        return false;
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    const QByteArray parent = QFile::encodeName(QFileInfo(QDir::cleanPath(folder)).path());
    struct stat st {};
    struct stat up {};
    if (::stat(parent.constData(), &up) != 0 || !(up.st_mode & S_IWOTH))
        return true;
    // Without the sticky bit, anyone could put another folder in its place.
    if ((up.st_mode & S_ISVTX) && ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && st.st_uid == ::geteuid()
        && ((st.st_mode & 077) == 0 || ::chmod(path.constData(), 0700) == 0))
        return true;
    reason = "The folder is not this user's own.";
    return false;
}

} // namespace

// The memo's text taken for a write a slice at a time, between events, and
// put in the write's queue encoded: a large note is never copied whole,
// and the window never waits for it. A change before what was taken takes
// the text again from the slice it falls in, so that what the write gets
// is the memo's text as it is once the last slice is taken.
class TextTaker : public QObject {
  public:
    TextTaker(std::function<qsizetype()> size, std::function<QString(qsizetype, qsizetype)> slice,
              NoteEncoding encoding, NoteBreaks breaks, std::shared_ptr<WriteQueue> queue,
              std::function<void(NoteEncoding)> taken, QObject *parent)
        : QObject(parent), size_(std::move(size)), slice_(std::move(slice)), encoding_(encoding),
          breaks_(breaks), encoder_(encoding, breaks), queue_(std::move(queue)),
          taken_(std::move(taken))
    {
        // A timer, not a posted call: a loop run from inside a posted call
        // (a box, a wait) takes no older posted call until a new one comes.
        turn_.setSingleShot(true);
        connect(&turn_, &QTimer::timeout, this, &TextTaker::Turn);
    }

    bool Taking() const { return !done_; }

    // The memo changed from `position` on.
    void Changed(qsizetype position)
    {
        // A text taken whole is taken whole again, whatever the change.
        if (done_ || (position >= at_ && !whole_))
            return;
        // The slices before the one `position` falls in are kept.
        std::size_t keep = starts_.size();
        while (keep > 0 && starts_[keep - 1].first > position)
            --keep;
        keep = keep > 0 ? keep - 1 : 0;
        if (keep == 0) // from the first slice, the encoding is chosen again
            encoder_ = NoteEncoder(encoding_, breaks_);
        else
            encoder_.Rewind(keep);
        at_ = keep < starts_.size() ? starts_[keep].first : 0;
        bytesAt_ = keep < starts_.size() ? starts_[keep].second : 0;
        starts_.resize(keep);
    }

    // Takes slices for a few milliseconds, while the write keeps up.
    void Turn() { Take(false); }
    // Takes the rest at once, waiting for the write where it falls behind.
    void TakeAll() { Take(true); }

    void Cancel()
    {
        turn_.stop();
        done_ = true;
        queue_->Cancel();
    }

  private:
    void Take(bool all)
    {
        if (done_)
            return;
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            if (queue_->Waiting() >= kWaitingBytes) {
                if (!all)
                    break;
                queue_->WaitBelow(kWaitingBytes);
            }
            if (queue_->Closed()) { // the write ended without it
                done_ = true;
                return;
            }
            const qsizetype size = size_();
            if (!starts_.empty() && at_ >= size) {
                if (!encoder_.Finish()) {
                    at_ = bytesAt_ = 0; // from the start, in UTF-8
                    starts_.clear();
                    continue;
                }
                done_ = true;
                taken_(encoder_.Encoding());
                queue_->Finish();
                return;
            }
            const bool first = starts_.empty();
            if (first)
                whole_ = NoteEncoder::NeedsWholeText(slice_(0, 2), encoding_);
            qsizetype n = whole_ ? size : std::min(kSlice, size - at_);
            QString text = slice_(at_, n);
            if (at_ + n < size && n > 0 && text.back().isHighSurrogate())
                text += slice_(at_ + n++, 1); // never between the halves of a pair
            QByteArray bytes;
            if (!encoder_.Encode(text, first, bytes)) {
                at_ = bytesAt_ = 0; // from the start, in UTF-8
                starts_.clear();
                continue;
            }
            starts_.emplace_back(at_, bytesAt_);
            const auto length = bytes.size();
            if (!queue_->Put(bytesAt_, std::move(bytes))) {
                done_ = true;
                return;
            }
            bytesAt_ += length;
            at_ += n;
            if (!all && clock.elapsed() >= kTurnMs)
                break;
        }
        // A full queue waits for the write to take some of it.
        turn_.start(queue_->Waiting() < kWaitingBytes ? 0 : 1);
    }

    static constexpr qsizetype kSlice = 256 * 1024;             // characters
    static constexpr qsizetype kWaitingBytes = 8 * 1024 * 1024; // at most, in the queue
    static constexpr int kTurnMs = 4;

    std::function<qsizetype()> size_;
    std::function<QString(qsizetype, qsizetype)> slice_;
    NoteEncoding encoding_;
    NoteBreaks breaks_;
    NoteEncoder encoder_;
    std::shared_ptr<WriteQueue> queue_;
    std::function<void(NoteEncoding)> taken_;
    qsizetype at_ = 0;         // characters taken
    std::int64_t bytesAt_ = 0; // their bytes
    bool done_ = false;
    bool whole_ = false; // as one slice
    QTimer turn_;
    // Where each slice taken begins, in the text and in the bytes.
    std::vector<std::pair<qsizetype, std::int64_t>> starts_;
};

QString SliceOfPieces(const QStringList &pieces, qsizetype first, qsizetype skip, qsizetype from,
                      qsizetype n)
{
    QString text;
    for (qsizetype i = first; i < pieces.size() && text.size() < n; ++i) {
        const QStringView piece = QStringView(pieces.at(i)).sliced(i == first ? skip : 0);
        if (from < piece.size())
            text += piece.sliced(from, std::min(n - text.size(), piece.size() - from));
        from = std::max<qsizetype>(0, from - piece.size());
    }
    return text;
}

QStringList DefaultUnsavedFolders()
{
    QStringList folders{QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)};
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        folders << QDir(runtime).filePath("quorvin");
    // Shared by every user: the name is this user's, and the folder is
    // checked to be theirs before anything goes into it.
    folders << QDir(QDir::tempPath()).filePath(QString("quorvin-%1").arg(::geteuid()));
    return folders;
}

NotePlace DefaultNotePlace()
{
    const QString program = WithSeparator(QCoreApplication::applicationDirPath());
    const bool usable = !program.isEmpty() && !IsProgramsFolder(program, QUORVIN_INSTALL_BINDIR)
                        && CanCreateFilesIn(program);
    return ChooseNotePlace(program, usable,
                           QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

NoteStore::NoteStore(const NotePlace &place, NoteUser &user, MemoAccess memo, QObject *parent)
    : QObject(parent), place_(place), user_(user), memo_(std::move(memo)),
      unsavedFolders_(DefaultUnsavedFolders())
{
    timer1_ = new QTimer(this);
    timer1_->setSingleShot(true);
    timer1_->setInterval(NoteTracker::kAutosaveMs);
    connect(timer1_, &QTimer::timeout, this, &NoteStore::Timer1Timer);
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &NoteStore::DiskChanged);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &NoteStore::DiskChanged);
}

NoteStore::~NoteStore()
{
    // Writes still waiting for text end, leaving their files as they were.
    for (TextTaker *taker : std::as_const(takers_))
        taker->Cancel();
    // Threads whose end was never heard of are this store's to let go.
    for (QThread *copy : std::as_const(copies_)) {
        copy->wait();
        delete copy;
    }
    if (writer_)
        writer_->wait();
    delete writer_;
    if (reader_)
        reader_->wait();
    delete reader_;
    if (rereader_)
        rereader_->wait();
    delete rereader_;
}

void NoteStore::Open()
{
    folder_ = WithSeparator(place_.folder);
    notesPath_ = folder_ + "npad.txt";
    settingsPath_ = folder_ + "npad.ini";
    if (!place_.leftBehind.isEmpty()) {
        QString reason;
        switch (CarryNoteAcross(place_.leftBehind, folder_, reason)) {
        case CarryOutcome::NothingToCarry:
            break;
        case CarryOutcome::Carried:
            Tell(QString("The note could not be kept beside the program, so it was copied to "
                         "\"%1\".")
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
    journal_ = new NoteJournal(QFileInfo(notesPath_).absolutePath() + "/npad.journal", this);
    // Told once the keystroke that met it is over: never a box inside an edit.
    connect(
        journal_, &NoteJournal::failed, this,
        [this](const QString &reason) {
            if (!ended_)
                Report(QString("Cannot write the journal \"%1\". %2\nUntil it can be written "
                               "again, a crash loses what was typed since the note was last "
                               "saved.")
                           .arg(journal_->Path(), reason));
        },
        Qt::QueuedConnection);
    // The note is read once the main window is drawn (ReadFirstTime), so
    // that a large note does not keep it from the screen.
    journalLeft_ = QFileInfo::exists(journal_->Path());
    firstRead_ = QFileInfo::exists(notesPath_) || journalLeft_;
    memoIsDisk_ = !QFileInfo::exists(notesPath_); // both empty
    SetEditable(!readOnly_);
    Watch();
}

FontSettings NoteStore::ReadFontSettings()
{
    QByteArray bytes;
    QString unused;
    if (QFileInfo::exists(settingsPath_))
        ReadWholeFile(settingsPath_, bytes, unused);
    font_ = ::ReadFontSettings(bytes.toStdString());
    return font_;
}

void NoteStore::FontChosen(const FontSettings &font)
{
    font_ = font;
    tracker_.FontChanged = true;
}

bool NoteStore::WriteFontSettings()
{
    QByteArray existing;
    QString reason;
    // Other sections of a file that can't be read would be lost.
    bool ok = !QFileInfo::exists(settingsPath_) || ReadWholeFile(settingsPath_, existing, reason);
    if (ok) {
        const std::string bytes = ::WriteFontSettings(existing.toStdString(), font_);
        ok = MakePrivateFolder(QFileInfo(settingsPath_).path(), reason)
             && WriteFileAtomically(settingsPath_, QByteArray::fromStdString(bytes), reason);
    }
    if (!ok)
        Report("Unable to write to " + settingsPath_);
    return ok;
}

namespace {

// The note read and decoded, its bytes let go as they are decoded: a
// thread's work. A note too large for the memory there is is refused, as
// one that can't be read.
NoteStore::ReadText ReadAndDecode(const QString &path)
{
    NoteStore::ReadText r;
    try {
        NoteRead read;
        read.path = path;
        read.Run();
        r.failure = read.failure;
        r.disk = read.disk;
        if (!r.failure.isEmpty())
            return r;
        const QByteArrayView bytes = read.bytes.View();
        const NoteDecoder decoder(bytes);
        r.encoding = decoder.Encoding();
        r.breaks = decoder.Breaks();
        r.text = DecodeInPieces(decoder, bytes, 1 << 20,
                                [&](qsizetype upTo) { read.bytes.Release(upTo); });
    } catch (const std::bad_alloc &) {
        r = {};
        r.failure = qt_error_string(ENOMEM);
    }
    return r;
}

qsizetype SizeOf(const QStringList &pieces)
{
    qsizetype size = 0;
    for (const QString &piece : pieces)
        size += piece.size();
    return size;
}

} // namespace

void NoteStore::StartFirstRead()
{
    if (!firstRead_ || reader_)
        return;
    if (!QFileInfo::exists(notesPath_)) {
        FinishFirstRead(nullptr);
        return;
    }
    // A large note takes seconds to read and decode: not on the window's thread.
    firstReadResult_ = std::make_shared<ReadText>();
    reader_ = QThread::create([result = firstReadResult_, path = notesPath_, release = release_] {
        *result = ReadAndDecode(path);
        if (release)
            release(); // the file's bytes, let go once decoded
    });
    connect(reader_, &QThread::finished, this, [this] { FinishFirstRead(firstReadResult_.get()); });
    reader_->start();
}

void NoteStore::FinishFirstRead(ReadText *read)
{
    if (reader_) {
        reader_->wait();
        reader_->disconnect(this);
        reader_->deleteLater();
        reader_ = nullptr;
    }
    firstRead_ = false;
    bool ok = true;
    if (read) {
        ok = TakeRead(*read, false, true);
        firstReadResult_.reset();
    } else {
        RecoverJournal(); // over no note file
    }
    emit firstReadDone(ok);
    // A show that waited for it goes on.
    if (loadDone_) {
        if (ok)
            ContinueLoad();
        else
            FinishLoad(false);
    }
}

bool NoteStore::ReadFirstTime()
{
    if (!firstRead_)
        return true;
    StartFirstRead();
    if (reader_)
        FinishFirstRead(firstReadResult_.get()); // waits for it
    return !readFailed_;
}

void NoteStore::RecoverJournal()
{
    if (!journalLeft_)
        return;
    journalLeft_ = false;
    if (!OwnFile(journal_->Path())) {
        SetJournalAside(false);
        return;
    }
    QByteArray bytes;
    QString unused;
    const JournalContents journal =
        ReadWholeFile(journal_->Path(), bytes, unused) ? ReadJournal(bytes) : JournalContents{};
    bytes.clear();
    if (!journal.headerRead) {
        SetJournalAside(true);
        return;
    }
    // The changes go over the note file as the journal began, or as an
    // autosave cut short by the end left it: after some of them.
    const QString note = MemoText(); // the note file as just read
    const bool noteExists = QFileInfo::exists(notesPath_);
    const std::vector<JournalEdit> &edits = journal.edits;
    std::size_t from = 0;
    bool overNote = NoteFileIs(notesPath_, journal.header.base);
    QString text = note;
    if (!overNote) {
        const DecodedNote base = DecodeNote(journal.base);
        if (!journal.baseWhole || !base.refusal.isEmpty()) {
            SetJournalAside(true);
            return;
        }
        text = base.text;
        for (from = 0; noteExists && !overNote; ++from) {
            overNote = text.size() == note.size() && SameNoteText(note, text);
            if (overNote || from == edits.size())
                break;
            if (ApplyEdits(text, {edits[from]}) != 1)
                break;
        }
        if (overNote)
            text = note;
        else
            from = 0;
    }
    const std::vector<JournalEdit> rest(edits.begin() + std::ptrdiff_t(from), edits.end());
    if (!overNote)
        text = DecodeNote(journal.base).text;
    // A change that does not fit means the journal is not what it seems.
    if (ApplyEdits(text, rest) != rest.size()) {
        SetJournalAside(true);
        return;
    }
    if (noteExists && SameNoteText(note, text)) {
        ::unlink(QFile::encodeName(journal_->Path()).constData());
        return; // nothing typed is missing
    }
    if (overNote) {
        PutInMemo({std::move(text)}, false, false);
        memoIsDisk_ = false;
        // The journal goes on over the note file as it is, as if never stopped.
        journal_->Start(notesPath_, {disk_, encoding_, breaks_}, rest, edits_);
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
    if (!KeepUnsaved(text, journal.header.encoding, journal.header.breaks, path, failures)) {
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
    if (QFileInfo::exists(journal_->Path())) {
        // Never deleted unread: this run keeps no journal instead.
        journalKept_ = true;
        Report(QString("The notepad was not closed properly, and its journal \"%1\" could not "
                       "be read.")
                   .arg(journal_->Path()));
        return;
    }
    Tell(QString(own ? "The notepad was not closed properly, and what was typed after its last "
                       "save could not be read. It was kept as \"%1\"."
                     : "The notepad was not closed properly, but its journal is not a file of "
                       "this user's alone, so what it holds was not used. It was kept as \"%1\".")
             .arg(aside));
}

void NoteStore::PutInMemo(QStringList pieces, bool quietly, bool hold)
{
    // The first reading holds the text until the notepad is first shown: a
    // memo's blocks cost several times the text, which may never be needed.
    if (hold || hasPending_) {
        pendingText_ = std::move(pieces);
        hasPending_ = true;
        return;
    }
    const QScopedValueRollback quiet(quiet_, quietly);
    const QScopedValueRollback loading(loading_, true);
    emit textFromDisk(pieces);
}

bool NoteStore::MemoHolds(const QStringList &pieces) const
{
    if (MemoSize() != SizeOf(pieces))
        return false;
    qsizetype at = 0;
    for (const QString &piece : pieces) {
        if (!SameNoteText(MemoSlice(at, piece.size()), piece))
            return false;
        at += piece.size();
    }
    return true;
}

QString NoteStore::MemoText() const
{
    return hasPending_ ? pendingText_.join(QString()) : memo_.slice(0, memo_.size());
}

qsizetype NoteStore::MemoSize() const
{
    return hasPending_ ? SizeOf(pendingText_) : memo_.size();
}

QString NoteStore::MemoSlice(qsizetype from, qsizetype n) const
{
    return hasPending_ ? SliceOfPieces(pendingText_, 0, 0, from, n) : memo_.slice(from, n);
}

TextTaker *NoteStore::TakeText(const std::shared_ptr<WriteQueue> &queue,
                               std::function<void(NoteEncoding)> taken)
{
    auto *taker = new TextTaker([this] { return MemoSize(); },
                                [this](qsizetype from, qsizetype n) { return MemoSlice(from, n); },
                                encoding_, breaks_, queue, std::move(taken), this);
    takers_.append(taker);
    taker->Turn(); // a note of a few slices is taken at once
    return taker;
}

void NoteStore::FinishTaking()
{
    for (TextTaker *taker : std::as_const(takers_))
        taker->TakeAll();
}

void NoteStore::DropTaker(TextTaker *taker)
{
    if (!taker)
        return;
    takers_.removeOne(taker);
    taker->Cancel();
    taker->deleteLater();
}

void NoteStore::LoadNotes(std::function<void(bool)> done)
{
    loadDone_ = std::move(done);
    if (firstRead_)
        StartFirstRead(); // goes on once it is done
    else
        ContinueLoad();
}

void NoteStore::ContinueLoad()
{
    if (hasPending_) {
        hasPending_ = false;
        const QScopedValueRollback loading(loading_, true);
        emit textFromDisk(std::exchange(pendingText_, QStringList()));
        memoIsDisk_ = true; // what went in is the file as read
    }
    if (!QFileInfo::exists(notesPath_)) {
        disk_ = {};
        memoIsDisk_ = MemoSize() == 0;
    }
    // What the memo holds needs no second reading while the file is what it
    // was; unsaved text (recovered) is the save step's to weigh against it.
    else if (!tracker_.Dirty
             && (readFailed_ || !memoIsDisk_ || !StateOf(notesPath_).SameState(disk_))) {
        Reread(!readFailed_ && memoIsDisk_, [this](Rereading &r) {
            if (ended_)
                FinishLoad(false);
            else if (r.unchanged)
                disk_ = r.known;
            else if (!TakeRead(r.read, false, false))
                FinishLoad(false);
            if (loadDone_)
                FinishLoad(true);
        });
        return;
    }
    FinishLoad(true);
}

void NoteStore::FinishLoad(bool ok)
{
    if (ok) {
        SetEditable(!readOnly_);
        tracker_.Loaded();
    }
    if (const auto done = std::exchange(loadDone_, {}))
        done(ok);
}

void NoteStore::Reread(bool check, std::function<void(Rereading &)> done)
{
    rereads_.push_back({check, std::move(done)});
    if (!rereader_)
        NextReread();
}

void NoteStore::NextReread()
{
    // The file's bytes are looked at (and a large note read and decoded)
    // beside the window, which goes on answering meanwhile.
    auto result = std::make_shared<Rereading>();
    result->known = disk_;
    rereader_ = QThread::create(
        [result, check = rereads_.front().check, path = notesPath_, release = release_] {
            try {
                if (check && !ChangedOnDisk(path, result->known)) {
                    result->unchanged = true;
                    return;
                }
            } catch (const std::bad_alloc &) {
                // Taken as changed: the reading says why it can't be had.
            }
            result->read = ReadAndDecode(path);
            result->read.bytesChanged = check;
            if (release)
                release(); // the file's bytes, let go once decoded
        });
    connect(rereader_, &QThread::finished, this, [this, result] {
        rereader_->wait();
        rereader_->deleteLater();
        rereader_ = nullptr;
        const auto done = std::move(rereads_.front().done);
        rereads_.pop_front();
        done(*result);
        if (!rereads_.empty() && !rereader_)
            NextReread();
        LookAgainIfChanged();
    });
    rereader_->start();
}

bool NoteStore::TakeRead(ReadText &read, bool quietly, bool hold)
{
    if (!read.failure.isEmpty()) {
        ReadFailed(read.failure);
        return false;
    }
    // Bytes of its own encoding changed from those the memo holds: so did
    // the text, which is not compared (a large note's would hold the window).
    const bool changed =
        read.bytesChanged && memoIsDisk_ && read.encoding == encoding_ && read.breaks == breaks_;
    disk_ = read.disk;
    readFailed_ = false;
    encoding_ = read.encoding;
    breaks_ = read.breaks;
    if (hold && !hasPending_ && MemoSize() == 0) {
        // Kept in pieces: joined, the text would be held twice for a moment.
        hasPending_ = SizeOf(read.text) > 0;
        pendingText_ = hasPending_ ? std::move(read.text) : QStringList();
    } else if (changed || !MemoHolds(read.text)) {
        PutInMemo(std::move(read.text), quietly, hold);
    }
    memoIsDisk_ = true;
    journal_->Remove(); // the memo holds the file
    RecoverJournal();
    return true;
}

void NoteStore::ReadFailed(const QString &reason)
{
    // What the memo holds is not the note: typing there would be lost, and
    // nothing may be written over the file.
    readFailed_ = true;
    failedState_ = StateOf(notesPath_);
    SetEditable(false);
    {
        const QScopedValueRollback reporting(reportingRead_, true);
        Report(QString("Cannot open file \"%1\". %2").arg(notesPath_, reason));
    }
    LookAgainIfChanged();
}

void NoteStore::LookAgainIfChanged()
{
    if (recheck_ && !stepping_ && !writer_ && !reportingRead_ && !rereader_) {
        recheck_ = false;
        QTimer::singleShot(0, this, &NoteStore::DiskChanged);
    }
}

void NoteStore::SetEditable(bool editable)
{
    if (editable == editable_)
        return;
    editable_ = editable;
    emit editableChanged(editable);
}

void NoteStore::Watch()
{
    // A file replaced by a rename is no longer watched; its folder sees it come.
    for (const QString &path : {notesPath_, QFileInfo(notesPath_).absolutePath()})
        if (!watcher_->files().contains(path) && !watcher_->directories().contains(path)
            && QFileInfo::exists(path))
            watcher_->addPath(path);
}

void NoteStore::DiskChanged()
{
    Watch();
    // A hidden notepad reads the file when it is shown.
    if (!shown_ || ended_)
        return;
    // Looked at once the box, the step, the write or the reading has ended:
    // each state of a file that can't be read is reported once, one box at
    // a time.
    if (reportingRead_ || stepping_ || writer_ || rereader_) {
        recheck_ = true;
        return;
    }
    // Unsaved text is the save step's to weigh against the file.
    if (tracker_.Dirty)
        return;
    const bool exists = QFileInfo::exists(notesPath_);
    if (!exists && !readFailed_) {
        // The memo's text is the note now, with no file to hold it.
        if (disk_.exists)
            memoIsDisk_ = false;
        disk_ = {};
        return;
    }
    if (readFailed_) {
        // A note that could not be read is gone, or another has come.
        if (exists && StateOf(notesPath_).SameState(failedState_))
            return;
    } else if (!exists || !tracker_.TrackChanges || StateOf(notesPath_).SameState(disk_)) {
        return; // its bytes, if its state changed, are looked at beside the window
    }
    if (!tracker_.TrackChanges) {
        emit readableAgain(); // the first show's load, tried again
        return;
    }
    if (!exists) {
        // The memo's text is the newest there is.
        readFailed_ = false;
        disk_ = {};
        memoIsDisk_ = false;
        SetEditable(!readOnly_);
        return;
    }
    Reread(!readFailed_, [this](Rereading &r) {
        // Typed meanwhile: the save step weighs the file against it.
        if (ended_ || tracker_.Dirty)
            return;
        if (r.unchanged) {
            disk_ = r.known;
        } else if (TakeRead(r.read, true, false)) {
            SetEditable(!readOnly_);
            tracker_.Loaded();
        }
    });
}

void NoteStore::TextChanged(const MemoChange &change)
{
    ++edits_;
    for (TextTaker *taker : std::as_const(takers_))
        taker->Changed(change.position);
    const bool fromDisk = memoIsDisk_;
    memoIsDisk_ = false;
    if (!loading_ && !journalKept_ && !journalLeft_ && !ended_) {
        const JournalEdit edit{change.position, change.removed,
                               change.whole ? MemoText() : change.inserted};
        if (journal_->Started())
            journal_->Append(edits_, edit);
        // Over the note file, when it holds the text the change applies to
        // (a journal needs its bytes, which the file may have lost unseen).
        else if (fromDisk && StateOf(notesPath_).SameState(disk_))
            journal_->Start(notesPath_, {disk_, encoding_, breaks_}, {edit}, edits_);
        else // over no file: the memo's whole text
            journal_->Start(notesPath_, {FileIdentity{}, encoding_, breaks_}, {{0, 0, MemoText()}},
                            edits_);
    }
    if (!quiet_ && tracker_.Memo1Change(NowMs()))
        timer1_->start();
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
    if (ended_ || stepping_ || writer_)
        return;
    tracker_.SaveSettings([this] { return WriteFontSettings(); });
    if (tracker_.Dirty)
        StartWrite(false);
}

void NoteStore::StartWrite(bool replaceChanged)
{
    write_ = std::make_shared<NoteWrite>();
    write_->path = notesPath_;
    write_->pieces = std::make_shared<WriteQueue>();
    write_->encoding = encoding_;
    write_->disk = disk_;
    write_->replaceChanged = replaceChanged;
    // Writing and syncing go on beside this thread, which takes the text.
    taking_ = TakeText(write_->pieces, [this, w = write_.get()](NoteEncoding used) {
        w->encoding = used;
        editsWritten_ = edits_;
    });
    writer_ = QThread::create([write = write_, release = release_] {
        write->Run();
        if (release)
            release(); // the note's copies, let go
    });
    // A step may have taken this write, and started another, by the time
    // the signal comes.
    connect(writer_, &QThread::finished, this, [this, writer = writer_] {
        if (writer_ == writer && !awaiting_)
            AutosaveWritten();
    });
    writer_->start();
}

void NoteStore::AwaitWriter()
{
    if (writer_->wait(QDeadlineTimer(2)))
        return;
    // A large note takes a while to write: the windows go on answering
    // (paints, the window system's pings) meanwhile, and what the user does
    // waits until the write is over. Timers and the sockets behind them (a
    // signal's end, the session manager, the file watcher) may run here: a
    // step they start (the end) takes the write over, else it is the
    // waiting step's to settle.
    const QScopedValueRollback awaiting(awaiting_, true);
    QEventLoop loop;
    QTimer look;
    connect(&look, &QTimer::timeout, &loop, [this, &loop] {
        if (!writer_ || writer_->isFinished())
            loop.quit();
    });
    look.start(5);
    loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

std::shared_ptr<NoteWrite> NoteStore::TakeWrite()
{
    if (!writer_)
        return {};
    AwaitWriter();
    if (!writer_)
        return {};
    writer_->wait();
    writer_->disconnect(this);
    writer_->deleteLater();
    writer_ = nullptr;
    DropTaker(std::exchange(taking_, nullptr)); // a write that failed early
    return std::move(write_);
}

void NoteStore::Settle(const NoteWrite &w)
{
    disk_ = w.disk;
    encoding_ = w.encoding;
    tracker_.TextWritten(edits_ != editsWritten_);
    memoIsDisk_ = edits_ == editsWritten_;
    writtenBehind_ = !memoIsDisk_;
    if (memoIsDisk_)
        journal_->Remove();
    else
        journal_->Rebase(notesPath_, {disk_, encoding_, breaks_}, editsWritten_);
    Watch();
}

void NoteStore::AutosaveWritten()
{
    const std::shared_ptr<NoteWrite> w = TakeWrite();
    if (!w)
        return; // already taken by a step that waited for it
    if (w->outcome == NoteWrite::Outcome::Written) {
        Settle(*w);
        // Changes made while it wrote are due in their turn.
        if (tracker_.Dirty && !tracker_.CountdownRunning())
            SetDirty(true);
        LookAgainIfChanged();
        return;
    }
    const Step step(*this);
    if (Conclude(*w))
        tracker_.TextWritten(false);
}

void NoteStore::WaitForWrite()
{
    if (writer_)
        AutosaveWritten();
}

void NoteStore::DropWriteInFlight()
{
    // A write that failed, or met another program's change, is tried again
    // by the step that waits for it: its outcome is that step's to report.
    const std::shared_ptr<NoteWrite> w = TakeWrite();
    if (w && w->outcome == NoteWrite::Outcome::Written)
        Settle(*w);
    LookAgainIfChanged(); // what the watcher saw meanwhile
}

bool NoteStore::Conclude(const NoteWrite &w)
{
    cancelled_ = false;
    if (w.outcome == NoteWrite::Outcome::Written) {
        Settle(w);
        return true;
    }
    // After a failure or a question put off, the countdown waits for the
    // next change: no box comes back by itself.
    StopCountdown();
    if (w.outcome == NoteWrite::Outcome::Failed) {
        Report(CannotCreateText(w.path, w.reason));
        return false;
    }
    switch (Ask(kChangedOutside)) {
    case NoteUser::Answer::Yes: {
        StartWrite(true);
        const std::shared_ptr<NoteWrite> again = TakeWrite();
        return again ? Conclude(*again) : !tracker_.Dirty;
    }
    case NoteUser::Answer::No:
        return KeepTextAndShowFile();
    case NoteUser::Answer::Cancel:
        cancelled_ = true;
        return false;
    }
    return false;
}

bool NoteStore::WriteText()
{
    if (ended_)
        return false;
    // What changed while the write was waited for (a drop: only keys and
    // clicks are held back) is written in its turn, before the step ends.
    for (;;) {
        StartWrite(false);
        const std::shared_ptr<NoteWrite> w = TakeWrite();
        if (!w)
            return !tracker_.Dirty; // taken by the end's step, run while this one waited
        writtenBehind_ = false;
        if (!Conclude(*w))
            return false;
        if (!writtenBehind_ || ended_)
            return true;
    }
}

bool NoteStore::CloseQuery()
{
    if (ended_)
        return true;
    DropWriteInFlight();
    if (ended_)
        return true; // the program ended meanwhile: nothing more is written
    const Step step(*this);
    return tracker_.CloseQuery([this] { return WriteFontSettings(); },
                               [this] { return WriteText(); });
}

ExitReport NoteStore::SaveBeforeExit(const std::function<bool()> &mayAsk)
{
    if (ended_)
        return {};
    const QScopedValueRollback asking(mayAsk_, mayAsk);
    const ExitReport report = ExitStep();
    lastExit_ = report.outcome;
    return report;
}

ExitReport NoteStore::ExitStep()
{
    // Nothing may still be writing once the program has let go of the folder.
    DropWriteInFlight();
    if (!tracker_.HasUnsavedChanges())
        return {};
    const Step step(*this);
    keptAside_.clear();
    // Only the note keeps the program open; a lost font setting does not.
    bool written =
        tracker_.CloseQuery([this] { return WriteFontSettings(); }, [this] { return WriteText(); });
    // Text a journal's recovery brought while a box of this step was open
    // is unsaved too; the font's failure is told once.
    if (written && !ended_ && tracker_.TrackChanges && tracker_.Dirty)
        written = tracker_.SaveNotes([] { return false; }, [this] { return WriteText(); });
    if (!written) {
        if (ended_)
            return {}; // ended meanwhile, from a loop a box of this step ran
        if (cancelled_)
            return {ExitReport::Outcome::Stay, {}};
        return KeepUnsavedOnExit();
    }
    if (keptAside_.isEmpty())
        return {};
    return {ExitReport::Outcome::Kept,
            QString("the note file was changed by another program; the unsaved text was kept in "
                    "\"%1\"")
                .arg(keptAside_)};
}

void NoteStore::End()
{
    if (ended_)
        return;
    ended_ = true;
    if (lastExit_ != ExitReport::Outcome::Lost)
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
    if (KeepUnsaved(MemoText(), encoding_, breaks_, path, failures)) {
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

bool NoteStore::KeepTextAndShowFile()
{
    QString path, failures;
    if (!KeepUnsaved(MemoText(), encoding_, breaks_, path, failures)) {
        Report(failures);
        return false;
    }
    keptAside_ = path;
    if (!Present())
        return true; // the program is ending
    // The other program's note is shown once read, unless typing came first.
    Reread(false, [this, edits = edits_](Rereading &r) {
        if (!ended_ && edits_ == edits)
            TakeRead(r.read, true, false);
    });
    Tell(QString("The text you typed was kept in \"%1\".").arg(path));
    return true;
}

bool NoteStore::KeepUnsaved(const QString &text, NoteEncoding encoding, NoteBreaks breaks,
                            QString &path, QString &failures)
{
    const QByteArray bytes = EncodeNote(text, encoding, breaks); // as the note is
    // Another copy of the program may keep its text in the same second:
    // a file is never replaced, the next name is taken.
    WriteOptions options;
    options.replace = false;
    QStringList failed;
    for (const QString &folder : unsavedFolders_) {
        // The name the user was told, where it can be kept.
        if (path.isEmpty() || !path.startsWith(WithSeparator(folder)))
            path = UnsavedNotePath(folder, QDateTime::currentDateTime());
        QString reason;
        bool trying = UnsavedFolderReady(folder, reason);
        for (int attempt = 0; trying && attempt < 10; ++attempt) {
            if (WriteFileAtomically(path, bytes, reason, options))
                return true;
            trying = reason == qt_error_string(EEXIST);
            if (trying)
                path = UnsavedNotePath(folder, QDateTime::currentDateTime());
        }
        failed << CannotCreateText(path, reason);
        path.clear();
    }
    failures = failed.join('\n');
    return false;
}

QString NoteStore::SaveReport()
{
    WaitForWrite();
    return QString::fromStdString(tracker_.SaveReport(NowMs()));
}

void NoteStore::WriteCopy(const QString &path, std::function<void(bool)> done)
{
    // Encoding and writing a large note, and syncing it, take long: a thread
    // of its own does them, and `done` is called back here.
    struct Copy {
        std::shared_ptr<WriteQueue> pieces = std::make_shared<WriteQueue>();
        QString reason;
        bool written = false;
    };
    auto copy = std::make_shared<Copy>();
    TextTaker *taker = TakeText(copy->pieces, [](NoteEncoding) {});
    QThread *thread = QThread::create([copy, path] {
        WriteOptions options;
        options.privateFile = false; // the user's own file, as the umask says
        // The user chose this file and may write it, though perhaps not its folder.
        options.inPlaceIfNeeded = true;
        copy->written = WriteFromQueue(path, *copy->pieces, copy->reason, options);
    });
    copies_.append(thread);
    connect(thread, &QThread::finished, this, [this, thread, taker, copy, path, done] {
        copies_.removeOne(thread);
        thread->deleteLater();
        DropTaker(taker);
        if (!copy->written)
            Report(CannotCreateText(path, copy->reason));
        done(copy->written);
    });
    thread->start();
}

NoteUser::Answer NoteStore::Ask(const QString &question)
{
    const QScopedValueRollback asking(boxes_, boxes_ + 1);
    return Present() ? user_.Ask(question) : NoteUser::Answer::No;
}

void NoteStore::Tell(const QString &text)
{
    const QScopedValueRollback telling(boxes_, boxes_ + 1);
    if (Present())
        user_.Tell(text);
}

void NoteStore::Report(const QString &text)
{
    const QScopedValueRollback reporting(boxes_, boxes_ + 1);
    if (Present())
        user_.Error(text);
}
