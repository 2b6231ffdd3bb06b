#include "filewriting.h"

#include "filereading.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kRenameNoReplace = 1; // RENAME_NOREPLACE

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

constexpr char kTemporaryChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr int kTemporaryTail = 6;

// Tries `make` on names beside `file` that no other program takes for a
// note, until one is free; -1 with errno set otherwise.
template <typename Make> int OnTemporaryName(const QByteArray &file, QByteArray &temp, Make make)
{
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray stem = file.left(slash + 1) + '.' + file.mid(slash + 1) + '.';
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = stem;
        for (int i = 0; i < kTemporaryTail; ++i)
            temp += kTemporaryChars[QRandomGenerator::global()->bounded(int(sizeof kTemporaryChars)
                                                                        - 1)];
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

} // namespace

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

QString CannotCreateText(const QString &path, const QString &reason)
{
    return QString("Cannot create file \"%1\". %2").arg(path, reason);
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

bool AtomicFile::CommitInPlace(QString &reason)
{
    int error = 0;
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

bool AtomicFile::Name(int &error)
{
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
        if (!NameTemporary(fd_, file_, temp_)) {
            error = errno;
            return false;
        }
        if (!syncName())
            return false;
    }
    if (options_.beforeReplace && !options_.beforeReplace()) {
        error = 0; // left as it is, with no reason
        return false;
    }
    if (!temp_.isEmpty()) {
        if (Rename(temp_, file_, options_.replace))
            return true;
        error = errno;
        return false;
    }
    // Takes the file's own name, where none is.
    if (!NameUnnamed(fd_, file_)) {
        error = errno;
        return false;
    }
    if (syncName())
        return true;
    ::unlink(file_.constData()); // ours: the name was free
    return false;
}

bool AtomicFile::Commit(QString &reason)
{
    if (inPlace_)
        return CommitInPlace(reason);
    int error = 0;
    if (!SyncData(fd_, error))
        return Fail(error, reason);
    // Hashed while no other program can reach the file: once it has the
    // note's name, another's write could be taken for this one.
    std::size_t hash = 0;
    const bool hashed = options_.written && HashOfFile(fd_, size_, hash);
    if (!Name(error)) {
        Abandon();
        reason = error == 0 ? QString() : qt_error_string(error);
        return false;
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
    const std::lock_guard lock(mutex_);
    if (closed_)
        return false;
    waiting_ += bytes.size();
    pieces_.emplace_back(at, std::move(bytes));
    ready_.notify_all();
    return true;
}

void WriteQueue::Finish()
{
    const std::lock_guard lock(mutex_);
    finished_ = true;
    ready_.notify_all();
}

void WriteQueue::Cancel()
{
    const std::lock_guard lock(mutex_);
    cancelled_ = !finished_; // every piece in: the write goes on
    ready_.notify_all();
}

qsizetype WriteQueue::Waiting() const
{
    const std::lock_guard lock(mutex_);
    return waiting_;
}

void WriteQueue::WaitBelow(qsizetype bytes)
{
    std::unique_lock lock(mutex_);
    taken_.wait(lock, [&] { return waiting_ < bytes || closed_; });
}

bool WriteQueue::AskForRoom(qsizetype bytes)
{
    const std::lock_guard lock(mutex_);
    if (waiting_ < bytes || closed_)
        return false;
    roomBelow_ = bytes;
    return true;
}

bool WriteQueue::Closed() const
{
    const std::lock_guard lock(mutex_);
    return closed_;
}

bool WriteQueue::Take(std::int64_t &at, QByteArray &bytes, bool &finished)
{
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !pieces_.empty() || finished_ || cancelled_; });
    finished = finished_ && !cancelled_ && pieces_.empty();
    if (pieces_.empty() || cancelled_)
        return false;
    at = pieces_.front().first;
    bytes = std::move(pieces_.front().second);
    pieces_.pop_front();
    waiting_ -= bytes.size();
    taken_.notify_all();
    const bool room = roomBelow_ > 0 && waiting_ < roomBelow_;
    if (room)
        roomBelow_ = 0;
    lock.unlock();
    if (room && room_)
        room_();
    return true;
}

void WriteQueue::Close()
{
    std::unique_lock lock(mutex_);
    closed_ = true;
    pieces_.clear();
    waiting_ = 0;
    taken_.notify_all();
    const bool room = std::exchange(roomBelow_, 0) > 0;
    lock.unlock();
    if (room && room_)
        room_();
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

bool IsTemporaryName(const QString &name, const QString &file)
{
    const QString stem = '.' + file + '.';
    if (name.size() != stem.size() + kTemporaryTail || !name.startsWith(stem))
        return false;
    const QByteArrayView chars(kTemporaryChars);
    return std::all_of(name.end() - kTemporaryTail, name.end(), [&chars](QChar c) {
        return c.unicode() < 128 && chars.contains(char(c.unicode()));
    });
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
