#pragma once

#include "filereading.h"
#include "journalformat.h"
#include "notebuffer.h"
#include "noteencoding.h"
#include "noteplace.h"
#include "notesettings.h"
#include "notetracker.h"
#include "noteuser.h"
#include "savestep.h"
#include "unsavedtext.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class NoteJournal;
class NoteReader;
class NoteWriter;
struct LeftJournal;
struct NoteReading;
struct NoteWrite;

// The note's coordinator. It owns the note's text (the buffer the notepad
// shows) and knows where the note lies, what its file was when last read or
// written and in which encoding, whether the text is saved (the tracker and
// its autosave countdown), and the journal of what is not. Readings and
// writes run beside the window (NoteReader, NoteWriter); what they hand
// back is weighed here; a save step (SaveStep) at a time weighs what needs
// the user's answer, and the user's own steps wait their turn.
class NoteStore : public QObject, private SaveStep::Store {
    Q_OBJECT

  public:
    // Unsaved text that can't go into the note goes to the first of
    // `unsavedFolders` that takes it.
    NoteStore(const NotePlace &place, std::unique_ptr<NoteUser> user,
              const QStringList &unsavedFolders = DefaultUnsavedFolders(),
              QObject *parent = nullptr);
    ~NoteStore() override;

    // Carries a note left behind the program, and sets the paths; once.
    void Open();

    NoteBuffer &Buffer() { return *buffer_; }
    const QString &Folder() const { return folder_; } // with its trailing '/'
    NoteEncoding Encoding() const { return encoding_; }
    const NoteTracker &Tracker() const { return tracker_; }
    // Typing may go in: the buffer holds the note, from where it can be kept.
    bool Editable() const { return !readOnly_ && !failedState_; }
    QTimer *Countdown() { return steps_.Count().Timer(); }
    const NoteJournal &Journal() const { return *journal_; }

    // The font as the settings file keeps it, read once at creation.
    FontSettings ReadFontSettings();
    // The Font command chose `font`: written with the next save step.
    void FontChosen(const FontSettings &font);

    // The note's first reading: due until it has been read, beside the
    // window, once the main window is drawn or at the first show. A journal
    // left by a run that did not end well is read with it.
    bool FirstReadPending() const { return phase_ == Phase::Opening || phase_ == Phase::Reading; }
    void StartFirstRead();
    // The load of each show: the file's text into the buffer unless it holds
    // it already; `done` is told, at once or once the file is read, whether
    // it could be read (a failure is reported, as `origin` says). What the
    // user does in the memo meanwhile waits. A load asked for during another
    // shares its end.
    void LoadNotes(std::function<void(bool ok)> done,
                   NoteAsker::Origin origin = NoteAsker::Origin::User);
    // Edits count as changes from the first show on.
    void StartTracking() { tracker_.TrackChanges = true; }
    // Whether the notepad is on the screen; only then is another program's
    // change shown at once.
    void SetShown(bool shown) { shown_ = shown; }

    void SetDirty(bool flag);
    // The countdown's end: the autosave's write starts.
    void Timer1Timer();

    // A close of the notepad: the save step, pending settings, then the text
    // if it is dirty, waited for. False keeps the notepad open: the text was
    // due and is not in the note.
    bool CloseQuery();
    // The program may be about to end (the session asks it to save, or the
    // user chose Exit): writes what is unsaved, or keeps it in a file of its
    // own; `mayAsk` says whether the user can be asked (empty: yes). The
    // text stays unsaved in the buffer, for a session that goes on; End()
    // follows when the program does end. Waits for the step's end.
    ExitReport SaveBeforeExit(const std::function<bool()> &mayAsk = {});
    // The same, without waiting: `done` hears once it is over.
    void Exit(std::function<void(const ExitReport &)> done);
    // A save step is under way, one of its boxes open.
    bool Busy() const { return steps_.Active() && asker_.BoxShown(); }
    // A save step is under way.
    bool Saving() const { return steps_.Active(); }
    // Ended, or withdrawn by the program's end: nothing more is asked.
    bool Leaving() const { return phase_ == Phase::Ended || asker_.Withdrawn(); }
    // No user can be asked from now on: the program is ending.
    void Withdraw() { asker_.Withdraw(); }
    // Nothing is written from now on; the notepad closes without a word.
    // The journal goes, unless the exit step before (`last`) could keep its
    // text nowhere.
    void End(ExitReport::Outcome last = ExitReport::Outcome::Saved);

