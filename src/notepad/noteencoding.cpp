#include "noteencoding.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Windows-1252 from 0x80 to 0x9F. The five bytes the code page leaves
// undefined map to the C1 control of the same number, so every byte survives.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The next byte `b` from `p` on, or `end`.
const char *Next(const char *p, const char *end, char b)
{
    const void *hit = std::memchr(p, static_cast<unsigned char>(b), std::size_t(end - p));
    return hit ? static_cast<const char *>(hit) : end;
}

// Every line break (CR LF, LF CR, lone CR, lone LF) as one LF. CR and LF
// never occur inside a multi-byte character of either encoding.
QByteArray BreaksToLf(QByteArrayView in)
{
    const char *p = in.data();
    const char *end = p + in.size();
    const char *nextCr = Next(p, end, '\r');
    const char *nextLf = Next(p, end, '\n');
    QByteArray out(in.size(), Qt::Uninitialized);
    char *o = out.data();
    while (p < end) {
        const char *hit = std::min(nextCr, nextLf);
        std::memcpy(o, p, std::size_t(hit - p));
        o += hit - p;
        if (hit == end)
            break;
        const char pair = *hit == '\r' ? '\n' : '\r';
        p = hit + 1;
        if (p < end && *p == pair)
            ++p;
        *o++ = '\n';
        if (nextCr < p)
            nextCr = Next(p, end, '\r');
        if (nextLf < p)
            nextLf = Next(p, end, '\n');
    }
    out.truncate(o - out.constData());
    return out;
}

QString FromCp1252(QByteArrayView bytes)
{
    QString s(bytes.size(), Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(s.data());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        *o++ = b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char16_t(b);
    }
    return s;
}

int Cp1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (std::size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] == c)
            return int(0x80 + i);
    return -1;
}

bool ToCp1252(QStringView text, QByteArray &out, NoteBreaks breaks)
{
    out.clear();
    out.reserve(text.size() + text.size() / 16);
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (IsNoteBreak(c)) {
            if (breaks == NoteBreaks::Lf)
                out.append('\n');
            else
                out.append("\r\n", 2);
            continue;
        }
        const int b = Cp1252Byte(c);
        if (b < 0)
            return false;
        out.append(char(b));
    }
    return true;
}

// Qt's encoder is vectorised; the line breaks ('\n', and U+2029 which UTF-8
// writes as E2 80 A9) become CR LF in a second pass that jumps from one
// candidate to the next. Without '\n' (the editor's own text) nothing grows,
// and the pass runs in place.
QByteArray ToUtf8(QStringView text, bool bom, NoteBreaks breaks)
{
    QByteArray in = text.toUtf8();
    if (breaks == NoteBreaks::Lf) {
        in.replace("\xE2\x80\xA9", "\n");
        if (bom)
            in.prepend("\xEF\xBB\xBF");
        return in;
    }
    const char *p = in.constData();
    const char *end = p + in.size();
    qsizetype lfs = 0;
    for (const char *q = Next(p, end, '\n'); q < end; q = Next(q + 1, end, '\n'))
        ++lfs;

    QByteArray out;
    char *o;
    if (lfs == 0) {
        o = in.data(); // writing never overtakes reading
    } else {
        out.resize(in.size() + lfs);
        o = out.data();
    }
    char *const start = o;
    const char *nextLf = Next(p, end, '\n');
    const char *nextE2 = Next(p, end, '\xE2');
    while (p < end) {
        const char *hit = std::min(nextLf, nextE2);
        if (o != p)
            std::memmove(o, p, std::size_t(hit - p));
        o += hit - p;
        p = hit;
        if (p == end)
            break;
        if (p == nextLf) {
            p += 1;
            nextLf = Next(p, end, '\n');
        } else if (end - p >= 3 && p[1] == '\x80' && p[2] == '\xA9') {
            p += 3;
            nextE2 = Next(p, end, '\xE2');
        } else {
            *o++ = *p++; // another character starting with E2
            nextE2 = Next(p, end, '\xE2');
            continue;
        }
        *o++ = '\r';
        *o++ = '\n';
    }
    QByteArray &result = lfs == 0 ? in : out;
    result.truncate(o - start);
    if (bom)
        result.prepend("\xEF\xBB\xBF");
    return result;
}

const char kNulRefusal[] =
    "The file holds a NUL character (byte 0), so it is not a plain text note.";

