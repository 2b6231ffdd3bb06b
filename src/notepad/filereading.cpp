#include "filereading.h"

#include <QFile>
#include <QScopeGuard>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <xxhash.h>

namespace {

bool Stat(const QString &path, struct stat &st)
{
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

// A block at a time, so that a file can be hashed without holding it whole.
constexpr qsizetype kHashBlock = 1 << 20;

} // namespace

void TakeStat(const struct stat &st, FileIdentity &id)
{
    id.exists = true;
    id.size = st.st_size;
    id.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.ctimeNs = std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    id.inode = st.st_ino;
}

std::size_t IdentityHash(QByteArrayView bytes)
{
    // XXH64, fixed by its definition: a journal's next run, under another
    // release of Qt or on another processor, weighs the note by it.
    return XXH64(bytes.data(), std::size_t(bytes.size()), 0);
}

bool HashOfFile(int fd, std::int64_t size, std::size_t &hash)
{
    const std::unique_ptr<XXH64_state_t, XXH_errorcode (*)(XXH64_state_t *)> state(
        XXH64_createState(), XXH64_freeState);
    if (!state || XXH64_reset(state.get(), 0) != XXH_OK)
        throw std::bad_alloc();
    QByteArray block(std::min<std::int64_t>(kHashBlock, size), Qt::Uninitialized);
    for (std::int64_t at = 0; at < size;) {
        const ssize_t r =
            ::pread(fd, block.data(), std::size_t(std::min<std::int64_t>(block.size(), size - at)),
                    off_t(at));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        XXH64_update(state.get(), block.constData(), std::size_t(r));
        at += r;
    }
    hash = XXH64_digest(state.get());
    return true;
}

const char kNotRegularFile[] = "It is not a regular file.";

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

// The rest of the regular file open as `fd`, whose state is `st`.
template <class Bytes>
bool ReadFrom(int fd, const struct stat &st, Bytes &bytes, QString &reason, FileIdentity *identity)
{
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
    return ReadFrom(fd, st, bytes, reason, identity);
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

OwnRead ReadOwnFile(const QString &path, QByteArray &bytes, QString &reason)
{
    bytes.clear();
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = qt_error_string(errno);
        return errno == ELOOP ? OwnRead::NotOwn : OwnRead::Unreadable;
    }
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    // Looked at as opened: no other file can take its place meanwhile.
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        reason = qt_error_string(errno);
        return OwnRead::Unreadable;
    }
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 022) != 0)
        return OwnRead::NotOwn;
    return ReadFrom(fd, st, bytes, reason, nullptr) ? OwnRead::Read : OwnRead::Unreadable;
}

bool FileIs(const QString &path, FileIdentity known)
{
    struct stat st {};
    const bool exists = Stat(path, st);
    if (!known.exists)
        return !exists;
    return exists && S_ISREG(st.st_mode) && !ChangedOnDisk(path, known);
}

bool ReadInPieces(const QString &path, const FileIdentity &known,
                  const std::function<bool(QByteArrayView, std::int64_t)> &put, std::int64_t from)
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
    for (std::int64_t at = from; ok && at < known.size;) {
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