    // The Save command's report, once a write in flight has ended.
    QString SaveReport();

    // The text in the note's form to a file of the user's choice; `done`
    // tells, once it is written or its failure reported.
    void WriteCopy(const QString &path, std::function<void(bool)> done);
    // Writes still taking the text take the rest at once.
    void FinishTaking();

    // How the program gives memory back once a large note's copies are let
    // go; it may be called on any thread.
    void SetMemoryRelease(std::function<void()> release);

  signals:
    // A note that could not be read at the first show is readable now.
    void readableAgain();
    void firstReadDone(bool ok);
    // Another program's note is shown in place of the one that was.
    void replacedFromDisk();

  private:
    enum class Phase {
        Opening, // the first reading is due
        Reading, // ... and under way
        Open,
        Ended, // nothing is written or asked any more
    };
    // What a reading turned out to be.
    enum class Read { Failed, Unchanged, Taken };
    void FinishFirstRead(NoteReading &r);
    void Recover(const LeftJournal &journal);
    void ContinueLoad();
    void FinishLoad(bool ok);
    // The note read again beside the window: when `check`, only if its
    // bytes changed from those last known; `quietly`, what it brings is no
    // change of the text; `holdInput`, what the user does meanwhile waits.
    void Reread(bool check, bool quietly, bool holdInput, std::function<void(Read)> then);
    // A reading that came too late (one that brought a journal: `withJournal`):
    // the file is looked at again.
    void Discard(bool withJournal);
    void TakeRead(NoteReading &r, bool quietly, bool hold, std::function<void(Read)> then);
    void PutInBuffer(QStringList pieces, bool quietly, bool hold);
    void ReadFailed(const QString &reason);
    void LookAgainIfChanged();
    void DiskChanged();
    void UpdateEditable();
    // The note file as last read or written, for the journal.
    JournalHeader NoteState() const;
    void LandInput();
    void AfterLoad(bool read);
    void KeepTyped(const std::function<void(const ExitReport &)> &done);

    // What a save step does to the store.
    NoteTracker &Changes() override { return tracker_; }
    NoteAsker &Asker() override { return asker_; }
    bool Ended() const override { return phase_ == Phase::Ended; }
    QString WriteSettings() override;
    void Write(bool replaceChanged) override;
    bool Writing() const override;
    bool FinishWrite(int ms) override;

    void Adopt(const NoteWrite &w) override;
    bool KeepText(QString &path, QString &failures) override;
    QString UnsavedPath() const override;
    void ShowTheirs() override;

    NotePlace place_;
    NoteAsker asker_;
    QString folder_, notesPath_, settingsPath_;
    QStringList unsavedFolders_;

    Phase phase_ = Phase::Open;
    NoteAsker::Origin loadOrigin_ = NoteAsker::Origin::User;
    int rereads_ = 0;       // readings under way, until their text is in
    bool readOnly_ = false; // shown from where nothing typed could be kept
    bool shown_ = false;
    bool recheck_ = false;                    // the file changed while it could not be looked at
    std::optional<FileIdentity> failedState_; // the note, as it was when it could not be read
    std::function<void(bool)> loadDone_;      // the show's load, under way
    // Ends that wait for the first reading, a short while at most.
    std::vector<std::function<void(bool read)>> afterLoad_;
    QTimer readWait_;
    static constexpr int kReadWaitMs = 3000;

    NoteTracker tracker_;
    SaveSteps steps_{*this};                     // its countdown counts on the tracker
    NoteEncoding encoding_ = NoteEncoding::Utf8; // of the note as last read or written
    NoteBreaks breaks_ = NoteBreaks::CrLf;
    FileIdentity disk_; // the note file as last read or written
    FontSettings font_;

    NoteBuffer *buffer_;
    NoteReader *reader_;
    NoteWriter *writer_;
    NoteJournal *journal_ = nullptr;
};
