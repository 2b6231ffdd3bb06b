#include "notedisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kRenameNoReplace = 1; // RENAME_NOREPLACE

bool Stat(const QString &path, struct stat &st)
{
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

void TakeStat(const struct stat &st, FileIdentity &id)
{
    id.exists = true;
    id.size = st.st_size;
    id.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.ctimeNs = std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    id.inode = st.st_ino;
}

// A block at a time, so that a file can be hashed without holding it whole.
constexpr qsizetype kHashBlock = 1 << 20;

// The next block's hash into the hash so far. Every block's own hash has
// the seed 0: with another, Qt mixes in a seed of the run's own, and the
// journal's next run would take the note for another.
std::size_t HashOn(std::size_t hash, bool first, const char *block, qsizetype n)
{
    const std::size_t own = qHashBits(block, std::size_t(n), 0);
    return first ? own : (hash ^ own) * 0x100000001B3ull + (hash >> 29);
}

} // namespace

std::size_t IdentityHash(QByteArrayView bytes)
{
    std::size_t hash = 0;
    qsizetype at = 0;
    do {
        const qsizetype n = std::min(kHashBlock, bytes.size() - at);
        hash = HashOn(hash, at == 0, bytes.data() + at, n);
        at += n;
    } while (at < bytes.size());
    return hash;
}

namespace {

// IdentityHash of the first `size` bytes of the file open as `fd`; false
// when they can't be read.
bool HashOfFile(int fd, std::int64_t size, std::size_t &hash)
{
    QByteArray block(std::min<std::int64_t>(kHashBlock, size), Qt::Uninitialized);
    hash = 0;
    std::int64_t at = 0;
    do {
        const auto n = qsizetype(std::min<std::int64_t>(kHashBlock, size - at));
        for (qsizetype got = 0; got < n;) {
            const ssize_t r =
                ::pread(fd, block.data() + got, std::size_t(n - got), off_t(at + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return false;
            got += r;
        }
        hash = HashOn(hash, at == 0, block.constData(), n);
        at += n;
    } while (at < size);
    return true;
}

// Every byte through the file's descriptor, from `at` on, so that a failure
// keeps its errno.
bool WriteAll(int fd, QByteArrayView bytes, std::int64_t at, int &error)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, std::size_t(left), off_t(at));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        p += n;
        left -= n;
        at += n;
    }
    return true;
}

// The data, once; a full disk may show only now, when blocks are allocated.
bool SyncData(int fd, int &error)
{
    if (::fdatasync(fd) == 0 || errno == EINVAL)
        return true;
    error = errno;
    return false;
}

// A rename or a new entry lives in the folder. A folder that can't be synced
// (a file system without the call) has nothing more to give.
void SyncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// The file a path names: a symbolic link's final target, so that the link
// stays a link.
QString FinalTarget(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

// Tries `make` on names beside `file` that no other program takes for a
// note, until one is free; -1 with errno set otherwise.
template <typename Make> int OnTemporaryName(const QByteArray &file, QByteArray &temp, Make make)
{
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray stem = file.left(slash + 1) + '.' + file.mid(slash + 1) + '.';
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = stem;
        for (int i = 0; i < 6; ++i)
            temp += kChars[QRandomGenerator::global()->bounded(int(sizeof kChars) - 1)];
        const int result = make(temp);
        if (result >= 0 || errno != EEXIST)
            return result;
    }
    return -1;
}

int CreateTemporary(const QByteArray &file, mode_t mode, QByteArray &temp)
{
    return OnTemporaryName(file, temp, [mode](const QByteArray &name) {
        return ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    });
}

// A new file in `file`'s folder with no name until it is whole: a write cut
// short, even by a kill, leaves nothing behind. -1 where the file system
// has no such files, or the name could not be given later.
int CreateUnnamed(const QByteArray &file, mode_t mode)
{
    if (::access("/proc/self/fd", X_OK) != 0)
        return -1;
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? "." : slash == 0 ? "/" : file.left(slash);
    return ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
}

// Gives the unnamed file `fd` the name `to`, where no file of that name is.
bool NameUnnamed(int fd, const QByteArray &to)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, to.constData(), AT_SYMLINK_FOLLOW) == 0;
}

