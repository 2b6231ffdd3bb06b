#include "noteencoding.h"
#include "slicedwrite.h"

#include <gtest/gtest.h>

namespace {

QByteArray Encode(const QString &text, NoteEncoding enc)
{
    return EncodeNote(text, enc);
}

struct BreakCase {
    const char *bytes;
    const char *text;
};

} // namespace

TEST(NoteEncoding, EveryLineBreakFormReadsAsOneBreak)
{
    const BreakCase cases[] = {
        {"a\r\nb", "a\nb"},
        {"a\nb", "a\nb"},
        {"a\rb", "a\nb"},
        {"a\n\rb", "a\nb"},
        {"a\r\rb", "a\n\nb"},
        {"a\n\nb", "a\n\nb"},
        {"a\r\n\rb", "a\n\nb"},
        {"a\n\r\nb", "a\n\nb"},
        {"\r\n", "\n"},
        {"a\r", "a\n"},
        {"", ""},
    };
    for (const auto &c : cases) {
        const DecodedNote note = DecodeNote(c.bytes);
        EXPECT_EQ(note.text, QString(c.text)) << QByteArray(c.bytes).toHex().toStdString();
        EXPECT_EQ(note.encoding, NoteEncoding::Utf8);
    }
}

TEST(NoteEncoding, WritesCrLfWithNothingAddedAndNoMark)
{
    EXPECT_EQ(Encode("a\nb", NoteEncoding::Utf8), QByteArray("a\r\nb"));
    EXPECT_EQ(Encode(QString("a") + QChar(0x2029) + "b\n", NoteEncoding::Utf8),
              QByteArray("a\r\nb\r\n"));
    EXPECT_EQ(Encode("", NoteEncoding::Utf8), QByteArray());
    EXPECT_EQ(Encode("\u00e9", NoteEncoding::Utf8), QByteArray("\xC3\xA9"));
}

TEST(NoteEncoding, EveryByteOfAWindows1252NoteSurvivesTheRoundTrip)
{
    QByteArray bytes;
    for (int b = 1; b <= 255; ++b)
        if (b != '\r' && b != '\n')
            bytes += char(b);
    bytes += "\r\n\x80\x81\x8D\x8F\x90\x9D\xFF";
    const DecodedNote note = DecodeNote(bytes);
    ASSERT_EQ(note.encoding, NoteEncoding::Windows1252);
    EXPECT_EQ(note.text.count(QChar(0x20AC)), 2); // the euro sign
    EXPECT_FALSE(note.text.contains(QChar::ReplacementCharacter));
    NoteEncoding enc = note.encoding;
    EXPECT_EQ(EncodeNote(note.text, enc), bytes);
    EXPECT_EQ(enc, NoteEncoding::Windows1252);
}

TEST(NoteEncoding, InvalidUtf8IsReadAsWindows1252AndKeptByteForByte)
{
    const char *invalid[] = {
        "caf\xE9",          // a lone Windows-1252 letter
        "\xC0\x80",         // overlong NUL
        "\xE0\x80\xAF",     // overlong slash
        "\xED\xA0\x80",     // a surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xF5\x80\x80\x80", // no such lead byte
        "ok \xE2\x82",      // cut short
        "\xEF\xBB\xBF\xE9", // a mark before invalid bytes
    };
    for (const char *bytes : invalid) {
        const DecodedNote note = DecodeNote(bytes);
        EXPECT_EQ(note.encoding, NoteEncoding::Windows1252) << bytes;
        NoteEncoding enc = note.encoding;
        EXPECT_EQ(EncodeNote(note.text, enc), QByteArray(bytes));
    }
}

