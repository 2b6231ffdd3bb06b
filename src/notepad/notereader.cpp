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

void NoteReader::Read(std::optional<FileIdentity> known, std::function<void(NoteReading &)> done)
{
    auto journal = journal_ ? journal_->TakeLeft() : nullptr;
    const bool withJournal = bool(journal);
    worker_.Run<NoteReading>(
        [note = note_, known, journal = std::move(journal), release = release_] {
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
                r.journal =
                    journal(r.missing ? std::nullopt : std::optional(r.text.join(QString())));
            return r;
        },
        [this, withJournal, done = std::move(done)](NoteReading &r) {
            if (withJournal && !r.journal)
                journal_->LeftStillDue();
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
