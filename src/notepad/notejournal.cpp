#include "notejournal.h"

#include "filewriting.h"
#include "notebuffer.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <chrono>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool WriteAt(int fd, QByteArrayView bytes, std::int64_t offset)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, std::size_t(bytes.size() - done),
                                   off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Shares the note file's whole blocks with the journal's base, where the
// file system can (btrfs, XFS): no byte of them is written. How many bytes
// it shares; 0 where it can't, or the file is no longer the state `base`
// names.
std::int64_t ShareBase(const QString &notePath, const FileIdentity &base, int fd)
{
    const std::int64_t blocks = base.size / kJournalBaseAt * kJournalBaseAt;
    if (blocks == 0)
        return 0;
    const int note = ::open(QFile::encodeName(notePath).constData(),
                            O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (note < 0)
        return 0;
    struct stat st {};
    FileIdentity now = base;
    file_clone_range range{note, 0, std::uint64_t(blocks), std::uint64_t(kJournalBaseAt)};
    const bool shared = ::fstat(note, &st) == 0 && S_ISREG(st.st_mode)
                        && (TakeStat(st, now), now.SameState(base))
                        && ::ioctl(fd, FICLONERANGE, &range) == 0;
    ::close(note);
    return shared ? blocks : 0;
}

// Puts the note file's bytes into the journal, if the file is still the
// state the journal names: shared where the file system can, the rest
// copied a piece at a time while the system tells the same file, else
// (touched since, say) while its bytes are still those. Failed, with errno
// set, when the journal could not be written.
enum class BaseCopy { Copied, Gone, Failed };
BaseCopy CopyBase(const QString &notePath, const FileIdentity &base, int fd)
{
    if (!base.exists)
        return BaseCopy::Copied;
    bool written = true;
    const auto put = [fd, &written](QByteArrayView piece, std::int64_t at) {
        written = WriteAt(fd, piece, kJournalBaseAt + at);
        return written;
    };
    if (!ReadInPieces(notePath, base, put, ShareBase(notePath, base, fd)) && written) {
        FileIdentity now = base;
        if (ChangedOnDisk(notePath, now))
            return BaseCopy::Gone;
        if (!ReadInPieces(notePath, now, put) && written)
            return BaseCopy::Gone; // changed as it was read
    }
    return written ? BaseCopy::Copied : BaseCopy::Failed;
}

} // namespace

NoteJournal::NoteJournal(const QString &path, const QString &notePath, QObject *parent)
    : QObject(parent), path_(path), notePath_(notePath),
      folder_(QFile::encodeName(QFileInfo(path).absolutePath())),
      leftDue_(QFileInfo::exists(path) || QFileInfo(path).isSymLink())
{
    syncTimer_ = new QTimer(this);
    syncTimer_->setSingleShot(true);
    connect(syncTimer_, &QTimer::timeout, this, &NoteJournal::SyncWhenDue);
}

void NoteJournal::Follow(const NoteBuffer &buffer)
{
    buffer_ = &buffer;
    connect(&buffer, &NoteBuffer::edited, this, &NoteJournal::Edited);
    // Another text in the buffer: the note file holds it only once told.
    connect(&buffer, &NoteBuffer::replaced, this, [this] { holds_.reset(); });
}

void NoteJournal::NoteHolds(std::optional<JournalHeader> state)
{
    holds_ = std::move(state);
    if (holds_)
        format_ = *holds_;
}

void NoteJournal::Edited(const MemoChange &change)
{
    const std::optional<JournalHeader> over = std::exchange(holds_, std::nullopt);
    // Nothing goes over a journal of an earlier run still to be read, or
    // one that could not be set aside.
    if (ended_ || leftDue_ || leftTaken_ || keptLeft_)
        return;
    const JournalEdit edit{change.position, change.removed, change.inserted};
    if (started_)
        Append(change.number, edit);
    // Over the note file that held the text, where it still lies: its bytes
    // are copied in while the file holds them, else the journal starts
    // again over the whole text.
    else if (over && StateOf(notePath_).exists == over->base.exists)
        Start(*over, {edit}, change.number);
    else
        StartOverText(change.number);
}

void NoteJournal::StartOverText(std::uint64_t number)
{
    if (!buffer_)
        return; // on its way out
    JournalHeader header = format_;
    header.base = {};
    Start(header, {{0, 0, buffer_->Text()}}, number);
}

void NoteJournal::Written(const JournalHeader &state, std::uint64_t upTo)
{
    format_ = state;
    if (!buffer_ || buffer_->Changes() != upTo) {
        Rebase(state, upTo);
        return;
    }
    // Nothing changed since its text was taken: no journal is needed, and
    // one that failed may start afresh with the next change.
    Remove();
    holds_ = state;
}

void NoteJournal::End(bool kept)
{
    if (ended_)
        return;
    ended_ = true;
    if (!kept)
        Remove();
}

