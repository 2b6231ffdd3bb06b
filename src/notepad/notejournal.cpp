#include "notejournal.h"

#include "filewriting.h"
#include "unsavedtext.h"

#include <QDateTime>

#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>
#include <QTimer>
#include <QtEndian>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kMagic[4] = {'Q', 'V', 'N', 'J'};
constexpr std::uint32_t kVersion = 1;
constexpr qsizetype kEditFixed = 4 + 8 + 8; // size, position, removed
constexpr qsizetype kChecksumSize = 8;

// Checksums that stay the same from one run, or one machine, to the next.
std::uint64_t Checksum(const char *data, qsizetype size)
{
    return qHashBits(data, std::size_t(size), 0);
}

template <typename T> void Put(QByteArray &out, T value)
{
    const T le = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&le), sizeof le);
}

template <typename T> T Get(const char *p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return qFromLittleEndian(value);
}

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

// Copies the note file's bytes into the journal, if the file is still the
// state the journal names: a piece at a time while the system tells the
// same file, else (touched since, say) while its bytes are still those.
// Failed, with errno set, when the journal could not be written.
enum class BaseCopy { Copied, Gone, Failed };
BaseCopy CopyBase(const QString &notePath, const FileIdentity &base, int fd)
{
    if (!base.exists)
        return BaseCopy::Copied;
    bool written = true;
    const auto put = [fd, &written](QByteArrayView piece, std::int64_t at) {
        written = WriteAt(fd, piece, kJournalHeaderSize + at);
        return written;
    };
    if (!ReadInPieces(notePath, base, put) && written) {
        FileIdentity now = base;
        if (ChangedOnDisk(notePath, now))
            return BaseCopy::Gone;
        if (!ReadInPieces(notePath, now, put) && written)
            return BaseCopy::Gone; // changed as it was read
    }
    return written ? BaseCopy::Copied : BaseCopy::Failed;
}

} // namespace

QByteArray JournalHeaderBytes(const JournalHeader &header)
{
    QByteArray out(kMagic, 4);
    Put<std::uint32_t>(out, kVersion);
    Put<std::uint8_t>(out, std::uint8_t(header.encoding));
    Put<std::uint8_t>(out, header.base.exists ? 1 : 0);
    Put<std::uint16_t>(out, header.breaks == NoteBreaks::Lf ? 1 : 0);
    Put<std::int64_t>(out, header.base.size);
    Put<std::int64_t>(out, header.base.mtimeNs);
    Put<std::int64_t>(out, header.base.ctimeNs);
    Put<std::uint64_t>(out, header.base.inode);
    Put<std::uint64_t>(out, std::uint64_t(header.base.hash));
    Put<std::uint64_t>(out, Checksum(out.constData(), out.size()));
    return out;
}

QByteArray JournalEditBytes(const JournalEdit &edit)
{
    QByteArray out;
    out.reserve(kEditFixed + edit.inserted.size() * 2 + kChecksumSize);
    Put<std::uint32_t>(out, std::uint32_t(16 + edit.inserted.size() * 2));
    Put<std::int64_t>(out, edit.position);
    Put<std::int64_t>(out, edit.removed);
    // The characters in one stroke: a whole text may go in as one change.
    const qsizetype at = out.size();
    out.resize(at + edit.inserted.size() * 2);
    qToLittleEndian<std::uint16_t>(edit.inserted.utf16(), edit.inserted.size(), out.data() + at);
    Put<std::uint64_t>(out, Checksum(out.constData(), out.size()));
    return out;
}

