#pragma once

#include "filereading.h"
#include "noteencoding.h"
#include "notejournal.h"
#include "noteworker.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

class QFileSystemWatcher;

// A journal left beside the note by a run that did not end well, and what
// it asks for.
struct LeftJournal {
    bool own = true; // the user's own file, no other user may write
    RecoveryPlan plan;
};

// One reading of the note: its text, decoded, in pieces, or why it can't
// be had.
struct NoteReading {
    bool missing = false;   // there is no note file
    bool unchanged = false; // its bytes are those known: not read again
    FileIdentity disk;      // as read; when unchanged, the known one brought up to date
    NoteEncoding encoding = NoteEncoding::Utf8;
    NoteBreaks breaks = NoteBreaks::CrLf;
    QStringList text;
    QString failure; // why the file can't be read as a note
    // Read with the first reading that could read the note.
    std::optional<LeftJournal> journal;
};

// The note read and decoded, its bytes let go as they are decoded. A note
// too large for the memory there is is refused, as one that can't be read.
// Touches nothing else, so it may run on any thread.
NoteReading ReadNote(const QString &path, const std::function<void()> &release = {});

// Reads the note beside the window, one reading at a time, each handed back
// in turn, and a journal left beside it with the first that can read it.
// Watches the note and its folder.
class NoteReader : public QObject {
    Q_OBJECT

  public:
    explicit NoteReader(QObject *parent = nullptr);

    // A journal lying at `journal` now is read with the first reading.
    void SetPaths(const QString &note, const QString &journal);
    // How memory is given back once a reading's bytes are let go; on any
    // thread.
    void SetMemoryRelease(std::function<void()> release) { release_ = std::move(release); }

    // With `known`, the note is read only when its bytes are no longer those.
    void Read(std::optional<FileIdentity> known, std::function<void(NoteReading &)> done);
    bool JournalDue() const { return journalDue_; }
    // The journal a reading brought went unused: the next reading reads it.
    void JournalStillDue() { journalDue_ = true; }

    // A file replaced by a rename is no longer watched; its folder sees it come.
    void Watch();

  signals:
    // The note, or its folder, changed.
    void changed();

  private:
    QString note_, journal_;
    bool journalDue_ = false;
    std::function<void()> release_;
    QFileSystemWatcher *watcher_;
    NoteWorker worker_;
};
