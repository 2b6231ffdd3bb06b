#pragma once

#include "notedisk.h"
#include "noteencoding.h"
#include "notejournal.h"
#include "notesettings.h"
#include "notetracker.h"

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

class QFileSystemWatcher;
class QThread;
class QTimer;

// How the note's store reaches the user. Without a user (the program ended
// by a signal, a session that allows no questions) the store asks nothing
// and shows nothing: every question then counts as No.
class NoteUser {
  public:
    enum class Answer { Yes, No, Cancel };

    virtual ~NoteUser() = default;
    virtual Answer Ask(const QString &question) = 0;
    virtual void Tell(const QString &text) = 0;  // a notice
    virtual void Error(const QString &text) = 0; // a failed file access
};

// What became of the notepad's unsaved text as the program ends.
struct ExitReport {
    enum class Outcome {
        Saved, // in the note, or nothing was unsaved
        Kept,  // in a file of its own
        Stay,  // the user chose to stay: nothing was written or kept
        Lost,  // nowhere
    };
    Outcome outcome = Outcome::Saved;
    // What happened, for standard error when no user saw it; names files,
    // never the text.
    QString text;
};

// A change of the memo's text: positions count each line break as one
// character. A change whose text can't be told is the whole text replaced:
// `removed` is then the length it had, and the store reads the rest.
struct MemoChange {
    qsizetype position = 0;
    qsizetype removed = 0;
    QString inserted;
    bool whole = false;
};

// How the store reads the memo: its length, and its characters from `from`
// on, `n` of them (fewer at its end), line breaks as the memo holds them.
struct MemoAccess {
    std::function<qsizetype()> size;
    std::function<QString(qsizetype from, qsizetype n)> slice;
};

// The characters from `from` on, `n` of them at most, of `pieces` joined,
// the first `skip` characters of the first piece left out.
QString SliceOfPieces(const QStringList &pieces, qsizetype first, qsizetype skip, qsizetype from,
                      qsizetype n);

class TextTaker;

// The folders where unsaved text may be kept, in the order they are tried:
// the user's data folder, the session's runtime folder, the system's
// temporary folder.
QStringList DefaultUnsavedFolders();

// The note's place for this program: see ChooseNotePlace.
NotePlace DefaultNotePlace();

// The note's life on disk: where it lies, its encoding and what the file was
// when last read or written, change tracking and the autosave countdown, the
// one write path (a thread of its own; a step that must finish first waits
// for it), the journal of changes not yet saved and its recovery, the watch
// on the file, text kept aside in files of its own, and the font settings
// that go with a save. The memo's text is read through
// `memo`; what comes from the file goes to the memo by textFromDisk.
class NoteStore : public QObject {
    Q_OBJECT

  public:
    NoteStore(const NotePlace &place, NoteUser &user, MemoAccess memo, QObject *parent = nullptr);
    ~NoteStore() override;

    // Carries a note left behind the program, and sets the paths; once.
    void Open();

    const QString &Folder() const { return folder_; } // with its trailing '/'
    const QString &NotesPath() const { return notesPath_; }
    const QString &SettingsPath() const { return settingsPath_; }
    QStringList UnsavedFolders() const { return unsavedFolders_; }
    void SetUnsavedFolders(const QStringList &folders) { unsavedFolders_ = folders; }
    NoteEncoding Encoding() const { return encoding_; }
    const NoteTracker &Tracker() const { return tracker_; }
    // Typing may go into the memo: it holds the note, from where it can be kept.
    bool Editable() const { return editable_; }
    QTimer *Countdown() const { return timer1_; }
    const NoteJournal *Journal() const { return journal_; }

    // The font as the settings file keeps it, read once at creation.
    FontSettings ReadFontSettings();
    // The Font command chose `font`: written with the next save step.
    void FontChosen(const FontSettings &font);

    // The note's first reading, if still due: on a thread of its own, ending
    // with firstReadDone, or waited for; false when it failed (reported). A
    // journal left by a run that did not end well is recovered then.
    bool FirstReadPending() const { return firstRead_; }
    void StartFirstRead();
    bool ReadFirstTime();