// A UTF-16 mark, then well-formed UTF-16: whole units, every surrogate in
// its pair. Anything else is 8-bit text that happens to begin with "ÿþ".
bool IsUtf16(QByteArrayView bytes)
{
    const bool le = bytes.startsWith("\xFF\xFE");
    if ((!le && !bytes.startsWith("\xFE\xFF")) || bytes.size() % 2 != 0)
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    bool high = false; // the unit before was a high surrogate
    for (qsizetype i = 2; i < bytes.size(); i += 2) {
        const char16_t u = le ? char16_t(p[i] | p[i + 1] << 8) : char16_t(p[i] << 8 | p[i + 1]);
        const bool isHigh = QChar::isHighSurrogate(u), isLow = QChar::isLowSurrogate(u);
        if (isLow != high)
            return false;
        high = isHigh;
    }
    return !high;
}

// How bytes that are no UTF-16 are read: as strict UTF-8 (no overlong
// forms, no surrogates, nothing above U+10FFFF) after a mark or without
// one; anything else as Windows-1252, mark and all.
NoteEncoding EightBitEncoding(QByteArrayView bytes)
{
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    if (!(bom ? bytes.sliced(3) : bytes).isValidUtf8())
        return NoteEncoding::Windows1252;
    return bom ? NoteEncoding::Utf8WithBom : NoteEncoding::Utf8;
}

bool IsAscii(QByteArrayView bytes)
{
    return std::none_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
}

// Whether Windows-1252 bytes would read back as another text: as UTF-16, or
// as UTF-8 beyond ASCII (which reads the same either way).
bool ReadsAsAnotherText(QByteArrayView cp1252)
{
    return IsUtf16(cp1252)
           || (EightBitEncoding(cp1252) != NoteEncoding::Windows1252 && !IsAscii(cp1252));
}

// A note whose line breaks are all LF, written on a system that breaks lines
// so, keeps them.
NoteBreaks BreaksOf(QByteArrayView bytes)
{
    return bytes.contains('\n') && !bytes.contains('\r') ? NoteBreaks::Lf : NoteBreaks::CrLf;
}

NoteBreaks Utf16Breaks(QByteArrayView body, bool littleEndian)
{
    const auto *p = reinterpret_cast<const unsigned char *>(body.data());
    bool lf = false;
    for (qsizetype i = 0; i + 1 < body.size(); i += 2) {
        const char16_t u =
            littleEndian ? char16_t(p[i] | p[i + 1] << 8) : char16_t(p[i] << 8 | p[i + 1]);
        if (u == u'\r')
            return NoteBreaks::CrLf;
        lf = lf || u == u'\n';
    }
    return lf ? NoteBreaks::Lf : NoteBreaks::CrLf;
}

// UTF-16 after its mark: line breaks become '\n' as in the other encodings.
QString FromUtf16(QByteArrayView body, bool littleEndian)
{
    QString text;
    text.reserve(body.size() / 2);
    const auto *p = reinterpret_cast<const unsigned char *>(body.data());
    const qsizetype n = body.size() / 2;
    auto unit = [&](qsizetype i) -> char16_t {
        return littleEndian ? char16_t(p[2 * i] | p[2 * i + 1] << 8)
                            : char16_t(p[2 * i] << 8 | p[2 * i + 1]);
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = unit(i);
        if (c == u'\r' || c == u'\n') {
            const char16_t pair = c == u'\r' ? u'\n' : u'\r';
            if (i + 1 < n && unit(i + 1) == pair)
                ++i;
            text += u'\n';
        } else {
            text += QChar(c);
        }
    }
    return text;
}

QByteArray ToUtf16(QStringView text, bool littleEndian, NoteBreaks breaks, bool mark = true)
{
    QByteArray out;
    out.reserve(2 + text.size() * 2 + text.size() / 8);
    auto put = [&](char16_t c) {
        const char lo = char(c & 0xFF), hi = char(c >> 8);
        out.append(littleEndian ? lo : hi);
        out.append(littleEndian ? hi : lo);
    };
    if (mark)
        put(0xFEFF);
    for (const QChar qc : text) {
        if (IsNoteBreak(qc.unicode())) {
            if (breaks == NoteBreaks::CrLf)
                put(u'\r');
            put(u'\n');
        } else {
            put(qc.unicode());
        }
    }
    return out;
}

} // namespace

QString NoteRefusal(QByteArrayView bytes)
{
    if (!IsUtf16(bytes))
        return bytes.contains('\0') ? kNulRefusal : QString();
    for (qsizetype i = 2; i < bytes.size(); i += 2)
        if (bytes[i] == 0 && bytes[i + 1] == 0)
            return kNulRefusal;
    return {};
}