JournalContents ReadJournal(QByteArrayView bytes)
{
    JournalContents j;
    const char *p = bytes.data();
    if (bytes.size() < kJournalHeaderSize || std::memcmp(p, kMagic, 4) != 0
        || Get<std::uint32_t>(p + 4) != kVersion || Get<std::uint64_t>(p + 52) != Checksum(p, 52)
        || std::uint8_t(p[8]) > 4 || std::uint8_t(p[9]) > 1 || Get<std::uint16_t>(p + 10) > 1)
        return j; // a header this program does not write
    j.headerRead = true;
    j.header.encoding = NoteEncoding(std::uint8_t(p[8]));
    j.header.breaks = Get<std::uint16_t>(p + 10) == 1 ? NoteBreaks::Lf : NoteBreaks::CrLf;
    j.header.base.exists = p[9] != 0;
    j.header.base.size = Get<std::int64_t>(p + 12);
    j.header.base.mtimeNs = Get<std::int64_t>(p + 20);
    j.header.base.ctimeNs = Get<std::int64_t>(p + 28);
    j.header.base.inode = Get<std::uint64_t>(p + 36);
    j.header.base.hash = std::size_t(Get<std::uint64_t>(p + 44));
    const std::int64_t baseSize = j.header.base.size;
    if (baseSize < 0 || baseSize > bytes.size() - kJournalHeaderSize)
        return j; // the changes lie beyond what was written
    j.base = QByteArray(p + kJournalHeaderSize, qsizetype(baseSize));
    // The base's hash may be of its bytes taken in one piece.
    const auto hash = std::uint64_t(j.header.base.hash);
    j.baseWhole = std::uint64_t(IdentityHash(j.base)) == hash
                  || Checksum(j.base.constData(), j.base.size()) == hash;
    if (!j.baseWhole)
        j.base.clear();
    for (qsizetype at = kJournalHeaderSize + qsizetype(baseSize);;) {
        const qsizetype left = bytes.size() - at;
        if (left < kEditFixed + kChecksumSize)
            break;
        const std::uint32_t size = Get<std::uint32_t>(p + at);
        if (size < 16 || size % 2 != 0 || qsizetype(size) > left - 4 - kChecksumSize)
            break;
        const qsizetype end = at + 4 + qsizetype(size);
        if (Get<std::uint64_t>(p + end) != Checksum(p + at, end - at))
            break;
        JournalEdit e;
        e.position = Get<std::int64_t>(p + at + 4);
        e.removed = Get<std::int64_t>(p + at + 12);
        const qsizetype units = (size - 16) / 2;
        e.inserted.resize(units);
        qFromLittleEndian<std::uint16_t>(p + at + kEditFixed, units, e.inserted.data());
        j.edits.push_back(std::move(e));
        at = end + kChecksumSize;
    }
    return j;
}

std::size_t ApplyEdits(QString &text, const std::vector<JournalEdit> &edits)
{
    std::size_t applied = 0;
    for (const JournalEdit &e : edits) {
        if (e.position < 0 || e.removed < 0 || e.position > text.size()
            || e.removed > text.size() - e.position)
            break;
        QString inserted = e.inserted;
        inserted.replace(QChar::ParagraphSeparator, u'\n');
        text.replace(qsizetype(e.position), qsizetype(e.removed), inserted);
        ++applied;
    }
    return applied;
}

RecoveryPlan PlanRecovery(const JournalContents &journal, const QString &note, bool noteExists,
                          bool noteIsBase)
{
    using Step = RecoveryPlan::Step;
    RecoveryPlan plan;
    plan.step = Step::SetAside;
    if (!journal.headerRead)
        return plan;
    const std::vector<JournalEdit> &edits = journal.edits;
    // Over the note as it is: the changes after the state it holds.
    std::size_t from = 0;
    bool overNote = noteIsBase;
    if (!overNote) {
        const DecodedNote base = DecodeNote(journal.base);
        if (!journal.baseWhole || !base.refusal.isEmpty())
            return plan;
        plan.text = base.text;
        for (from = 0; noteExists && !overNote; ++from) {
            overNote = plan.text.size() == note.size() && SameNoteText(note, plan.text);
            if (overNote || from == edits.size() || ApplyEdits(plan.text, {edits[from]}) != 1)
                break;
        }
        if (!overNote) {
            from = 0;
            plan.text = base.text;
        }
    }
    if (overNote)
        plan.text = note;
    plan.rest.assign(edits.begin() + std::ptrdiff_t(from), edits.end());
    // A change that does not fit means the journal is not what it seems.
    if (ApplyEdits(plan.text, plan.rest) != plan.rest.size())
        return plan;
    plan.step = noteExists && SameNoteText(note, plan.text) ? Step::Discard
                : overNote                                  ? Step::Replay
                                                            : Step::KeepAside;
    plan.encoding = journal.header.encoding;
    plan.breaks = journal.header.breaks;
    return plan;
}

namespace {

void SetAside(bool own, const QString &path, RecoveryDone &done)
{
    const QString stem = path + ".bad-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
    QString aside = stem;
    for (int n = 2; !RenameWithoutReplacing(path, aside) && errno == EEXIST && n < 100; ++n)
        aside = QString("%1-%2").arg(stem).arg(n);
    const QString why = own ? "what was typed after its last save could not be read"
                            : "its journal is not a file of this user's alone, so what it holds "
                              "was not used";
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        done.kept = true;
        done.messages.push_back({true, QString("The notepad was not closed properly, and %1. The "
                                               "journal \"%2\" was left where it is.")
                                           .arg(why, path)});
        return;
    }
    done.messages.push_back(
        {false, QString("The notepad was not closed properly, %1 %2. It was kept as \"%3\".")
                    .arg(own ? "and" : "but", why, aside)});
}

} // namespace

