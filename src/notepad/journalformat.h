#pragma once

#include "filereading.h"
#include "noteencoding.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// The journal beside the note ("npad.journal"): every change of the memo
// since the note file last held its text, appended as it is made, so that a
// kill, a crash or a lost display loses none of it, and a power cut at most
// a second of it.
//
// Layout: a header naming the note file's state it starts from and the
// note's encoding; that state's bytes, copied in by a thread of its own (for
// when the note file has changed by the time the journal is read), from the
// start of the file's second block, so that a file system that can share
// them with the note does; then the changes. Each change carries a
// checksum: a torn or corrupt one ends what is read, and is never applied.
// The checksums are XXH64's, fixed by its definition. Version 1 journals,
// whose checksums were Qt's hash of the day and whose base followed the
// header at once, are still read.

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
// Where the base's bytes begin in the journals written now.
constexpr qsizetype kJournalBaseAt = 4096;

QByteArray JournalHeaderBytes(const JournalHeader &header);
QByteArray JournalEditBytes(const JournalEdit &edit);

// What a journal's bytes hold.
struct JournalContents {
    bool empty = false;      // not a byte of it
    bool headerRead = false; // a journal of this program's, its header whole
    std::uint32_t version = 0;
    JournalHeader header;
    qsizetype baseAt = 0;   // where the base's bytes begin
    QByteArray base;        // the base state's bytes, when they were copied whole
    bool baseWhole = false; // ... and match the header
    std::vector<JournalEdit> edits;
};
JournalContents ReadJournal(QByteArrayView bytes);

// Applies `edits` to `text` in turn, up to the first that does not fit it;
// how many were applied.
std::size_t ApplyEdits(QString &text, const std::vector<JournalEdit> &edits);