NoteDecoder::NoteDecoder(QByteArrayView whole)
{
    refusal_ = NoteRefusal(whole);
    if (!refusal_.isEmpty())
        return;
    if (IsUtf16(whole)) {
        encoding_ = whole[0] == '\xFF' ? NoteEncoding::Utf16Le : NoteEncoding::Utf16Be;
        breaks_ = Utf16Breaks(whole.sliced(2), encoding_ == NoteEncoding::Utf16Le);
        start_ = 2;
        return;
    }
    breaks_ = BreaksOf(whole);
    encoding_ = EightBitEncoding(whole);
    start_ = encoding_ == NoteEncoding::Utf8WithBom ? 3 : 0;
}

qsizetype NoteDecoder::Cut(QByteArrayView window, qsizetype want, bool toTheEnd) const
{
    if (want >= window.size() && toTheEnd)
        return window.size();
    const bool utf16 = encoding_ == NoteEncoding::Utf16Le || encoding_ == NoteEncoding::Utf16Be;
    const qsizetype unit = utf16 ? 2 : 1;
    const auto *p = reinterpret_cast<const unsigned char *>(window.data());
    const qsizetype n = window.size() / unit;
    auto at = [&](qsizetype i) -> char16_t {
        if (!utf16)
            return p[i];
        return encoding_ == NoteEncoding::Utf16Le ? char16_t(p[2 * i] | p[2 * i + 1] << 8)
                                                  : char16_t(p[2 * i] << 8 | p[2 * i + 1]);
    };
    auto isBreak = [&](qsizetype i) { return at(i) == u'\r' || at(i) == u'\n'; };
    // Within a character: back to where it begins, or on to its end when it
    // began the window.
    auto within = [&](qsizetype i) {
        if (i <= 0 || i >= n)
            return false;
        if (utf16)
            return QChar::isLowSurrogate(at(i));
        return encoding_ != NoteEncoding::Windows1252 && (p[i] & 0xC0) == 0x80;
    };
    const qsizetype wanted = std::clamp<qsizetype>(want / unit, 1, n);
    qsizetype c = wanted;
    while (within(c))
        --c;
    if (c == 0)
        for (c = wanted; within(c);)
            ++c;
    if (c > 0 && isBreak(c - 1)) {
        // Within a run of line breaks: where the decoder's pairing ends one.
        qsizetype s = c;
        while (s > 0 && isBreak(s - 1))
            --s;
        while (s < c) {
            const char16_t a = at(s);
            s += s + 1 < n && isBreak(s + 1) && at(s + 1) != a ? 2 : 1;
        }
        c = s;
    }
    return c * unit;
}

QString NoteDecoder::Decode(QByteArrayView piece) const
{
    switch (encoding_) {
    case NoteEncoding::Utf16Le:
    case NoteEncoding::Utf16Be:
        return FromUtf16(piece, encoding_ == NoteEncoding::Utf16Le);
    case NoteEncoding::Windows1252:
    case NoteEncoding::Utf8:
    case NoteEncoding::Utf8WithBom:
        break;
    }
    QByteArray lf;
    if (piece.contains('\r')) { // else LF only: nothing to change
        lf = BreaksToLf(piece);
        piece = lf;
    }
    if (encoding_ == NoteEncoding::Windows1252)
        return FromCp1252(piece);
    // The mark was left out; one more at a piece's start is text.
    return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)
        .decode(piece);
}

DecodedNote DecodeNote(const QByteArray &bytes)
{
    const NoteDecoder decoder(bytes);
    DecodedNote note;
    note.refusal = decoder.Refusal();
    if (!note.refusal.isEmpty())
        return note;
    note.encoding = decoder.Encoding();
    note.breaks = decoder.Breaks();
    note.text = decoder.Decode(QByteArrayView(bytes).sliced(decoder.Start()));
    return note;
}

QStringList DecodeInPieces(const NoteDecoder &decoder, QByteArrayView bytes, qsizetype pieceBytes,
                           const std::function<void(qsizetype)> &used)
{
    QStringList pieces;
    if (!decoder.Refusal().isEmpty())
        return pieces;
    for (qsizetype at = decoder.Start(); at < bytes.size();) {
        const QByteArrayView window = bytes.sliced(at);
        const qsizetype cut = decoder.Cut(window, pieceBytes, true);
        pieces << decoder.Decode(window.first(cut));
        at += cut;
        if (used)
            used(at);
    }
    return pieces;
}

