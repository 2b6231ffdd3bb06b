#pragma once

#include "journalformat.h"
#include "journalrecovery.h"
#include "noteworker.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class NoteBuffer;
class QTimer;
struct MemoChange;

// The journal of the note's unsaved changes, fed by the buffer: from the
// first edit after the note file last held the text, every edit is
// appended, over that note file (its bytes copied in) or over the whole
// text; it goes once the note holds the text again. Appends run on the
// calling thread, small write(2) calls; copies of the base and syncs on a
// thread of its own, at most once a second, and 300 ms after a change when
// none was made in the second before.
//
// It owns, too, the journal a run that did not end well left beside the
// note: nothing is journalled until that one has been read (with a reading
// of the note) and carried out.
class NoteJournal : public QObject {
    Q_OBJECT

  public:
    // The journal at `path`, beside the note at `notePath`.
    NoteJournal(const QString &path, const QString &notePath, QObject *parent = nullptr);
    ~NoteJournal() override;

    const QString &Path() const { return path_; }

    // Takes `buffer`'s edits from now on.
    void Follow(const NoteBuffer &buffer);
    // The note file holds the buffer's text as it is now, in `state`; none:
    // it does not, and the next edit starts a journal over the whole text.
    void NoteHolds(std::optional<JournalHeader> state);
    bool NoteHoldsText() const { return bool(holds_); }
    // The note file now holds the text as of change `upTo`, in `state`: the
    // journal keeps only the changes after it, or goes.
    void Written(const JournalHeader &state, std::uint64_t upTo);
    // The program ends: nothing more is journalled, and the journal goes
    // unless it is `kept` for the next start (its text is kept nowhere else).
    void End(bool kept);

    // A journal left behind is still to be read: the reading of the note
    // takes it (with TakeLeft), and gives it back when it could not use it.
    bool LeftDue() const { return leftDue_; }
    std::function<LeftJournal(const std::optional<QString> &note)> TakeLeft();
    void LeftStillDue()
    {
        leftDue_ = true;
        leftTaken_ = false;
    }
    // Carries out what the journal left behind asks; the text to put into
    // the note as unsaved text, when it asks for that, and what the user is
    // told. Once the text is in the buffer, Replayed.
    struct Recovered {
        std::optional<QString> text;
        std::vector<RecoveryDone::Message> messages;
    };
    Recovered Recover(const LeftJournal &left, const QStringList &unsavedFolders);
    // The journal goes on, over the note file as it is, with the changes
    // the replayed text made.
    void Replayed();

    // Waits until everything asked of the journal's thread is done.
    void Flush();
    int Syncs() const { return syncs_; }

    // A new journal over the note file in state `header.base`; with `edits`
    // made already, as change `number`.
    void Start(const JournalHeader &header, const std::vector<JournalEdit> &edits,
               std::uint64_t number);
    // Change number `number` of the text.
    void Append(std::uint64_t number, const JournalEdit &edit);
    // The note file holds the text: no journal is needed.
    void Remove();

  signals:
    // The journal could not be made, written or synced: what the user is
    // told, with its path and the system's reason; once, until one has been
    // written again.
    void failed(const QString &message);

  private:
    void Edited(const MemoChange &change);
    void StartOverText(std::uint64_t number);
    void Rebase(const JournalHeader &header, std::uint64_t upTo);
    bool Open(const JournalHeader &header,
              const std::vector<std::pair<std::uint64_t, QByteArray>> &edits);
    // The new journal, header and changes written, under its temporary
    // name: its file, or -1 with error_ set.
    int Create(const JournalHeader &header, const QByteArray &changes);
    // The new journal takes the old one's place; false with error_ set.
    bool PutInPlace();
    // The new journal, not in place yet, goes.
    void Abandon();
    void CopyBaseIn(const FileIdentity &base);
    void Close();
    void Fail(int error);
    void Failed(int error);
    void Sync();
    void SyncWhenDue();

    QString path_, notePath_;
    QByteArray folder_;
    QPointer<const NoteBuffer> buffer_;
    std::optional<JournalHeader> holds_; // the note file's state, while it holds the text
    JournalHeader format_;               // the note's encoding and breaks, as last told
    bool leftDue_ = false;               // one of an earlier run lies there, unread
    bool leftTaken_ = false;             // ... being read, not yet carried out
    bool keptLeft_ = false;              // ... and could not be set aside: none goes over it
    bool ended_ = false;
    // A replay's journal: over this state, with these changes.
    std::optional<std::pair<JournalHeader, std::vector<JournalEdit>>> replay_;
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
        FileIdentity base;
    };
    std::optional<Next> next_;
    QTimer *syncTimer_;
    std::int64_t unsyncedSince_ = -1, lastChange_ = 0, lastSync_ = -1000000;
    int syncs_ = 0;
    NoteWorker worker_;
};
