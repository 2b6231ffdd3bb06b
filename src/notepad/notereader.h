#pragma once

#include "filereading.h"
#include "journalrecovery.h"
#include "noteencoding.h"
#include "notejournal.h"
#include "noteworker.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

class QFileSystemWatcher;

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
    // A journal left behind, read with the reading that could read the note.
    std::optional<LeftJournal> journal;
};

// The note read and decoded, its bytes let go as they are decoded. A note
// too large for the memory there is is refused, as one that can't be read.
// Touches nothing else, so it may run on any thread.
NoteReading ReadNote(const QString &path, const std::function<void()> &release = {});

// Reads the note beside the window, one reading at a time, each handed back
// in turn. Watches the note and its folder.
class NoteReader : public QObject {
    Q_OBJECT

  public:
    explicit NoteReader(QObject *parent = nullptr);

    // The note at `note`, and the journal that may lie beside it.
    void SetNote(const QString &note, NoteJournal *journal)
    {
        note_ = note;
        journal_ = journal;
    }
    // How memory is given back once a reading's bytes are let go; on any
    // thread.
    void SetMemoryRelease(std::function<void()> release) { release_ = std::move(release); }

    // With `known`, the note is read only when its bytes are no longer those.
    // A journal left behind goes with the reading, read beside the note as
    // read; again with a later one, if this one can't read the note.
    void Read(std::optional<FileIdentity> known, std::function<void(NoteReading &)> done);

    // A file replaced by a rename is no longer watched; its folder sees it come.
    void Watch();

  signals:
    // The note, or its folder, changed.
    void changed();

  private:
    QString note_;
    NoteJournal *journal_ = nullptr;
    std::function<void()> release_;
    QFileSystemWatcher *watcher_;
    NoteWorker worker_;
};