QByteArray EncodeNote(QStringView text, NoteEncoding &encoding, NoteBreaks breaks)
{
    if (encoding == NoteEncoding::Windows1252) {
        // Bytes that would read back as another text (UTF-16 for one that
        // begins with "ÿþ", UTF-8 for one such as "Ã©") are written as UTF-8.
        QByteArray out;
        if (ToCp1252(text, out, breaks) && !ReadsAsAnotherText(out))
            return out;
        encoding = NoteEncoding::Utf8;
    }
    // A text that begins with U+FEFF would read back as a mark and lose it.
    if (encoding == NoteEncoding::Utf8 && text.startsWith(QChar(0xFEFF)))
        encoding = NoteEncoding::Utf8WithBom;
    if (encoding == NoteEncoding::Utf16Le || encoding == NoteEncoding::Utf16Be)
        return ToUtf16(text, encoding == NoteEncoding::Utf16Le, breaks);
    return ToUtf8(text, encoding == NoteEncoding::Utf8WithBom, breaks);
}

bool NoteEncoder::NeedsWholeText(QStringView start, NoteEncoding encoding)
{
    // Whether such a note reads back as UTF-16 depends on all of its bytes,
    // and its first slice is where that is decided.
    return encoding == NoteEncoding::Windows1252
           && (start.startsWith(u"\u00FF\u00FE") || start.startsWith(u"\u00FE\u00FF"));
}

void NoteEncoder::Utf8Look::Feed(QByteArrayView bytes)
{
    if (!valid)
        return;
    beyondAscii = beyondAscii || !IsAscii(bytes);
    QByteArray joined;
    if (!tail.isEmpty()) {
        joined = tail;
        joined.append(bytes);
        bytes = joined;
    }
    // A character the next slice may end waits for it.
    qsizetype cut = bytes.size();
    for (qsizetype i = bytes.size() - 1; i >= 0 && i >= bytes.size() - 3; --i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if ((b & 0xC0) == 0x80)
            continue;
        const int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (i + length > bytes.size())
            cut = i;
        break;
    }
    valid = bytes.first(cut).isValidUtf8();
    tail = bytes.sliced(cut).toByteArray();
}

bool NoteEncoder::Encode(QStringView slice, bool first, QByteArray &out)
{
    if (first) {
        encoding_ = start_;
        looks_.clear();
    }
    if (encoding_ == NoteEncoding::Windows1252) {
        if (ToCp1252(slice, out, breaks_) && !(first && IsUtf16(out))) {
            looks_.push_back(looks_.empty() ? Utf8Look{} : looks_.back());
            looks_.back().Feed(out);
            return true;
        }
        encoding_ = start_ = NoteEncoding::Utf8;
        return false;
    }
    if (first && encoding_ == NoteEncoding::Utf8 && slice.startsWith(QChar(0xFEFF)))
        encoding_ = NoteEncoding::Utf8WithBom;
    if (encoding_ == NoteEncoding::Utf16Le || encoding_ == NoteEncoding::Utf16Be)
        out = ToUtf16(slice, encoding_ == NoteEncoding::Utf16Le, breaks_, first);
    else
        out = ToUtf8(slice, first && encoding_ == NoteEncoding::Utf8WithBom, breaks_);
    return true;
}

void NoteEncoder::Rewind(std::size_t slices)
{
    looks_.resize(std::min(slices, looks_.size()));
}

bool NoteEncoder::Finish()
{
    if (encoding_ != NoteEncoding::Windows1252 || looks_.empty())
        return true;
    const Utf8Look &look = looks_.back();
    if (!look.valid || !look.tail.isEmpty() || !look.beyondAscii)
        return true;
    encoding_ = start_ = NoteEncoding::Utf8;
    return false;
}

bool SameNoteText(QStringView memoRaw, QStringView noteText)
{
    if (memoRaw.size() != noteText.size())
        return false;
    // Line by line with memcmp; a line that differs is looked at closely,
    // since a break may stand as U+2029 on one side and '\n' on the other.
    qsizetype i = 0;
    while (i < noteText.size()) {
        qsizetype j = noteText.indexOf(u'\n', i);
        if (j < 0)
            j = noteText.size();
        if (std::memcmp(memoRaw.data() + i, noteText.data() + i, std::size_t(j - i) * 2) != 0) {
            for (qsizetype k = i; k < j; ++k) {
                const char16_t a = memoRaw[k].unicode(), b = noteText[k].unicode();
                if (a != b && !(IsNoteBreak(a) && IsNoteBreak(b)))
                    return false;
            }
        }
        if (j < noteText.size() && !IsNoteBreak(memoRaw[j].unicode()))
            return false;
        i = j + 1;
    }
    return true;
}