    // A reading of the note, decoded.
    struct ReadText {
        FileIdentity disk;
        NoteEncoding encoding = NoteEncoding::Utf8;
        NoteBreaks breaks = NoteBreaks::CrLf;
        QStringList text; // in pieces
        QString failure;
        bool bytesChanged = false; // from those of the file as last known
    };
    // The load of each show: the file's text into the memo unless the memo
    // holds it already; `done` is told, at once or once the file is read
    // beside the window, whether it could be read (a failure is reported).
    // A later load's `done` replaces one not yet told.
    void LoadNotes(std::function<void(bool ok)> done);
    // Edits count as changes from the first show on.
    void StartTracking() { tracker_.TrackChanges = true; }
    // Whether the notepad is on the screen; only then is another program's
    // change shown at once.
    void SetShown(bool shown) { shown_ = shown; }

    // Every change of the memo's text.
    void TextChanged(const MemoChange &change);
    // The memo is taking the file's text: its change needs no telling.
    bool TakingFileText() const { return loading_; }
    void SetDirty(bool flag);
    // The countdown's end: the autosave's write starts.
    void Timer1Timer();

    // A close of the notepad: the save step, pending settings, then the text
    // if it is dirty. False keeps the notepad open: the text was due and is
    // not in the note.
    bool CloseQuery();
    // The program may be about to end (the session asks it to save, or the
    // user chose Exit): writes what is unsaved, or keeps it in a file of its
    // own; `mayAsk` says whether the user can be asked (empty: yes). The
    // text stays unsaved in the memo, for a session that goes on; End()
    // follows when the program does end.
    ExitReport SaveBeforeExit(const std::function<bool()> &mayAsk = {});
    // A save step is under way, one of its boxes open.
    bool Busy() const { return stepping_ && boxes_ > 0; }
    // A save step is under way, or something waits for the write.
    bool Saving() const { return stepping_ || awaiting_; }
    // Ended, or withdrawn by the program's end: nothing more is asked.
    bool Leaving() const { return ended_ || withdrawn_; }
    // No user can be asked from now on: the program is ending.
    void Withdraw() { withdrawn_ = true; }
    // Nothing is written from now on; the notepad closes without a word.
    // The journal goes, unless the text it holds could be kept nowhere.
    void End();

    // The Save command's report, once a write in flight has ended.
    QString SaveReport();

    // The memo's text in the note's form to a file of the user's choice;
    // `done` tells, once it is written or its failure reported.
    void WriteCopy(const QString &path, std::function<void(bool)> done);

    // Writes still taking the memo's text take the rest at once: the memo
    // is about to go. A store destroyed before leaves them unwritten.
    void FinishTaking();

    // Waits for a write in flight and takes its outcome as the autosave does.
    void WaitForWrite();

    // How the program gives memory back once a large note's copies are let
    // go; it may be called on any thread.
    void SetMemoryRelease(std::function<void()> release) { release_ = std::move(release); }
    void ReleaseMemory() const
    {
        if (release_)
            release_();
    }

  signals:
    // The file's text for the memo, replacing what it holds: the pieces
    // joined. A large note comes in pieces, so that the memo can take them
    // one at a time and each be let go once taken.
    void textFromDisk(const QStringList &pieces);
    void editableChanged(bool editable);
    // A note that could not be read at the first show is readable now.
    void readableAgain();
    void firstReadDone(bool ok);

  private:
    // A save step under way, for as long as it lives; a change on disk seen
    // meanwhile is looked at once it ends.
    class Step {
      public:
        explicit Step(NoteStore &store) : store_(store), outer_(store.stepping_)
        {
            store_.stepping_ = true;
        }
        ~Step()
        {
            store_.stepping_ = outer_;
            store_.LookAgainIfChanged();
        }
        Step(const Step &) = delete;
        Step &operator=(const Step &) = delete;

      private:
        NoteStore &store_;
        bool outer_;
    };