RecoveryDone CarryOutRecovery(const RecoveryPlan &plan, bool own, const QString &path,
                              const QStringList &unsavedFolders)
{
    using Step = RecoveryPlan::Step;
    RecoveryDone done;
    if (!own || plan.step == Step::SetAside) {
        SetAside(own, path, done);
    } else if (plan.step == Step::Discard) {
        ::unlink(QFile::encodeName(path).constData()); // nothing typed is missing
    } else if (plan.step == Step::Replay) {
        done.replay = true;
        done.messages.push_back({false, "The notepad was not closed properly. What was typed "
                                        "after its last save was recovered."});
    } else {
        // The note file has changed since (another program, or a copy
        // running elsewhere): the text as it was goes to a file of its own.
        QString kept, failures;
        if (!KeepUnsaved(plan.text, plan.encoding, plan.breaks, unsavedFolders, kept, failures)) {
            done.messages.push_back({true, failures});
            SetAside(true, path, done);
            return done;
        }
        ::unlink(QFile::encodeName(path).constData());
        done.messages.push_back(
            {false, QString("The notepad was not closed properly, and the note file has changed "
                            "since. What was typed after its last save was kept in \"%1\".")
                        .arg(kept)});
    }
    return done;
}

NoteJournal::NoteJournal(const QString &path, QObject *parent)
    : QObject(parent), path_(path), folder_(QFile::encodeName(QFileInfo(path).absolutePath()))
{
    syncTimer_ = new QTimer(this);
    syncTimer_->setSingleShot(true);
    connect(syncTimer_, &QTimer::timeout, this, &NoteJournal::SyncWhenDue);
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
        || !WriteAt(fd, changes, kJournalHeaderSize + header.base.size)) {
        error_ = errno;
        ::close(fd);
        ::unlink(temp.constData());
        return -1;
    }
    return fd;
}

bool NoteJournal::Open(const QString &notePath, const JournalHeader &header,
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
    next_ = Next{fd, kJournalHeaderSize + header.base.size + changes.size(), edits, notePath,
                 header.base};
    // A journal that replaces another reaches the disk before it does, so
    // that a power cut never leaves an empty one where a whole one was:
    // synced beside the window meanwhile, the old one taking changes too.
    struct stat st {};
    if (::lstat(QFile::encodeName(path_).constData(), &st) != 0)
        return PutInPlace();
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
    CopyBaseIn(next.notePath, next.base);
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

void NoteJournal::CopyBaseIn(const QString &notePath, const FileIdentity &base)
{
    const int copyFd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (copyFd < 0)
        return;
    auto error = std::make_shared<int>(0);
    auto copied = std::make_shared<BaseCopy>(BaseCopy::Copied);
    worker_.Run(
        [notePath, base, copyFd, error, copied] {
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
            else if (*copied == BaseCopy::Gone && generation == generation_)
                emit baseLost();
        });
}

void NoteJournal::Start(const QString &notePath, const JournalHeader &header,
                        const std::vector<JournalEdit> &edits, std::uint64_t number)
{
    std::vector<std::pair<std::uint64_t, QByteArray>> bytes;
    for (const JournalEdit &e : edits)
        bytes.emplace_back(number, JournalEditBytes(e));
    if (!Open(notePath, header, bytes))
        Fail(error_);
}

void NoteJournal::Append(std::uint64_t number, const JournalEdit &edit)
{
    if (fd_ < 0 && !next_)
        return;
    QByteArray bytes = JournalEditBytes(edit);
    // A journal on its way takes the change too, for when it is in place.
    if (next_ && WriteAt(next_->fd, bytes, next_->end)) {
        next_->end += bytes.size();
        next_->edits.emplace_back(number, bytes);
    } else {
        Abandon();
    }
    if (fd_ >= 0 && !WriteAt(fd_, bytes, end_)) {
        Fail(errno);
        return;
    }
    end_ += bytes.size();
    edits_.emplace_back(number, std::move(bytes));
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

void NoteJournal::Rebase(const QString &notePath, const JournalHeader &header, std::uint64_t upTo)
{
    // A journal that failed lacks changes: it stays off until the note
    // holds the whole text.
    if (!started_ || failed_)
        return;
    std::vector<std::pair<std::uint64_t, QByteArray>> after;
    for (const auto &e : edits_)
        if (e.first > upTo)
            after.push_back(e);
    if (after.empty()) {
        Remove();
        return;
    }
    // The old one stays in use when the new one can't be made: over the
    // state before this save, it still holds every change.
    if (!Open(notePath, header, after) && fd_ < 0)
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