// Gives the unnamed file `fd` a temporary name beside `file`; false with
// errno set, and `temp` empty, when none is free.
bool NameTemporary(int fd, const QByteArray &file, QByteArray &temp)
{
    if (OnTemporaryName(file, temp,
                        [fd](const QByteArray &name) { return NameUnnamed(fd, name) ? 0 : -1; })
        == 0)
        return true;
    const int error = errno;
    temp.clear(); // another's, not to be removed
    errno = error;
    return false;
}

// Puts `temp` in `file`'s place; without `replace`, only where no file is.
bool Rename(const QByteArray &temp, const QByteArray &file, bool replace)
{
    if (replace)
        return ::rename(temp.constData(), file.constData()) == 0;
    if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, file.constData(), kRenameNoReplace) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a second name, which never replaces.
    if (::link(temp.constData(), file.constData()) != 0)
        return false;
    ::unlink(temp.constData());
    return true;
}

// Into a file of the program's own, never through a link.
bool CopyFile(const QString &from, const QString &to, QString &reason)
{
    QByteArray bytes;
    if (!ReadWholeFile(from, bytes, reason)) {
        reason = QString("Cannot open file \"%1\". %2").arg(from, reason);
        return false;
    }
    WriteOptions options;
    options.followLink = false;
    if (!WriteFileAtomically(to, bytes, reason, options)) {
        reason = CannotCreateText(to, reason);
        return false;
    }
    return true;
}

} // namespace

const char kNotRegularFile[] = "It is not a regular file.";

QString CannotCreateText(const QString &path, const QString &reason)
{
    return QString("Cannot create file \"%1\". %2").arg(path, reason);
}

FileIdentity IdentityOf(const QString &path, const QByteArray &bytes)
{
    FileIdentity id;
    struct stat st {};
    if (Stat(path, st))
        TakeStat(st, id);
    id.size = bytes.size();
    id.hash = IdentityHash(bytes);
    return id;
}

FileIdentity StateOf(const QString &path)
{
    FileIdentity id;
    struct stat st {};
    if (Stat(path, st))
        TakeStat(st, id);
    return id;
}

bool ChangedOnDisk(const QString &path, FileIdentity &known)
{
    struct stat st {};
    // A note that has gone is written again: the notepad's text is the
    // newest there is.
    if (!Stat(path, st))
        return false;
    if (!known.exists || !S_ISREG(st.st_mode))
        return true;
    FileIdentity now = known;
    TakeStat(st, now);
    if (now.size == known.size && now.mtimeNs == known.mtimeNs && now.ctimeNs == known.ctimeNs
        && now.inode == known.inode)
        return false;
    if (now.size != known.size)
        return true;
    // Weighed by its bytes, a block at a time: never held whole.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return true;
    std::size_t hash = 0;
    const bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == known.size
                      && HashOfFile(fd, known.size, hash) && hash == known.hash;
    ::close(fd);
    if (same)
        known = now;
    return !same;
}

namespace {

template <class Bytes>
bool ReadWhole(const QString &path, Bytes &bytes, QString &reason, FileIdentity *identity)
{
    bytes.clear();
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = qt_error_string(errno);
        return false;
    }
    const auto closeFile = qScopeGuard([fd] { ::close(fd); }); // also when memory runs out
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = st.st_mode == 0 ? qt_error_string(errno) : kNotRegularFile;
        return false;
    }
    // The size told is a hint: the file may grow or shrink as it is read.
    qsizetype have = 0;
    bytes.resize(qsizetype(st.st_size) + 1);
    while (true) {
        if (have == bytes.size())
            bytes.resize(have + std::max<qsizetype>(have / 2, 65536));
        const ssize_t n = ::read(fd, bytes.data() + have, std::size_t(bytes.size() - have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reason = qt_error_string(errno);
            bytes.clear();
            return false;
        }
        if (n == 0)
            break;
        have += n;
    }
    bytes.truncate(have);
    bytes.squeeze();
    if (identity) {
        *identity = {};
        TakeStat(st, *identity);
        identity->size = bytes.size();
        identity->hash = IdentityHash({bytes.data(), bytes.size()});
    }
    return true;
}

} // namespace

bool ReadWholeFile(const QString &path, QByteArray &bytes, QString &reason, FileIdentity *identity)
{
    return ReadWhole(path, bytes, reason, identity);
}

