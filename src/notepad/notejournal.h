#pragma once

#include "filereading.h"
#include "noteencoding.h"
#include "noteworker.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class QTimer;

// The journal beside the note ("npad.journal"): every change of the memo
// since the note file last held its text, appended as it is made, so that a
// kill, a crash or a lost display loses none of it, and a power cut at most
// a second of it.
//
// Layout: a header naming the note file's state it starts from and the
// note's encoding; that state's bytes, copied in by a thread of its own (for
// when the note file has changed by the time the journal is read); then the
// changes. Each change carries a checksum: a torn or corrupt one ends what is
// read, and is never applied.

struct JournalHeader {
    FileIdentity base; // the note file the changes apply to
    NoteEncoding encoding = NoteEncoding::Utf8;
    NoteBreaks breaks = NoteBreaks::CrLf;
};

struct JournalEdit {
    std::int64_t position = 0; // in the text, line breaks one character each
    std::int64_t removed = 0;
    QString inserted;
};

constexpr qsizetype kJournalHeaderSize = 60;

QByteArray JournalHeaderBytes(const JournalHeader &header);
QByteArray JournalEditBytes(const JournalEdit &edit);

// What a journal's bytes hold.
struct JournalContents {
    bool headerRead = false; // a journal of this program's, its header whole
    JournalHeader header;
    QByteArray base;        // the base state's bytes, when they were copied whole
    bool baseWhole = false; // ... and match the header
    std::vector<JournalEdit> edits;
};
JournalContents ReadJournal(QByteArrayView bytes);

// Applies `edits` to `text` in turn, up to the first that does not fit it;
// how many were applied.
std::size_t ApplyEdits(QString &text, const std::vector<JournalEdit> &edits);

// What a journal left by a run that did not end well asks for, weighed
// against the note as it is now.
struct RecoveryPlan {
    enum class Step {
        Discard,   // nothing typed is missing from the note
        Replay,    // the note with what was typed, as unsaved text
        KeepAside, // the note has changed since: the text goes to a file of its own
        SetAside,  // the journal can't be read: renamed, never deleted
    };
    Step step = Step::Discard;
    QString text; // Replay, KeepAside: the text with every change
    // Replay: the changes after the note file's state, for the journal that
    // goes on.
    std::vector<JournalEdit> rest;
    NoteEncoding encoding = NoteEncoding::Utf8; // KeepAside: as the note was
    NoteBreaks breaks = NoteBreaks::CrLf;
};

// The plan for `journal` over the note whose text is `note`: `noteExists`,
// and `noteIsBase` when the note file is still the state the journal began
// over. The changes go over that state, or over the note as an autosave cut
// short by the end left it: after some of them.
RecoveryPlan PlanRecovery(const JournalContents &journal, const QString &note, bool noteExists,
                          bool noteIsBase);

// What was done with a journal left behind, as its plan asked, and what the
// user is told of it, in turn: notices, and failures of file access.
struct RecoveryDone {
    bool replay = false; // the plan's text is for the note, as unsaved text
    bool kept = false;   // the journal could not be set aside: none goes over it
    struct Message {
        bool failure;
        QString text;
    };
    std::vector<Message> messages;
};

// Carries out `plan` for the journal at `path` (`own`: the user's own, no
// other user may write it): removes it, sets it aside as
// "<path>.bad-<yyyymmdd>-<hhmmss>" (never deleted unread), or keeps the text
// it holds in a file of its own in the first of `unsavedFolders` that takes
// it. A replay is the caller's.
RecoveryDone CarryOutRecovery(const RecoveryPlan &plan, bool own, const QString &path,
                              const QStringList &unsavedFolders);

// Writes the journal: appends on the calling thread, small write(2) calls;
// copies of the base and syncs on a thread of its own, at most once a
// second, and 300 ms after a change when none was made in the second before.
class NoteJournal : public QObject {
    Q_OBJECT

  public:
    explicit NoteJournal(const QString &path, QObject *parent = nullptr);
    ~NoteJournal() override;

    const QString &Path() const { return path_; }
    // From Start until Remove, even when it could not be written: a journal
    // starts only over a note file that holds the memo's text.
    bool Started() const { return started_; }

    // A new journal over the note file at `notePath` in state `base`; with
    // `edits` made already, as change `number`.
    void Start(const QString &notePath, const JournalHeader &header,
               const std::vector<JournalEdit> &edits, std::uint64_t number);
    // Change number `number` of the memo.
    void Append(std::uint64_t number, const JournalEdit &edit);
    // The note file at `notePath` now holds the text as of change `upTo`,
    // in state `header.base`: the journal keeps only the changes after it.
    void Rebase(const QString &notePath, const JournalHeader &header, std::uint64_t upTo);
    // The note file holds the text: no journal is needed.
    void Remove();

    // Waits until everything asked of the journal's thread is done.
    void Flush();
    int Syncs() const { return syncs_; }

  signals:
    // The journal could not be made, written or synced: what the user is
    // told, with its path and the system's reason; once, until one has been
    // written again.
    void failed(const QString &message);
    // The note file's bytes the journal begins over were gone before they
    // could be copied in: it holds no text to go over.
    void baseLost();

  private:
    bool Open(const QString &notePath, const JournalHeader &header,
              const std::vector<std::pair<std::uint64_t, QByteArray>> &edits);
    // The new journal, header and changes written, under its temporary
    // name: its file, or -1 with error_ set.
    int Create(const JournalHeader &header, const QByteArray &changes);
    // The new journal takes the old one's place; false with error_ set.
    bool PutInPlace();
    // The new journal, not in place yet, goes.
    void Abandon();
    void CopyBaseIn(const QString &notePath, const FileIdentity &base);
    void Close();
    void Fail(int error);
    void Failed(int error);
    void Sync();
    void SyncWhenDue();

    QString path_;
    QByteArray folder_;
    int fd_ = -1;
    bool started_ = false;
    bool failed_ = false;
    int error_ = 0;           // why the last Open failed
    unsigned generation_ = 0; // one more for each journal begun
    bool reported_ = false;
    bool newEntry_ = false; // the folder has not been synced since the file was made
    std::int64_t end_ = 0;  // where the next change goes
    std::vector<std::pair<std::uint64_t, QByteArray>> edits_; // since the base
    // The journal on its way, until it is synced and in place.
    struct Next {
        int fd;
        std::int64_t end;
        std::vector<std::pair<std::uint64_t, QByteArray>> edits;
        QString notePath;
        FileIdentity base;
    };
    std::optional<Next> next_;
    QTimer *syncTimer_;
    std::int64_t unsyncedSince_ = -1, lastChange_ = 0, lastSync_ = -1000000;
    int syncs_ = 0;
    NoteWorker worker_;
};