TEST(NoteEncoding, Utf8KeepsItsByteOrderMarkAndAMarkAfterItIsText)
{
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"\xEF\xBB\xBFna\xC3\xAFve \xE2\x82\xAC\r\n\xF0\x9F\x98\x80",
         QString("na\u00efve \u20ac\n") + QChar(0xD83D) + QChar(0xDE00)},
        {"\xEF\xBB\xBF\xEF\xBB\xBF", QString(QChar(0xFEFF))},
        {"\xEF\xBB\xBF\xEF\xBB\xBF"
         "A",
         QString(QChar(0xFEFF)) + "A"},
    };
    for (const auto &c : cases) {
        const DecodedNote note = DecodeNote(c.bytes);
        EXPECT_EQ(note.encoding, NoteEncoding::Utf8WithBom) << c.bytes.toHex().toStdString();
        EXPECT_EQ(note.text, c.text) << c.bytes.toHex().toStdString();
        NoteEncoding enc = note.encoding;
        EXPECT_EQ(EncodeNote(note.text, enc), c.bytes);
    }
    // A text of a note without a mark that comes to begin with U+FEFF.
    NoteEncoding enc = NoteEncoding::Utf8;
    const QString text = QString(QChar(0xFEFF)) + "Title";
    EXPECT_EQ(DecodeNote(EncodeNote(text, enc)).text, text);
    EXPECT_EQ(enc, NoteEncoding::Utf8WithBom);
}

TEST(NoteEncoding, AWindows1252NoteTurnsUtf8OnlyForACharacterItCannotHold)
{
    NoteEncoding enc = NoteEncoding::Windows1252;
    EXPECT_EQ(EncodeNote(QString("\u20ac \u00e9"), enc), QByteArray("\x80 \xE9"));
    EXPECT_EQ(enc, NoteEncoding::Windows1252);
    EXPECT_EQ(EncodeNote(QString("\u00e9 \u03a9"), enc), QByteArray("\xC3\xA9 \xCE\xA9"));
    EXPECT_EQ(enc, NoteEncoding::Utf8);
}

TEST(NoteEncoding, AWindows1252NoteWhoseBytesWouldReadBackAsUtf8IsWrittenAsUtf8)
{
    const struct {
        QString text;
        NoteEncoding written;
    } cases[] = {
        {u"x\u00C3\u00A9"_qs, NoteEncoding::Utf8},                   // C3 A9, "é" in UTF-8
        {u"\u00EF\u00BB\u00BFtitle"_qs, NoteEncoding::Utf8},         // a UTF-8 mark
        {u"\u00F0\u0178\u02DC\u20AC"_qs, NoteEncoding::Utf8},        // F0 9F 98 80
        {u"x\u00C3\u00A9\u00E9"_qs, NoteEncoding::Windows1252},      // E9 ends it
        {u"\u00EF\u00BB\u00BF\u00E9"_qs, NoteEncoding::Windows1252}, // a mark, then no UTF-8
        {u"\u00E2\u20AC"_qs, NoteEncoding::Windows1252},             // E2 80, cut short
        {u"\u00C0\u20AC"_qs, NoteEncoding::Windows1252},             // C0 80, overlong
        {u"plain\n"_qs, NoteEncoding::Windows1252}, // ASCII reads the same either way
    };
    for (const auto &c : cases) {
        NoteEncoding enc = NoteEncoding::Windows1252;
        const QByteArray bytes = EncodeNote(c.text, enc);
        EXPECT_EQ(enc, c.written) << c.text.toStdString();
        EXPECT_EQ(DecodeNote(bytes).text, c.text) << c.text.toStdString();
    }
    // Slices taken again after a change are looked at anew.
    NoteEncoder encoder(NoteEncoding::Windows1252, NoteBreaks::CrLf);
    QByteArray bytes;
    for (const QString &slice : {u"x"_qs, u"\u00E9"_qs})
        encoder.Encode(slice, slice == "x", bytes);
    encoder.Rewind(1);
    encoder.Encode(u"\u00C3\u00A9"_qs, false, bytes);
    EXPECT_FALSE(encoder.Finish());
    EXPECT_EQ(encoder.Encoding(), NoteEncoding::Utf8);
}