std::function<LeftJournal(const std::optional<QString> &)> NoteJournal::TakeLeft()
{
    if (!std::exchange(leftDue_, false))
        return {};
    leftTaken_ = true;
    return [path = path_, notePath = notePath_](const std::optional<QString> &note) {
        return ReadLeftJournal(path, notePath, note);
    };
}

NoteJournal::Recovered NoteJournal::Recover(const LeftJournal &left,
                                            const QStringList &unsavedFolders)
{
    const RecoveryDone done = CarryOutRecovery(left.plan, left.own, path_, unsavedFolders);
    keptLeft_ = keptLeft_ || done.kept;
    leftTaken_ = false;
    Recovered out{std::nullopt, done.messages};
    if (done.replay) {
        out.text = left.plan.text;
        // Over the note file as it is, as if never stopped.
        JournalHeader over = holds_.value_or(format_);
        if (!holds_)
            over.base = {};
        replay_.emplace(over, left.plan.rest);
    }
    return out;
}

void NoteJournal::Replayed()
{
    if (!replay_)
        return;
    auto [over, rest] = std::move(*replay_);
    replay_.reset();
    Start(over, rest, buffer_ ? buffer_->Changes() : 0);
}

NoteJournal::~NoteJournal()
{
    // What was appended reaches the disk before the program goes, and a
    // journal on its way takes its place.
    if (fd_ >= 0 && unsyncedSince_ >= 0)
        Sync();
    Flush();
    Close();
}

int NoteJournal::Create(const JournalHeader &header, const QByteArray &changes)
{
    // A new file each time, put in place whole: a journal read after a
    // crash is either the old one or the new one, and the old one stays in
    // use until the new one is in its place.
    const QByteArray temp = QFile::encodeName(path_) + ".new";
    // Never through a link, nor over a file: what lies there (left by a
    // kill, or put there) goes first.
    const auto create = [&temp] {
        return ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    };
    int fd = create();
    if (fd < 0 && errno == EEXIST && ::unlink(temp.constData()) == 0)
        fd = create();
    if (fd < 0) {
        error_ = errno;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 0777) != 0600)
        ::fchmod(fd, 0600);
    if (!WriteAt(fd, JournalHeaderBytes(header), 0)
        || !WriteAt(fd, changes, kJournalBaseAt + header.base.size)) {
        error_ = errno;
        ::close(fd);
        ::unlink(temp.constData());
        return -1;
    }
    return fd;
}

bool NoteJournal::Open(const JournalHeader &header,
                       const std::vector<std::pair<std::uint64_t, QByteArray>> &edits)
{
    started_ = true;
    ++generation_;
    Abandon();
    QByteArray changes;
    for (const auto &[number, bytes] : edits)
        changes += bytes;
    const int fd = Create(header, changes);
    if (fd < 0)
        return false;
    next_ = Next{fd, kJournalBaseAt + header.base.size + changes.size(), edits, header.base};
    // Every new journal reaches the disk before it takes its name, so that
    // a power cut never leaves an empty one there, nor one in place of a
    // whole one: synced beside the window meanwhile, the old one, if any,
    // taking changes too.
    const int syncFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    auto error = std::make_shared<int>(syncFd < 0 ? errno : 0);
    worker_.Run(
        [syncFd, error] {
            if (syncFd >= 0 && ::fdatasync(syncFd) != 0 && errno != EINVAL)
                *error = errno;
            if (syncFd >= 0)
                ::close(syncFd);
        },
        [this, error, generation = generation_] {
            if (generation != generation_)
                return; // another has come since, or none is needed
            error_ = *error;
            if (error_ != 0 || !PutInPlace()) {
                Abandon(); // the old one goes on
                if (fd_ < 0)
                    Fail(error_);
            }
        });
    return true;
}

bool NoteJournal::PutInPlace()
{
    const QByteArray path = QFile::encodeName(path_);
    if (::rename(path + ".new", path.constData()) != 0) {
        error_ = errno;
        Abandon();
        return false;
    }
    Close();
    Next next = std::move(*next_);
    next_.reset();
    failed_ = false;
    reported_ = false;
    fd_ = next.fd;
    end_ = next.end;
    edits_ = std::move(next.edits);
    newEntry_ = true;
    CopyBaseIn(next.base);
    Sync();
    return true;
}

void NoteJournal::Abandon()
{
    if (!next_)
        return;
    ::close(next_->fd);
    ::unlink(QFile::encodeName(path_ + ".new").constData());
    next_.reset();
}

void NoteJournal::CopyBaseIn(const FileIdentity &base)
{
    const int copyFd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (copyFd < 0)
        return;
    auto error = std::make_shared<int>(0);
    auto copied = std::make_shared<BaseCopy>(BaseCopy::Copied);
    worker_.Run(
        [notePath = notePath_, base, copyFd, error, copied] {
            try {
                *copied = CopyBase(notePath, base, copyFd);
                *error = *copied == BaseCopy::Failed ? errno : 0;
            } catch (const std::bad_alloc &) {
                *copied = BaseCopy::Failed;
                *error = ENOMEM;
            }
            ::close(copyFd);
        },
        [this, error, copied, generation = generation_] {
            if (*copied == BaseCopy::Failed)
                Failed(*error);
            // Journalled over bytes another program has taken away since:
            // started again over the text itself.
            else if (*copied == BaseCopy::Gone && generation == generation_ && buffer_)
                StartOverText(buffer_->Changes());
        });
}

