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
