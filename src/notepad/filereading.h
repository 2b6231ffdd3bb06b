#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <sys/stat.h>

// Reading files as the notepad does: whole, or a piece at a time while they
// are the ones known, and what a file was when last read or written.

// What a file was: enough to tell that another program has changed it.
struct FileIdentity {
    bool exists = false;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0; // no program can set it back
    std::uint64_t inode = 0;
    std::size_t hash = 0; // of the bytes

    // The same file as the system tells it, without looking at the bytes.
    bool SameState(const FileIdentity &o) const
    {
        return exists == o.exists && size == o.size && mtimeNs == o.mtimeNs && ctimeNs == o.ctimeNs
               && inode == o.inode;
    }
};

// The identity of bytes just read from or written to `path`.
FileIdentity IdentityOf(const QString &path, const QByteArray &bytes);

// What the system tells of the file at `path`, its bytes not looked at:
// enough for SameState.
FileIdentity StateOf(const QString &path);

// Whether the file at `path` is no longer what `known` describes. The bytes
// are read only when the size, time or inode differ; `known` is brought up to
// date when only those changed (a touch, a copy of the same bytes).
bool ChangedOnDisk(const QString &path, FileIdentity &known);

// What a file's identity holds of its bytes.
std::size_t IdentityHash(QByteArrayView bytes);

// The identity's fields the system tells, from `st`.
void TakeStat(const struct stat &st, FileIdentity &id);

// IdentityHash of the first `size` bytes of the file open as `fd`, read a
// block at a time; false when they can't be read.
bool HashOfFile(int fd, std::int64_t size, std::size_t &hash);

// The reason given for a note that is no regular file.
extern const char kNotRegularFile[];

// Reads a whole file; false with the system's reason when it can't. Only a
// regular file is read, and opening never waits (a FIFO would wait for ever).
// `identity`, when given, is what the file was as the reading began.
bool ReadWholeFile(const QString &path, QByteArray &bytes, QString &reason,
                   FileIdentity *identity = nullptr);

// Reads a whole file that is this user's own, a regular file no other user
// may write, never through a link: NotOwn for any other, whose bytes are
// not read.
enum class OwnRead { Read, Unreadable, NotOwn };
OwnRead ReadOwnFile(const QString &path, QByteArray &bytes, QString &reason);

// Whether the file at `path` is in the state `known` describes, bytes and
// all (`known` naming no file: there is none).
bool FileIs(const QString &path, FileIdentity known);

// Hands the file's bytes from `from` on to `put` a piece at a time, with
// where each begins, while the file is the one `known` names as the system
// tells it (never held whole); false when it is not, before anything is
// handed over, or when the reading or `put` fails.
bool ReadInPieces(const QString &path, const FileIdentity &known,
                  const std::function<bool(QByteArrayView, std::int64_t)> &put,
                  std::int64_t from = 0);

// A file's bytes in memory of their own, handed back to the system a stretch
// at a time as they are used up: a large note's bytes and its text are never
// both held whole.
class FileBytes {
  public:
    FileBytes() = default;
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;
    ~FileBytes();

    QByteArrayView View() const { return {data_, size_}; }
    // Hands back the pages wholly before `upTo`; their bytes are gone.
    void Release(qsizetype upTo);

    // What a whole reading needs.
    char *data() { return data_; }
    qsizetype size() const { return size_; }
    void resize(qsizetype size);
    void truncate(qsizetype size) { size_ = std::min(size, size_); }
    void squeeze() {}
    void clear();

  private:
    char *data_ = nullptr;
    qsizetype size_ = 0;
    std::size_t mapped_ = 0;
};

bool ReadWholeFile(const QString &path, FileBytes &bytes, QString &reason,
                   FileIdentity *identity = nullptr);
