#pragma once

#include "filereading.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

// Writes that replace a file whole or not at all, durably, and the folders
// they go into.

struct WriteOptions {
    // A new file is readable by its owner alone, whatever the umask; else the
    // umask decides, as for a file the user exports.
    bool privateFile = true;
    // A writable file in a folder where no file can be created is written in
    // place, not whole-or-nothing.
    bool inPlaceIfNeeded = false;
    // False: a file of that name is never replaced; the write fails with
    // EEXIST's reason instead.
    bool replace = true;
    // False: a symbolic link of that name is replaced itself, its target
    // left alone, as for a file the program makes for itself.
    bool followLink = true;
    // Asked once the new bytes are written and synced, just before they take
    // the file's place; false leaves the file as it is (and `reason` empty).
    std::function<bool()> beforeReplace;
    // Out: the file as written, its bytes included, told by the file itself
    // (not by whatever lies at the path a moment later).
    FileIdentity *written = nullptr;
};

// The error text for a file that can't be written.
QString CannotCreateText(const QString &path, const QString &reason);

// Writes a file so that it is either wholly replaced or left as it was, and
// stays so through a power cut: a new file in the same folder, synced, put
// in the file's place, and the folder synced. The new file has no name until
// it is whole (a hidden temporary one where the file system can't do that),
// so that a kill in the middle leaves nothing behind. The file keeps the mode and
// owner of the file it replaces (where the owner can't be kept, its group
// loses its rights); a symbolic link's target is written; what exists and is
// no regular file is never replaced. False with the system's reason ("No
// space left on device", not "Unknown error").
bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString &reason,
                         const WriteOptions &options = {});

// The same write, its bytes given a piece at a time; whatever is not
// committed leaves the file as it was.
class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;
    ~AtomicFile();

    bool Open(const QString &path, QString &reason, const WriteOptions &options = {});
    // `bytes` at `at`, and whatever was written after it gone: a write may
    // take its text again from a point.
    bool Write(QByteArrayView bytes, std::int64_t at, QString &reason);
    bool Commit(QString &reason);

  private:
    void Abandon();
    bool Fail(int error, QString &reason);
    bool CommitInPlace(QString &reason);
    // Gives the written file its name; false with the system's error, or
    // 0 where the last look at the file it replaces kept it.
    bool Name(int &error);

    QByteArray file_, temp_;
    int fd_ = -1;
    bool inPlace_ = false;
    QByteArray inPlaceBytes_; // held until the commit
    std::int64_t size_ = 0;
    WriteOptions options_;
};

// A write's bytes on their way from the thread that takes the text to the
// write's own: each piece with where in the file it goes.
class WriteQueue {
  public:
    // False once the write has ended without it.
    bool Put(std::int64_t at, QByteArray bytes);
    void Finish(); // every piece is in
    void Cancel(); // none will come: the write ends, leaving the file as it was
    // Bytes put, not yet taken.
    qsizetype Waiting() const;
    // Waits until fewer than `bytes` wait, or the write has ended.
    void WaitBelow(qsizetype bytes);
    // Where `bytes` or more wait: `room`, set before the write began, is
    // called on the write's thread once fewer do, or the write has ended;
    // false, and nothing called, when fewer already wait.
    bool AskForRoom(qsizetype bytes);
    void SetRoom(std::function<void()> room) { room_ = std::move(room); }
    bool Closed() const;

    // The write's side: waits for the next piece. False when none is left;
    // `finished` then says whether all of them came.
    bool Take(std::int64_t &at, QByteArray &bytes, bool &finished);
    void Close(); // the write ended: Put fails from now on

  private:
    mutable std::mutex mutex_;
    std::condition_variable ready_, taken_;
    std::deque<std::pair<std::int64_t, QByteArray>> pieces_;
    qsizetype waiting_ = 0;
    qsizetype roomBelow_ = 0; // asked for, not yet told
    std::function<void()> room_;
    bool finished_ = false, cancelled_ = false, closed_ = false;
};

// WriteFileAtomically, for bytes that come through `queue`; the queue is
// closed once the write has ended.
bool WriteFromQueue(const QString &path, WriteQueue &queue, QString &reason,
                    const WriteOptions &options = {});

// Whether `name` is one a write of the file `file` in the same folder gives
// its new bytes until they take the file's place: a kill in between leaves
// it behind.
bool IsTemporaryName(const QString &name, const QString &file);

// Renames a file where no file of that name is; false with errno set.
bool RenameWithoutReplacing(const QString &from, const QString &to);

// Makes a folder and the folders above it that are missing, each open to its
// owner alone; false with the system's reason.
bool MakePrivateFolder(const QString &folder, QString &reason);

// Syncs a folder, so that a rename or a new entry in it lasts; a folder that
// can't be synced has nothing more to give.
void SyncFolder(const QByteArray &folder);
