// The note decoder and encoder: any bytes are refused with a reason, or come
// back byte for byte once their line breaks are written as CR LF; and the
// text they hold, written in any note's encoding, reads back as itself.
#include "fuzzcheck.h"
#include "noteencoding.h"
#include "slicedwrite.h"

#include <cstdint>
#include <vector>

namespace {

// The units a note's text is stored in: bytes, or 16-bit units after the
// UTF-16 mark.
std::vector<std::uint16_t> Units(const QByteArray &bytes, NoteEncoding enc, qsizetype start)
{
    std::vector<std::uint16_t> units;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    if (enc == NoteEncoding::Utf16Le || enc == NoteEncoding::Utf16Be) {
        for (qsizetype i = start; i + 1 < bytes.size(); i += 2)
            units.push_back(enc == NoteEncoding::Utf16Le ? std::uint16_t(p[i] | p[i + 1] << 8)
                                                         : std::uint16_t(p[i] << 8 | p[i + 1]));
    } else {
        for (qsizetype i = start; i < bytes.size(); ++i)
            units.push_back(p[i]);
    }
    return units;
}

// The bytes as the encoder writes them back: every line break (CR LF, LF CR,
// lone CR, lone LF) and every paragraph separator U+2029 becomes CR LF, or LF
// in a note whose breaks were all LF. The mark, if any, stays as it is.
QByteArray Normalised(const QByteArray &bytes, NoteEncoding enc, NoteBreaks breaks)
{
    const bool utf16 = enc == NoteEncoding::Utf16Le || enc == NoteEncoding::Utf16Be;
    const bool utf8 = enc == NoteEncoding::Utf8 || enc == NoteEncoding::Utf8WithBom;
    const qsizetype markSize = utf16 ? 2 : 0; // a UTF-8 mark holds no break: copied as is
    const std::vector<std::uint16_t> u = Units(bytes, enc, markSize);

    std::vector<std::uint16_t> out;
    for (std::size_t i = 0; i < u.size(); ++i) {
        const std::uint16_t c = u[i];
        if (c == '\r' || c == '\n') {
            const std::uint16_t pair = c == '\r' ? '\n' : '\r';
            if (i + 1 < u.size() && u[i + 1] == pair)
                ++i;
            if (breaks == NoteBreaks::CrLf)
                out.push_back('\r');
            out.push_back('\n');
        } else if (utf16 && c == 0x2029) {
            if (breaks == NoteBreaks::CrLf)
                out.push_back('\r');
            out.push_back('\n');
        } else if (utf8 && c == 0xE2 && i + 2 < u.size() && u[i + 1] == 0x80 && u[i + 2] == 0xA9) {
            // Valid UTF-8 here, so E2 always starts a character; in Windows-1252
            // these bytes are three characters and stay.
            i += 2;
            if (breaks == NoteBreaks::CrLf)
                out.push_back('\r');
            out.push_back('\n');
        } else {
            out.push_back(c);
        }
    }

    QByteArray result = bytes.left(markSize);
    for (const std::uint16_t c : out) {
        if (enc == NoteEncoding::Utf16Le) {
            result.append(char(c & 0xFF));
            result.append(char(c >> 8));
        } else if (enc == NoteEncoding::Utf16Be) {
            result.append(char(c >> 8));
            result.append(char(c & 0xFF));
        } else {
            result.append(char(c));
        }
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const DecodedNote note = DecodeNote(bytes);
    FUZZ_CHECK(NoteRefusal(bytes) == note.refusal);
    // Read a piece at a time, as a large note is, the text is the same.
    for (const qsizetype piece : {1, 2, 3, 5, 8})
        FUZZ_CHECK(DecodeInPieces(NoteDecoder(bytes), bytes, piece).join(QString()) == note.text);
    if (!note.refusal.isEmpty()) {
        FUZZ_CHECK(note.text.isEmpty());
        return 0;
    }

    // Whatever encoding the note had, the encoding the writer picks reads
    // back as the text, in slices as whole.
    QString expected = note.text;
    expected.replace(QChar(0x2029), QChar(u'\n'));
    for (const NoteEncoding start :
         {NoteEncoding::Utf8, NoteEncoding::Utf8WithBom, NoteEncoding::Windows1252,
          NoteEncoding::Utf16Le, NoteEncoding::Utf16Be}) {
        NoteEncoding picked = start, sliced = start;
        const QByteArray inPicked = EncodeNote(note.text, picked, note.breaks);
        const DecodedNote back = DecodeNote(inPicked);
        FUZZ_CHECK(back.refusal.isEmpty() && back.text == expected);
        for (const qsizetype size : {1, 3, 8})
            FUZZ_CHECK(EncodedInSlices(note.text, sliced, note.breaks, size) == inPicked
                       && sliced == picked);
    }

    NoteEncoding enc = note.encoding;
    const QByteArray written = EncodeNote(note.text, enc, note.breaks);
    // Only 8-bit bytes that would read back as UTF-16 change their form.
    if (enc != note.encoding) {
        FUZZ_CHECK(note.encoding == NoteEncoding::Windows1252 && enc == NoteEncoding::Utf8);
        FUZZ_CHECK(DecodeNote(written).text == QString(note.text).replace(QChar(0x2029), u'\n'));
        return 0;
    }
    FUZZ_CHECK(written == Normalised(bytes, note.encoding, note.breaks));

    // A U+2029 read from the file was written as CR LF, so it comes back as
    // '\n'; after that the bytes are a fixed point.
    const DecodedNote again = DecodeNote(written);
    FUZZ_CHECK(again.refusal.isEmpty());
    FUZZ_CHECK(again.encoding == note.encoding);
    FUZZ_CHECK(again.text == expected);
    NoteEncoding encAgain = again.encoding;
    FUZZ_CHECK(EncodeNote(again.text, encAgain, again.breaks) == written);
    FUZZ_CHECK(encAgain == again.encoding);
    return 0;
}
