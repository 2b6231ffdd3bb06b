#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

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

// The same reading, a piece at a time, for a note too large to hold both
// its bytes and its text at once: the facts are taken from all the bytes
// first (a first pass), then the bytes after Start() are cut into pieces
// that never split a character or a line break, each decoded alone. The
// pieces, joined, are DecodeNote's text.
class NoteDecoder {
  public:
    explicit NoteDecoder(QByteArrayView whole);

    const QString &Refusal() const { return refusal_; }
    NoteEncoding Encoding() const { return encoding_; }
    NoteBreaks Breaks() const { return breaks_; }
    // The mark's bytes, which no piece holds.
    qsizetype Start() const { return start_; }
    // Where a piece of `window` (the bytes from where the last piece ended)
    // may end: near `want`. Unless `window` runs to the end of the file, it
    // holds at least 8 bytes more than `want`.
    qsizetype Cut(QByteArrayView window, qsizetype want, bool toTheEnd) const;
    QString Decode(QByteArrayView piece) const;

  private:
    QString refusal_;
    NoteEncoding encoding_ = NoteEncoding::Utf8;
    NoteBreaks breaks_ = NoteBreaks::CrLf;
    qsizetype start_ = 0;
};

// DecodeNote's text in pieces of about `pieceBytes` bytes each of `bytes`,
// the note `decoder` was made from. `used`, when given, is told each time
// the bytes before a point are no longer needed.
QStringList DecodeInPieces(const NoteDecoder &decoder, QByteArrayView bytes, qsizetype pieceBytes,
                           const std::function<void(qsizetype)> &used = {});

// Why the bytes are no text note (a NUL character), or empty;
// cheaper than decoding them.
QString NoteRefusal(QByteArrayView bytes);

// The bytes of `text` in `encoding`; '\n' and U+2029 (the editor's paragraph
// separator) become CR LF, or LF. A Windows-1252 note whose text holds a character
// that code page cannot hold, or whose bytes would read back as another
// text, is written as UTF-8, and a UTF-8 text that begins with U+FEFF gets a
// mark before it: `encoding` says what was used.
QByteArray EncodeNote(QStringView text, NoteEncoding &encoding,
                      NoteBreaks breaks = NoteBreaks::CrLf);

// EncodeNote a slice at a time, for a note too large to hold its text and
// its bytes at once: the slices' bytes, joined, are EncodeNote's for the
// whole text. A slice never ends between the halves of a pair.
class NoteEncoder {
  public:
    NoteEncoder(NoteEncoding encoding, NoteBreaks breaks) : start_(encoding), breaks_(breaks) {}

    // Whether a text that begins with `start` must be given whole, as one
    // slice.
    static bool NeedsWholeText(QStringView start, NoteEncoding encoding);
    // The bytes of the next slice, the text's first when `first`. False when
    // the encoding can't hold it: the text starts over from its first
    // slice, then as UTF-8.
    bool Encode(QStringView slice, bool first, QByteArray &out);
    // The first `slices` slices are kept; those after them come again.
    void Rewind(std::size_t slices);
    // After the text's last slice. False when the bytes, whole, would read
    // back as another text: the text starts over from its first slice, then
    // as UTF-8.
    bool Finish();
    // The encoding the slices so far are in.
    NoteEncoding Encoding() const { return encoding_; }

  private:
    // What Windows-1252 bytes so far tell of reading back as UTF-8.
    struct Utf8Look {
        bool valid = true; // UTF-8 up to `tail`
        bool beyondAscii = false;
        QByteArray tail; // a character not yet ended
        void Feed(QByteArrayView bytes);
    };

    NoteEncoding start_;
    NoteEncoding encoding_ = start_;
    NoteBreaks breaks_;
    std::vector<Utf8Look> looks_; // after each slice
};

// True when a memo's raw text (paragraphs separated by U+2029) is the text
// of a decoded note.
bool SameNoteText(QStringView memoRaw, QStringView noteText);
