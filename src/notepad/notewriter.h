#pragma once

#include "filewriting.h"
#include "noteencoding.h"
#include "noteworker.h"

#include <QList>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class NoteBuffer;
class TextTaker;

// One write of the note's text: checked against what the file was, and
// written whole. Touches nothing else, so it may run on any thread.
struct NoteWrite {
    enum class Outcome { Written, ChangedOutside, Failed };

    QString path; // the note file
    // The text's bytes, as they are taken; closed once the write has ended.
    std::shared_ptr<WriteQueue> pieces;
    NoteEncoding encoding = NoteEncoding::Utf8; // the one the bytes are in
    NoteBreaks breaks = NoteBreaks::CrLf;
    FileIdentity disk;           // in: the file as last read or written; out: as now
    bool replaceChanged = false; // write even over another program's change
    // Called once the new bytes lie synced beside the note, before the last
    // look at it: where another program's change would otherwise be lost.
    std::function<void()> onSynced;
    std::uint64_t edits = 0; // the change the text was taken as of

    Outcome outcome = Outcome::Failed;
    QString reason; // with Failed: the system's reason

    void Run();

  private:
    void Write();
};

// Writes the note's text beside the window: the note itself, one write at
// a time, and copies to files of the user's choice, in turn. The text is
// taken from the buffer a slice at a time between events and streamed,
// encoded, to the write's thread: a large note is never copied whole, and
// the window never waits for it. A change of the buffer's text before what
// was taken takes it again from there.
class NoteWriter : public QObject {
    Q_OBJECT

  public:
    explicit NoteWriter(NoteBuffer &text, QObject *parent = nullptr);
    // Writes still taking the text end, leaving their files as they were.
    ~NoteWriter() override;

    // Writes the text as `write` says; its result waits to be taken.
    void Write(NoteWrite write);
    // A write whose result is not taken yet.
    bool Writing() const { return bool(write_); }
    // The result of the write that has ended, handed over: none while it
    // runs, or when there is no write.
    std::optional<NoteWrite> Take();
    // Waits, without an event loop, `ms` at most for the write to end, and
    // hands it back then: true when it has.
    bool FinishSoon(int ms);

    // The text, in `encoding` and `breaks`, to a file of the user's choice;
    // `done` says whether it was written, or why not.
    void Export(const QString &path, NoteEncoding encoding, NoteBreaks breaks,
                std::function<void(bool written, const QString &reason)> done);

    // Writes still taking the text take the rest at once.
    void FinishTaking();

    // How memory is given back once a write's copies are let go; on any
    // thread.
    void SetMemoryRelease(std::function<void()> release) { release_ = std::move(release); }

  signals:
    // The note's write has ended: its result waits to be taken.
    void written();

  private:
    TextTaker *TakeText(const std::shared_ptr<WriteQueue> &queue, NoteEncoding encoding,
                        NoteBreaks breaks, std::function<void(NoteEncoding)> whenTaken);
    void DropTaker(TextTaker *taker);

    NoteBuffer &text_;
    QList<TextTaker *> takers_;
    std::shared_ptr<NoteWrite> write_; // the note's, until taken
    bool ended_ = false;               // ... its work is over
    TextTaker *taking_ = nullptr;      // ... its text, being taken
    std::function<void()> release_;
    NoteWorker noteWorker_, exportWorker_;
};