void NoteJournal::Start(const JournalHeader &header, const std::vector<JournalEdit> &edits,
                        std::uint64_t number)
{
    std::vector<std::pair<std::uint64_t, QByteArray>> bytes;
    for (const JournalEdit &e : edits)
        bytes.emplace_back(number, JournalEditBytes(e));
    if (!Open(header, bytes))
        Fail(error_);
}

void NoteJournal::Append(std::uint64_t number, const JournalEdit &edit)
{
    if (fd_ < 0 && !next_)
        return;
    QByteArray bytes = JournalEditBytes(edit);
    // A journal on its way takes the change too, for when it is in place;
    // one that can't, goes, and the one in place, if any, goes on.
    if (next_ && WriteAt(next_->fd, bytes, next_->end)) {
        next_->end += bytes.size();
        next_->edits.emplace_back(number, bytes);
    } else if (next_ && fd_ < 0) {
        Fail(errno);
        return;
    } else {
        Abandon();
    }
    if (fd_ >= 0) {
        if (!WriteAt(fd_, bytes, end_)) {
            Fail(errno);
            return;
        }
        end_ += bytes.size();
        edits_.emplace_back(number, std::move(bytes));
    }
    lastChange_ = NowMs();
    if (unsyncedSince_ < 0)
        unsyncedSince_ = lastChange_;
    // A change only ever puts the sync later: the timer, once set, finds
    // out when it fires.
    if (!syncTimer_->isActive())
        SyncWhenDue();
}

void NoteJournal::SyncWhenDue()
{
    // At most once a second; 300 ms after the last change when none was
    // synced in the second before; never more than a second after a change.
    const std::int64_t due =
        std::min(std::max(lastChange_ + 300, lastSync_ + 1000), unsyncedSince_ + 1000);
    const std::int64_t now = NowMs();
    if (due <= now)
        Sync();
    else
        syncTimer_->start(int(due - now));
}

void NoteJournal::Rebase(const JournalHeader &header, std::uint64_t upTo)
{
    // A journal that failed lacks changes: it stays off until the note
    // holds the whole text.
    if (!started_ || failed_)
        return;
    // Every change since its base: the journal in place holds them, or
    // else the first one, still on its way.
    std::vector<std::pair<std::uint64_t, QByteArray>> after;
    for (const auto &e : fd_ >= 0 || !next_ ? edits_ : next_->edits)
        if (e.first > upTo)
            after.push_back(e);
    if (after.empty()) {
        Remove();
        return;
    }
    // The old one stays in use when the new one can't be made: over the
    // state before this save, it still holds every change.
    if (!Open(header, after) && fd_ < 0)
        Fail(error_);
}

void NoteJournal::Remove()
{
    if (!started_)
        return; // a journal of an earlier run is read before it goes
    ++generation_;
    Abandon();
    Close();
    started_ = failed_ = false;
    edits_.clear();
    ::unlink(QFile::encodeName(path_).constData());
    worker_.Run([folder = folder_] { SyncFolder(folder); });
}

void NoteJournal::Flush()
{
    // What comes back may ask for more (a journal in place is synced).
    while (!worker_.Finish(1000)) {
    }
}

void NoteJournal::Close()
{
    syncTimer_->stop();
    unsyncedSince_ = -1;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void NoteJournal::Fail(int error)
{
    // The changes can't be kept beside the note. What the journal holds
    // stays: every change up to the failure.
    Abandon();
    Close();
    failed_ = true;
    edits_.clear();
    Failed(error);
}

void NoteJournal::Failed(int error)
{
    // Once, until a journal has been written again.
    if (!std::exchange(reported_, true))
        emit failed(QString("Cannot write the journal \"%1\". %2\nUntil it can be written again, "
                            "a crash loses what was typed since the note was last saved.")
                        .arg(path_, qt_error_string(error == 0 ? EIO : error)));
}

void NoteJournal::Sync()
{
    syncTimer_->stop();
    unsyncedSince_ = -1;
    lastSync_ = NowMs();
    const int fd = fd_ >= 0 ? ::fcntl(fd_, F_DUPFD_CLOEXEC, 0) : -1;
    if (fd < 0)
        return;
    ++syncs_;
    const QByteArray folder = newEntry_ ? folder_ : QByteArray();
    newEntry_ = false;
    auto error = std::make_shared<int>(0);
    worker_.Run(
        [fd, folder, error] {
            if (::fdatasync(fd) != 0 && errno != EINVAL)
                *error = errno;
            ::close(fd);
            if (!folder.isEmpty())
                SyncFolder(folder);
        },
        [this, error] {
            if (*error != 0)
                Failed(*error);
        });
}
