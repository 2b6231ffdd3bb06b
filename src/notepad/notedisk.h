#pragma once

#include "noteencoding.h"

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

// The notepad's files on disk: whole reads, writes that replace a file whole
// or not at all, what a file was when the notepad last read or wrote it, and
// where the note lies.

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

// Reads a whole file; false with the system's reason when it can't. Only a
// regular file is read, and opening never waits (a FIFO would wait for ever).
// `identity`, when given, is what the file was as the reading began.
bool ReadWholeFile(const QString &path, QByteArray &bytes, QString &reason,
                   FileIdentity *identity = nullptr);

// Hands the file's bytes to `put` a piece at a time, with where each begins,
// while the file is the one `known` names as the system tells it (never
// held whole); false when it is not, before anything is handed over, or
// when the reading or `put` fails.
bool ReadInPieces(const QString &path, const FileIdentity &known,
                  const std::function<bool(QByteArrayView, std::int64_t)> &put);

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

// The reason given for a note that is no regular file.
extern const char kNotRegularFile[];

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
    bool Closed() const;

    // The write's side: waits for the next piece. False when none is left;
    // `finished` then says whether all of them came.
    bool Take(std::int64_t &at, QByteArray &bytes, bool &finished);
    void Close(); // the write ended: Put fails from now on

  private:
    mutable QMutex mutex_;
    QWaitCondition ready_, taken_;
    std::deque<std::pair<std::int64_t, QByteArray>> pieces_;
    qsizetype waiting_ = 0;
    bool finished_ = false, cancelled_ = false, closed_ = false;
};

// WriteFileAtomically, for bytes that come through `queue`; the queue is
// closed once the write has ended.
bool WriteFromQueue(const QString &path, WriteQueue &queue, QString &reason,
                    const WriteOptions &options = {});

// What a file's identity holds of its bytes.
std::size_t IdentityHash(QByteArrayView bytes);

// Renames a file where no file of that name is; false with errno set.
bool RenameWithoutReplacing(const QString &from, const QString &to);

// Makes a folder and the folders above it that are missing, each open to its
// owner alone; false with the system's reason.
bool MakePrivateFolder(const QString &folder, QString &reason);

// Whether a file can be created in `folder` (tried, then removed).
bool CanCreateFilesIn(const QString &folder);

// Whether `folder` is one where installed programs lie (/usr/bin and the
// like, or `installBinFolder`), where a note has no place.
bool IsProgramsFolder(const QString &folder, const QString &installBinFolder);

// A folder's path with its trailing '/'.
QString WithSeparator(const QString &folder);

// Where the note lies, and the program folder whose note is to be carried
// into it when the note folder has none yet.
struct NotePlace {
    QString folder;
    QString leftBehind; // empty when there is nothing to carry
    NotePlace(const QString &noteFolder = {}, const QString &programFolder = {})
        : folder(noteFolder), leftBehind(programFolder)
    {
    }
};

// Where the note lies for a program in `programFolder`: beside it when the
// program has a folder of its own in which files can be created (`usable`),
// unless its note was once carried into `dataFolder`; else in `dataFolder`,
// into which the note beside the program is carried. Folders end with '/'.
NotePlace ChooseNotePlace(const QString &programFolder, bool usable, const QString &dataFolder);

// Copies "npad.txt", "npad.ini" and "npad.journal" byte for byte from `from`
// into `to` when `to` has no note yet and `from` has one; `from` is left
// untouched. A carry is recorded in `to` ("npad.carried"), so that the
// program in `from` keeps using the copy even once it could write beside
// itself again.
enum class CarryOutcome { NothingToCarry, Carried, Failed };
CarryOutcome CarryNoteAcross(const QString &from, const QString &to, QString &reason);

// The program folders whose note was carried into `folder`, as recorded there.
QStringList CarriedFrom(const QString &folder);

// A new file's name for text that could not be kept in the note:
// "npad-unsaved-<yyyymmdd>-<hhmmss>.txt", with "-2", "-3" … before ".txt"
// while a file of that name exists in `folder`.
QString UnsavedNotePath(const QString &folder, const QDateTime &now);

// One reading of the note file, checked to be a text note. Touches nothing
// else, so it may run on any thread.
struct NoteRead {
    QString path;

    FileBytes bytes;
    FileIdentity disk;
    QString failure; // why the file can't be read as a note; empty when it can

    void Run();
};

// One write of the note's text: checked against what the file was, and
// written whole. Touches nothing else, so it may run on any thread.
struct NoteWrite {
    enum class Outcome { Written, ChangedOutside, Failed };

    QString path; // the note file
    // The text's bytes, as they are taken; closed once the write has ended.
    std::shared_ptr<WriteQueue> pieces;
    NoteEncoding encoding = NoteEncoding::Utf8; // the one the bytes are in
    FileIdentity disk;                          // in: the file as last read or written; out: as now
    bool replaceChanged = false;                // write even over another program's change
    // Called once the new bytes lie synced beside the note, before the last
    // look at it: where another program's change would otherwise be lost.
    std::function<void()> onSynced;

    Outcome outcome = Outcome::Failed;
    QString reason; // with Failed: the system's reason

    void Run();

  private:
    void Write();
};