TEST(NoteEncoding, Utf16NotesAreTextAndKeepTheirFormAndMark)
{
    const struct {
        QByteArray bytes;
        NoteEncoding encoding;
    } cases[] = {
        {QByteArray("\xFF\xFE"
                    "a\0\xE9\0\r\0\n\0\xAC\x20\x3D\xD8\x00\xDE",
                    16),
         NoteEncoding::Utf16Le},
        {QByteArray("\xFE\xFF"
                    "\0a\0\xE9\0\r\0\n\x20\xAC\xD8\x3D\xDE\x00",
                    16),
         NoteEncoding::Utf16Be},
    };
    for (const auto &c : cases) {
        const DecodedNote note = DecodeNote(c.bytes);
        EXPECT_TRUE(note.refusal.isEmpty()) << note.refusal.toStdString();
        EXPECT_EQ(note.encoding, c.encoding);
        EXPECT_EQ(note.text, QString::fromUtf8("a\u00e9\n\u20ac\U0001F600"));
        NoteEncoding enc = note.encoding;
        EXPECT_EQ(EncodeNote(note.text, enc), c.bytes);
        EXPECT_EQ(enc, c.encoding);
    }
    // Every break form reads as one break and is written as CR LF.
    const DecodedNote lone = DecodeNote(QByteArray("\xFF\xFE"
                                                   "a\0\n\0b\0\r\0c\0",
                                                   12));
    EXPECT_EQ(lone.text, "a\nb\nc");
    NoteEncoding enc = lone.encoding;
    EXPECT_EQ(EncodeNote(lone.text, enc), QByteArray("\xFF\xFE"
                                                     "a\0\r\0\n\0b\0\r\0\n\0c\0",
                                                     16));
}

TEST(NoteEncoding, ANoteWhoseBreaksAreAllLfKeepsThemAndAnyOtherGetsCrLf)
{
    const struct {
        QByteArray bytes, written; // written once its text is read
        NoteBreaks breaks;
    } cases[] = {
        {"a\nb\n", "a\nb\n", NoteBreaks::Lf},
        {"a\r\nb\nc", "a\r\nb\r\nc", NoteBreaks::CrLf},
        {"a\rb", "a\r\nb", NoteBreaks::CrLf},
        {"one line", "one line", NoteBreaks::CrLf}, // its first break will be CR LF
        {"caf\xE9\n", "caf\xE9\n", NoteBreaks::Lf},
        {QByteArray("\xFF\xFE"
                    "a\0\n\0",
                    6),
         QByteArray("\xFF\xFE"
                    "a\0\n\0",
                    6),
         NoteBreaks::Lf},
    };
    for (const auto &c : cases) {
        const DecodedNote note = DecodeNote(c.bytes);
        EXPECT_EQ(note.breaks, c.breaks) << c.bytes.toHex().toStdString();
        NoteEncoding enc = note.encoding;
        EXPECT_EQ(EncodeNote(note.text, enc, note.breaks), c.written)
            << c.bytes.toHex().toStdString();
    }
    NoteEncoding enc = NoteEncoding::Utf8;
    EXPECT_EQ(EncodeNote(QString("x") + QChar(0x2029) + "y\n", enc, NoteBreaks::Lf), "x\ny\n");
}

TEST(NoteEncoding, A8BitNoteThatBeginsWithAUtf16MarkIsReadAsTheTextItIs)
{
    const QByteArray notUtf16[] = {
        QByteArray("\xFF\xFE"
                   "abc"),                // an odd length
        QByteArray("\xFE\xFF\xD8\x41xy"), // a high surrogate without its low one
        QByteArray("\xFF\xFE\x41\xDC"),   // a low surrogate alone
    };

    for (const QByteArray &bytes : notUtf16) {
        const DecodedNote note = DecodeNote(bytes);
        EXPECT_TRUE(note.refusal.isEmpty()) << bytes.toHex().toStdString();
        EXPECT_EQ(note.encoding, NoteEncoding::Windows1252) << bytes.toHex().toStdString();
        NoteEncoding enc = note.encoding;
        EXPECT_EQ(EncodeNote(note.text, enc), bytes);
    }
    // Written with CR LF it would be whole UTF-16: it is written as UTF-8.
    const DecodedNote odd = DecodeNote("\xFF\xFE)\xFE\rz ");
    NoteEncoding enc = odd.encoding;
    EXPECT_EQ(DecodeNote(EncodeNote(odd.text, enc)).text, odd.text);
    EXPECT_EQ(enc, NoteEncoding::Utf8);
}

