#include "notereader.h"

#include <QFileInfo>
#include <QFileSystemWatcher>

#include <cerrno>

namespace {

// The note's bytes read, checked to be a text note, and decoded a piece at
// a time, each stretch of bytes let go once decoded.
void ReadAndDecode(const QString &path, NoteReading &r)
{
    FileBytes bytes;
    if (!ReadWholeFile(path, bytes, r.failure, &r.disk))
        return;
    r.failure = NoteRefusal(bytes.View());
    if (!r.failure.isEmpty()) {
        r.disk = {};
        return;
    }
    const NoteDecoder decoder(bytes.View());
    r.encoding = decoder.Encoding();
    r.breaks = decoder.Breaks();
    r.text = DecodeInPieces(decoder, bytes.View(), 1 << 20,
                            [&](qsizetype upTo) { bytes.Release(upTo); });
}

// What the journal at `path` asks for, over the note as `note` read it.
LeftJournal ReadJournalLeft(const QString &path, const QString &notePath, const NoteReading &note)
{
    LeftJournal left;
    left.plan.step = RecoveryPlan::Step::SetAside;
    QByteArray bytes;
    QString unused;
    switch (ReadOwnFile(path, bytes, unused)) {
    case OwnRead::NotOwn:
        // Another user's, or one others may write, could put any text there.
        left.own = false;
        return left;
    case OwnRead::Unreadable:
        return left;
    case OwnRead::Read:
        break;
    }
    const JournalContents journal = ReadJournal(bytes);
    bytes.clear();
    const bool noteIsBase = journal.headerRead && FileIs(notePath, journal.header.base);
    left.plan = PlanRecovery(journal, note.missing ? QString() : note.text.join(QString()),
                             !note.missing, noteIsBase);
    return left;
}

} // namespace

NoteReading ReadNote(const QString &path, const std::function<void()> &release)
{
    NoteReading r;
    try {
        ReadAndDecode(path, r);
    } catch (const std::bad_alloc &) {
        r = {};
        r.failure = qt_error_string(ENOMEM);
    }
    if (release)
        release(); // the file's bytes, let go once decoded
    return r;
}

NoteReader::NoteReader(QObject *parent) : QObject(parent), watcher_(new QFileSystemWatcher(this))
{
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &NoteReader::changed);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &NoteReader::changed);
}

void NoteReader::SetPaths(const QString &note, const QString &journal)
{
    note_ = note;
    journal_ = journal;
    journalDue_ = QFileInfo::exists(journal) || QFileInfo(journal).isSymLink();
}

void NoteReader::Read(std::optional<FileIdentity> known, std::function<void(NoteReading &)> done)
{
    // The journal goes with this reading; again with a later one, if this
    // one can't read the note.
    const bool journal = std::exchange(journalDue_, false);
    worker_.Run<NoteReading>(
        [note = note_, journalPath = journal_, known, journal, release = release_] {
            NoteReading r;
            try {
                FileIdentity now = known.value_or(FileIdentity{});
                r.missing = !QFileInfo::exists(note);
                if (known && !ChangedOnDisk(note, now)) {
                    r.unchanged = true;
                    r.disk = now;
                    return r;
                }
            } catch (const std::bad_alloc &) {
                // Read as changed: the reading says why it can't be had.
            }
            if (!r.missing)
                r = ReadNote(note, release);
            if (journal && r.failure.isEmpty())
                r.journal = ReadJournalLeft(journalPath, note, r);
            return r;
        },
        [this, journal, done = std::move(done)](NoteReading &r) {
            if (journal && !r.journal)
                journalDue_ = true;
            done(r);
        });
}

void NoteReader::Watch()
{
    for (const QString &path : {note_, QFileInfo(note_).absolutePath()})
        if (!watcher_->files().contains(path) && !watcher_->directories().contains(path)
            && QFileInfo::exists(path))
            watcher_->addPath(path);
}