bool ReadWholeFile(const QString &path, FileBytes &bytes, QString &reason, FileIdentity *identity)
{
    return ReadWhole(path, bytes, reason, identity);
}

bool ReadInPieces(const QString &path, const FileIdentity &known,
                  const std::function<bool(QByteArrayView, std::int64_t)> &put)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    FileIdentity now = known;
    const bool same =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (TakeStat(st, now), now.SameState(known));
    bool ok = same;
    QByteArray piece(same ? 1 << 20 : 0, Qt::Uninitialized);
    for (std::int64_t at = 0; ok && at < known.size;) {
        const ssize_t n =
            ::pread(fd, piece.data(),
                    std::size_t(std::min<std::int64_t>(piece.size(), known.size - at)), off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0 && put(QByteArrayView(piece.constData(), n), at);
        at += n;
    }
    // Written to meanwhile: what was handed over may be torn.
    ok = ok && ::fstat(fd, &st) == 0 && (TakeStat(st, now), now.SameState(known));
    ::close(fd);
    return ok;
}

FileBytes::~FileBytes()
{
    clear();
}

void FileBytes::clear()
{
    if (mapped_ != 0)
        ::munmap(data_, mapped_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
}

void FileBytes::resize(qsizetype size)
{
    const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
    const std::size_t want =
        std::max<std::size_t>((std::size_t(size) + page - 1) / page * page, page);
    if (want > mapped_) {
        void *p = mapped_ == 0 ? ::mmap(nullptr, want, PROT_READ | PROT_WRITE,
                                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                               : ::mremap(data_, mapped_, want, MREMAP_MAYMOVE);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        data_ = static_cast<char *>(p);
        mapped_ = want;
    }
    size_ = size;
}

void FileBytes::Release(qsizetype upTo)
{
    const auto page = qsizetype(::sysconf(_SC_PAGESIZE));
    const qsizetype whole = std::min(upTo, size_) / page * page;
    if (whole > 0)
        ::madvise(data_, std::size_t(whole), MADV_DONTNEED);
}

AtomicFile::~AtomicFile()
{
    Abandon();
}

void AtomicFile::Abandon()
{
    inPlaceBytes_.clear();
    if (fd_ < 0)
        return;
    ::close(fd_);
    fd_ = -1;
    if (!temp_.isEmpty())
        ::unlink(temp_.constData());
}

bool AtomicFile::Fail(int error, QString &reason)
{
    Abandon();
    reason = qt_error_string(error);
    return false;
}

bool AtomicFile::Open(const QString &path, QString &reason, const WriteOptions &options)
{
    Abandon();
    options_ = options;
    size_ = 0;
    inPlace_ = false;
    // Absolute: the name is given at the commit, and the working folder may
    // have changed by then.
    file_ = QFile::encodeName(
        QFileInfo(options.followLink ? FinalTarget(path) : path).absoluteFilePath());
    struct stat old {};
    const bool exists = (options.followLink ? ::stat : ::lstat)(file_.constData(), &old) == 0;
    const bool replacing = exists && S_ISREG(old.st_mode);
    if (exists && !replacing && !S_ISLNK(old.st_mode)) {
        reason = kNotRegularFile;
        return false;
    }
    if (replacing && ::faccessat(AT_FDCWD, file_.constData(), W_OK, AT_EACCESS) != 0)
        return Fail(errno, reason);
    // The mode is the file's from the first byte on: the note's text is
    // never readable by others, not even for a moment.
    mode_t mode = replacing ? old.st_mode & 07777 : options.privateFile ? 0600 : 0666;
    temp_.clear();
    fd_ = CreateUnnamed(file_, replacing ? 0600 : mode);
    if (fd_ < 0)
        fd_ = CreateTemporary(file_, replacing ? 0600 : mode, temp_);
    if (fd_ < 0) {
        const int error = errno;
        if (!options.inPlaceIfNeeded || !replacing
            || (error != EACCES && error != EPERM && error != EROFS))
            return Fail(error, reason);
        // Written in place only once every byte has come: a write cut
        // short leaves the file as it was.
        inPlace_ = true;
        return true;
    }
    // The new file's owners are compared, not this user's: in a setgid folder
    // it takes the folder's group.
    struct stat made {};
    if (replacing
        && (::fstat(fd_, &made) != 0 || made.st_uid != old.st_uid || made.st_gid != old.st_gid)
        && ::fchown(fd_, old.st_uid, old.st_gid) != 0 && ::fchown(fd_, -1, old.st_gid) != 0) {
        // Only root may give a file away: the file becomes this user's, as
        // any editor's save makes it, and what its group could read, this
        // user's own group may not.
        mode &= ~mode_t(070);
    }
    // Only a umask that takes the owner's own rights, or a file replaced,
    // leaves the mode to be set; a file exported takes the umask's.
    const bool setMode = (replacing || options.privateFile)
                         && (::fstat(fd_, &made) != 0 || (made.st_mode & 07777) != mode);
    if (setMode && ::fchmod(fd_, mode) != 0)
        return Fail(errno, reason);
    return true;
}

bool AtomicFile::Write(QByteArrayView bytes, std::int64_t at, QString &reason)
{
    if (inPlace_) {
        inPlaceBytes_.truncate(qsizetype(at));
        inPlaceBytes_ += bytes;
        size_ = inPlaceBytes_.size();
        return true;
    }
    int error = 0;
    if (at < size_ && ::ftruncate(fd_, off_t(at)) != 0)
        return Fail(errno, reason);
    if (!WriteAll(fd_, bytes, at, error))
        return Fail(error, reason);
    size_ = at + bytes.size();
    return true;
}

bool AtomicFile::Commit(QString &reason)
{
    int error = 0;
    if (inPlace_) {
        const int fd = ::open(file_.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0)
            return Fail(errno, reason);
        bool written = WriteAll(fd, inPlaceBytes_, 0, error) && SyncData(fd, error);
        inPlaceBytes_.clear();
        if (::close(fd) != 0 && written) {
            written = false;
            error = errno;
        }
        if (!written)
            reason = qt_error_string(error);
        return written;
    }
    if (!SyncData(fd_, error))
        return Fail(error, reason);
    // Hashed while no other program can reach the file: once it has the
    // note's name, another's write could be taken for this one.
    std::size_t hash = 0;
    const bool hashed = options_.written && HashOfFile(fd_, size_, hash);
    // Some file systems log a name only when its file is synced with it.
    const auto syncName = [this, &error] {
        if (::fsync(fd_) == 0)
            return true;
        error = errno;
        return false;
    };
    // An unnamed file that replaces has a name only for as long as the
    // rename takes; the last look at the file it replaces comes after.
    if (temp_.isEmpty() && options_.replace) {
        if (!NameTemporary(fd_, file_, temp_))
            return Fail(errno, reason);
        if (!syncName())
            return Fail(error, reason);
    }
    if (options_.beforeReplace && !options_.beforeReplace()) {
        Abandon();
        reason.clear();
        return false;
    }
    if (temp_.isEmpty()) { // takes the file's own name, where none is
        if (!NameUnnamed(fd_, file_))
            return Fail(errno, reason);
        if (!syncName()) {
            ::unlink(file_.constData()); // ours: the name was free
            return Fail(error, reason);
        }
    } else if (!Rename(temp_, file_, options_.replace)) {
        return Fail(errno, reason);
    }
    const int fd = std::exchange(fd_, -1); // no longer a temporary to remove
    // Told by the file itself: another program's file may take the name a
    // moment later.
    struct stat done {};
    if (options_.written && ::fstat(fd, &done) == 0) {
        *options_.written = {};
        TakeStat(done, *options_.written);
        options_.written->size = size_;
        options_.written->hash = hash;
        options_.written->exists = hashed; // else taken as changed at the next look
    }
    if (::close(fd) != 0) {
        reason = qt_error_string(errno);
        return false;
    }
    SyncFolder(file_.left(std::max<qsizetype>(file_.lastIndexOf('/'), 1)));
    return true;
}

bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString &reason,
                         const WriteOptions &options)
{
    AtomicFile file;
    return file.Open(path, reason, options) && file.Write(bytes, 0, reason) && file.Commit(reason);
}

bool WriteQueue::Put(std::int64_t at, QByteArray bytes)
{
    const QMutexLocker lock(&mutex_);
    if (closed_)
        return false;
    waiting_ += bytes.size();
    pieces_.emplace_back(at, std::move(bytes));
    ready_.wakeAll();
    return true;
}

void WriteQueue::Finish()
{
    const QMutexLocker lock(&mutex_);
    finished_ = true;
    ready_.wakeAll();
}

void WriteQueue::Cancel()
{
    const QMutexLocker lock(&mutex_);
    cancelled_ = !finished_; // every piece in: the write goes on
    ready_.wakeAll();
}

qsizetype WriteQueue::Waiting() const
{
    const QMutexLocker lock(&mutex_);
    return waiting_;
}

void WriteQueue::WaitBelow(qsizetype bytes)
{
    QMutexLocker lock(&mutex_);
    while (waiting_ >= bytes && !closed_)
        taken_.wait(&mutex_);
}

bool WriteQueue::Closed() const
{
    const QMutexLocker lock(&mutex_);
    return closed_;
}

bool WriteQueue::Take(std::int64_t &at, QByteArray &bytes, bool &finished)
{
    QMutexLocker lock(&mutex_);
    while (pieces_.empty() && !finished_ && !cancelled_)
        ready_.wait(&mutex_);
    finished = finished_ && !cancelled_ && pieces_.empty();
    if (pieces_.empty() || cancelled_)
        return false;
    at = pieces_.front().first;
    bytes = std::move(pieces_.front().second);
    pieces_.pop_front();
    waiting_ -= bytes.size();
    taken_.wakeAll();
    return true;
}

void WriteQueue::Close()
{
    const QMutexLocker lock(&mutex_);
    closed_ = true;
    pieces_.clear();
    waiting_ = 0;
    taken_.wakeAll();
}

bool WriteFromQueue(const QString &path, WriteQueue &queue, QString &reason,
                    const WriteOptions &options)
{
    AtomicFile file;
    bool ok = file.Open(path, reason, options);
    std::int64_t at = 0;
    QByteArray bytes;
    bool finished = false;
    while (ok && queue.Take(at, bytes, finished))
        ok = file.Write(bytes, at, reason);
    queue.Close();
    if (ok && !finished)
        reason = qt_error_string(ECANCELED);
    return ok && finished && file.Commit(reason);
}

bool RenameWithoutReplacing(const QString &from, const QString &to)
{
    return Rename(QFile::encodeName(from), QFile::encodeName(to), false);
}

bool MakePrivateFolder(const QString &folder, QString &reason)
{
    const QByteArray path = QFile::encodeName(QDir::cleanPath(QDir(folder).absolutePath()));
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        const QByteArray part = path.left(i);
        if (::mkdir(part.constData(), 0700) == 0) {
            // A umask that takes the owner's own rights away does not apply.
            struct stat st {};
            if (::stat(part.constData(), &st) == 0 && (st.st_mode & 0777) != 0700)
                ::chmod(part.constData(), 0700);
            SyncFolder(part.left(std::max<qsizetype>(part.lastIndexOf('/'), 1)));
        } else if (errno != EEXIST) {
            reason = qt_error_string(errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        reason = qt_error_string(S_ISDIR(st.st_mode) ? errno : ENOTDIR);
        return false;
    }
    return true;
}

bool CanCreateFilesIn(const QString &folder)
{
    QTemporaryFile probe(WithSeparator(folder) + ".quorvin-probe-XXXXXX");
    return probe.open();
}

bool IsProgramsFolder(const QString &folder, const QString &installBinFolder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    const QString standard[] = {
        installBinFolder, "/usr/bin", "/usr/local/bin", "/bin",
        "/usr/sbin",      "/sbin",    "/usr/games",     QDir::homePath() + "/.local/bin",
    };
    for (const QString &s : standard)
        if (!s.isEmpty() && QFileInfo(s).canonicalFilePath() == canonical)
            return true;
    return false;
}

QString WithSeparator(const QString &folder)
{
    return folder.endsWith('/') ? folder : folder + '/';
}

namespace {

constexpr char kCarriedRecord[] = "npad.carried";

QString Canonical(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
}

} // namespace

QStringList CarriedFrom(const QString &folder)
{
    QByteArray bytes;
    QString unused;
    QStringList folders;
    if (!ReadWholeFile(QDir(folder).filePath(kCarriedRecord), bytes, unused))
        return folders;
    for (const QString &line : QString::fromUtf8(bytes).split('\n', Qt::SkipEmptyParts))
        if (!line.startsWith('#'))
            folders << line;
    return folders;
}

NotePlace ChooseNotePlace(const QString &programFolder, bool usable, const QString &dataFolder)
{
    if (!usable)
        return NotePlace(WithSeparator(dataFolder), WithSeparator(programFolder));
    if (CarriedFrom(dataFolder).contains(Canonical(programFolder)))
        return NotePlace(WithSeparator(dataFolder));
    return NotePlace(WithSeparator(programFolder));
}

CarryOutcome CarryNoteAcross(const QString &from, const QString &to, QString &reason)
{
    const QDir src(from), dst(to);
    if (!QFileInfo::exists(src.filePath("npad.txt")) || QFileInfo::exists(dst.filePath("npad.txt")))
        return CarryOutcome::NothingToCarry;
    if (!MakePrivateFolder(to, reason)) {
        reason = QString("Cannot create folder \"%1\". %2").arg(to, reason);
        return CarryOutcome::Failed;
    }
    // The settings first: the note's arrival is what marks the carry as done.
    if (QFileInfo::exists(src.filePath("npad.ini")) && !QFileInfo::exists(dst.filePath("npad.ini"))
        && !CopyFile(src.filePath("npad.ini"), dst.filePath("npad.ini"), reason))
        return CarryOutcome::Failed;
    // What was typed into the note there and never saved comes along.
    if (QFileInfo::exists(src.filePath("npad.journal"))
        && !CopyFile(src.filePath("npad.journal"), dst.filePath("npad.journal"), reason))
        return CarryOutcome::Failed;
    if (!CopyFile(src.filePath("npad.txt"), dst.filePath("npad.txt"), reason))
        return CarryOutcome::Failed;
    // Without the record, a program folder writable again would bring back
    // the note as it was before the carry.
    QStringList record = CarriedFrom(to);
    const QString origin = Canonical(from);
    if (!record.contains(origin)) {
        record.prepend("# Program folders whose note was carried here. Each uses the note here "
                       "until its line is removed.");
        record << origin;
        const QString path = dst.filePath(kCarriedRecord);
        WriteOptions options;
        options.followLink = false;
        if (!WriteFileAtomically(path, (record.join('\n') + '\n').toUtf8(), reason, options)) {
            reason = CannotCreateText(path, reason);
            return CarryOutcome::Failed;
        }
    }
    return CarryOutcome::Carried;
}

QString UnsavedNotePath(const QString &folder, const QDateTime &now)
{
    const QString stem = QDir(folder).filePath("npad-unsaved-" + now.toString("yyyyMMdd-HHmmss"));
    QString path = stem + ".txt";
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QString("%1-%2.txt").arg(stem).arg(n);
    return path;
}

void NoteRead::Run()
{
    if (!ReadWholeFile(path, bytes, failure, &disk))
        return;
    failure = NoteRefusal(bytes.View());
    if (!failure.isEmpty()) {
        bytes.clear();
        disk = {};
    }
}

void NoteWrite::Run()
{
    // Whatever ends the write, the side that takes the text hears of it.
    const auto closeQueue = qScopeGuard([this] { pieces->Close(); });
    try {
        Write();
    } catch (const std::bad_alloc &) {
        reason = qt_error_string(ENOMEM);
        outcome = Outcome::Failed;
    }
}

void NoteWrite::Write()
{
    // Never replaced, and no question about it: a FIFO, a folder.
    struct stat st {};
    if (Stat(path, st) && !S_ISREG(st.st_mode)) {
        reason = kNotRegularFile;
        outcome = Outcome::Failed;
        return;
    }
    if (!replaceChanged && ChangedOnDisk(path, disk)) {
        outcome = Outcome::ChangedOutside;
        return;
    }
    if (!MakePrivateFolder(QFileInfo(path).path(), reason)) {
        outcome = Outcome::Failed;
        return;
    }
    // Encoding, writing and syncing a large note take long enough for
    // another program to write the note meanwhile: it is looked at again
    // just before the rename.
    bool changed = false;
    WriteOptions options;
    FileIdentity written;
    options.written = &written;
    options.beforeReplace = [&] {
        if (onSynced)
            onSynced();
        changed = !replaceChanged && ChangedOnDisk(path, disk);
        return !changed;
    };
    if (!WriteFromQueue(path, *pieces, reason, options)) {
        outcome = changed ? Outcome::ChangedOutside : Outcome::Failed;
        return;
    }
    disk = written;
    outcome = Outcome::Written;
}
