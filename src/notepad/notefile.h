#pragma once

#include <QByteArray>
#include <QString>

// The note file: text with CR LF line breaks, no header, nothing added after
// the last line. Notes written by the program's Windows ancestor are in
// Windows-1252; notes written here are UTF-8. A note is written back in the
// encoding it was read in, so that no byte of it changes unless its text does.

enum class NoteEncoding {
    Utf8,
    Utf8WithBom, // the mark is kept
    Windows1252,
};

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
    bool hasZeroByte = false; // the text is then empty: such a file is refused
};

DecodedNote DecodeNote(const QByteArray &bytes);

// The bytes of `text` in `encoding`; '\n' and U+2029 (the editor's paragraph
// separator) become CR LF. A Windows-1252 note whose text holds a character
// that code page cannot hold is written as UTF-8: `encoding` says what was used.
QByteArray EncodeNote(QStringView text, NoteEncoding &encoding);

// True when a memo's raw text (paragraphs separated by U+2029) is the text
// of a decoded note.
bool SameNoteText(QStringView memoRaw, QStringView noteText);

// Reads a whole file; false with the system's reason when it can't.
bool ReadWholeFile(const QString &path, QByteArray &bytes, QString &reason);

// Writes a file so that it is either wholly replaced or left as it was: a
// temporary file in the same folder, then a rename. Keeps the permissions of
// the file it replaces. False with the system's reason.
bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString &reason);

// The folder where the note and its settings lie, with a trailing '/': the
// program folder when files can be created there, else the user's data folder.
QString ChooseNoteFolder(const QString &programFolder, bool canCreateInProgramFolder,
                         const QString &dataFolder);

// Whether a file can be created in `folder` (tried, then removed).
bool CanCreateFilesIn(const QString &folder);