TEST(NoteEncoding, NulBytesAreRefusedWithAPlainReason)
{
    const QString nul = "The file holds a NUL character (byte 0), so it is not a plain text note.";
    const struct {
        QByteArray bytes;
        QString refusal;
    } cases[] = {
        {QByteArray("ab\0cd", 5), nul},
        {QByteArray("a\0b\0", 4), nul}, // UTF-16 without its mark
        {QByteArray("\xFF\xFE"
                    "a\0\0\0",
                    6),
         nul},
    };
    for (const auto &c : cases) {
        const DecodedNote note = DecodeNote(c.bytes);
        EXPECT_EQ(note.refusal, c.refusal) << c.bytes.toHex().toStdString();
        EXPECT_TRUE(note.text.isEmpty());
    }
}

TEST(NoteEncoding, ALargeNoteReadInPiecesGivesTheSameText)
{
    const QByteArray cases[] = {
        "a\r\nb\n\rc\r\rd\n\ne\r\n\r\n\n\r\r\n", // every break form, in runs
        "\xEF\xBB\xBF\xEF\xBB\xBFna\xC3\xAFve \xE2\x82\xAC\xF0\x9F\x98\x80\r\n", // marks,
                                                                                 // multi-byte
        "caf\xE9\r\n\x80\x81",                                                   // Windows-1252
        QByteArray("\xFF\xFE"
                   "a\0\r\0\n\0\x3D\xD8\x00\xDE\n\0\r\0",
                   14), // UTF-16 with a pair
    };
    for (const QByteArray &bytes : cases)
        for (const qsizetype piece : {1, 2, 3, 4, 7})
            EXPECT_EQ(DecodeInPieces(NoteDecoder(bytes), bytes, piece).join(QString()),
                      DecodeNote(bytes).text)
                << bytes.toHex().toStdString() << " in pieces of " << piece;
}

TEST(NoteEncoding, ALargeNoteWrittenInSlicesGivesTheSameBytes)
{
    const struct {
        QString text;
        NoteEncoding encoding;
        NoteBreaks breaks;
    } cases[] = {
        {u"a\nb\u2029c\n\n\u2029"_qs, NoteEncoding::Utf8, NoteBreaks::CrLf},
        {u"a\nb\u2029c\n"_qs, NoteEncoding::Utf8, NoteBreaks::Lf},
        {u"\uFEFFmark \U0001F600 pair\n"_qs, NoteEncoding::Utf8, NoteBreaks::CrLf},
        {u"\uFEFFkept\n"_qs, NoteEncoding::Utf8WithBom, NoteBreaks::CrLf},
        {u"caf\u00E9\n\u20AC"_qs, NoteEncoding::Windows1252, NoteBreaks::CrLf},
        {u"caf\u00E9\nthen \u0101 it can't hold"_qs, NoteEncoding::Windows1252, NoteBreaks::CrLf},
        {u"\u00FF\u00FEab"_qs, NoteEncoding::Windows1252, NoteBreaks::CrLf}, // reads as UTF-16
        {u"\u00FF\u00FEa"_qs, NoteEncoding::Windows1252, NoteBreaks::CrLf},  // does not
        {u"\u00F0\u0178\u02DC\u20AC\n"_qs, NoteEncoding::Windows1252, NoteBreaks::CrLf}, // as UTF-8
        {u"\u00F0\u0178\u02DC\u20ACx\u00E9"_qs, NoteEncoding::Windows1252, NoteBreaks::Lf},
        {u"\U0001F600\n\u00E9\u2029"_qs, NoteEncoding::Utf16Le, NoteBreaks::CrLf},
        {u"\U0001F600\n\u00E9"_qs, NoteEncoding::Utf16Be, NoteBreaks::Lf},
        {QString(), NoteEncoding::Utf16Le, NoteBreaks::CrLf},
        {QString(), NoteEncoding::Utf8WithBom, NoteBreaks::CrLf},
    };
    for (const auto &c : cases)
        for (const qsizetype size : {1, 2, 3, 5}) {
            NoteEncoding whole = c.encoding, sliced = c.encoding;
            const QByteArray expected = EncodeNote(c.text, whole, c.breaks);
            EXPECT_EQ(EncodedInSlices(c.text, sliced, c.breaks, size), expected)
                << c.text.toStdString() << " in slices of " << size;
            EXPECT_EQ(sliced, whole) << c.text.toStdString() << " in slices of " << size;
        }
}