    // The note read again beside the window: when `check`, only if its
    // bytes changed from those last known. One reading at a time; `done` is
    // called here, in turn.
    struct Rereading {
        bool unchanged = false;
        FileIdentity known; // brought up to date when only its times changed
        ReadText read;
    };
    void Reread(bool check, std::function<void(Rereading &)> done);
    void NextReread();
    void ContinueLoad();
    void FinishLoad(bool ok);
    bool TakeRead(ReadText &read, bool quietly, bool hold);
    void FinishFirstRead(ReadText *read);
    void PutInMemo(QStringList pieces, bool quietly, bool hold);
    // Whether the memo holds the text of `pieces`.
    bool MemoHolds(const QStringList &pieces) const;
    QString MemoText() const;
    qsizetype MemoSize() const;
    QString MemoSlice(qsizetype from, qsizetype n) const;
    TextTaker *TakeText(const std::shared_ptr<WriteQueue> &queue,
                        std::function<void(NoteEncoding)> taken);
    void DropTaker(TextTaker *taker);
    void RecoverJournal();
    // `own`: a journal of this user's alone that could not be read.
    void SetJournalAside(bool own);
    void LookAgainIfChanged();
    void ReadFailed(const QString &reason);
    void SetEditable(bool editable);
    void Watch();
    void DiskChanged();
    bool WriteFontSettings();
    bool WriteText();
    void StartWrite(bool replaceChanged);
    void AwaitWriter();
    std::shared_ptr<NoteWrite> TakeWrite();
    void AutosaveWritten();
    void DropWriteInFlight();
    void Settle(const NoteWrite &w);
    bool Conclude(const NoteWrite &w);
    void StopCountdown();
    bool KeepTextAndShowFile();
    // A copy taken of `encoding`: a Windows-1252 note whose text it can't
    // hold is kept as UTF-8.
    bool KeepUnsaved(const QString &text, NoteEncoding encoding, NoteBreaks breaks, QString &path,
                     QString &failures);
    ExitReport ExitStep();
    ExitReport KeepUnsavedOnExit();
    bool Present() const { return !withdrawn_ && (!mayAsk_ || mayAsk_()); }
    NoteUser::Answer Ask(const QString &question);
    void Tell(const QString &text);
    void Report(const QString &text);

    NotePlace place_;
    NoteUser &user_;
    MemoAccess memo_;
    QString folder_, notesPath_, settingsPath_;
    QStringList unsavedFolders_;
    bool readOnly_ = false; // shown from where nothing typed could be kept
    bool editable_ = true;
    bool readFailed_ = false;    // the memo does not hold the note file
    FileIdentity failedState_;   // the file as it was when reading it failed
    bool reportingRead_ = false; // a read failure's box is open
    bool recheck_ = false;       // the file changed while it was
    bool firstRead_ = false;
    bool shown_ = false;
    bool quiet_ = false;     // the memo takes the file's text: no edit
    bool loading_ = false;   // ... whether an edit or not
    bool stepping_ = false;  // a save step is under way
    bool cancelled_ = false; // the user put the last question off
    QString keptAside_;      // where the last save step kept the text instead
    bool withdrawn_ = false;
    bool ended_ = false;
    ExitReport::Outcome lastExit_ = ExitReport::Outcome::Saved;
    std::function<bool()> mayAsk_;
    std::function<void()> release_;

    NoteTracker tracker_;
    NoteEncoding encoding_ = NoteEncoding::Utf8; // of the note as last read or written
    NoteBreaks breaks_ = NoteBreaks::CrLf;
    FileIdentity disk_; // the note file as last read or written
    FontSettings font_;
    std::uint64_t edits_ = 0; // changes of the memo's text so far
    bool memoIsDisk_ = false; // the memo holds the note file as last read or written

    QTimer *timer1_;
    QFileSystemWatcher *watcher_;
    NoteJournal *journal_ = nullptr;
    QList<QThread *> copies_;            // files of the user's choice, being written
    QList<TextTaker *> takers_;          // the memo's text, being taken for a write
    QThread *reader_ = nullptr;          // the first reading, in flight
    std::function<void(bool)> loadDone_; // the show's load, waiting
    struct RereadWanted {
        bool check;
        std::function<void(Rereading &)> done;
    };
    std::deque<RereadWanted> rereads_; // the first in flight
    QThread *rereader_ = nullptr;
    std::shared_ptr<ReadText> firstReadResult_;
    QStringList pendingText_; // the note's text, not yet in the memo, in pieces
    bool hasPending_ = false;
    bool journalLeft_ = false; // one left by a run that did not end well, still to read
    bool journalKept_ = false; // one that could not be set aside: never written over
    // The write in flight, on a thread of its own.
    QThread *writer_ = nullptr;
    bool awaiting_ = false;      // a step waits for the write, which is its to settle
    int boxes_ = 0;              // questions and notices open
    bool writtenBehind_ = false; // the last write settled missed later changes
    std::shared_ptr<NoteWrite> write_;
    TextTaker *taking_ = nullptr;    // its text, being taken
    std::uint64_t editsWritten_ = 0; // edits_ when its text was taken
};
