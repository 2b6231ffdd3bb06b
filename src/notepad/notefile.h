#pragma once

#include <QByteArray>
#include <QString>

// The note file: text with CR LF line breaks, no header, nothing added after
// the last line. Notes written on Windows are in Windows-1252, or in UTF-16
// with its byte-order mark ("Unicode"); notes written here are UTF-8. A note
// is written back in the encoding it was read in, and with LF breaks when
// those were all it had, so that no byte of it changes unless its text does.

enum class NoteEncoding {
    Utf8,
    Utf8WithBom, // the mark is kept
    Windows1252,
    Utf16Le, // with its mark FF FE
    Utf16Be, // with its mark FE FF
};

// How a note's lines end: CR LF, as on Windows and for every new note, or
// LF, kept for a note whose breaks were all LF.
enum class NoteBreaks { CrLf, Lf };

// A line break in a memo's text: '\n', or U+2029, the editor's paragraph
// separator.
inline bool IsNoteBreak(char16_t c)
{
    return c == u'\n' || c == 0x2029;
}

// A note read from its bytes. Line breaks (CR LF, lone CR, lone LF, LF CR)
// become '\n'.
struct DecodedNote {
    QString text;
    NoteEncoding encoding = NoteEncoding::Utf8;
    NoteBreaks breaks = NoteBreaks::CrLf;
    QString refusal; // why the bytes are no text note; the text is then empty
};

DecodedNote DecodeNote(const QByteArray &bytes);

// Why the bytes are no text note (a NUL character), or empty;
// cheaper than decoding them.
QString NoteRefusal(QByteArrayView bytes);

// The bytes of `text` in `encoding`; '\n' and U+2029 (the editor's paragraph
// separator) become CR LF, or LF. A Windows-1252 note whose text holds a character
// that code page cannot hold is written as UTF-8, and a UTF-8 text that
// begins with U+FEFF gets a mark before it: `encoding` says what was used.
QByteArray EncodeNote(QStringView text, NoteEncoding &encoding,
                      NoteBreaks breaks = NoteBreaks::CrLf);

// True when a memo's raw text (paragraphs separated by U+2029) is the text
// of a decoded note.
bool SameNoteText(QStringView memoRaw, QStringView noteText);
