#include "notefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "unprivileged.h"

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

TEST(NoteFile, EveryLineBreakFormReadsAsOneBreak)
{
    const BreakCase cases[] = {
        {"a\r\nb", "a\nb"},     {"a\nb", "a\nb"},       {"a\rb", "a\nb"},
        {"a\n\rb", "a\nb"},     {"a\r\rb", "a\n\nb"},   {"a\n\nb", "a\n\nb"},
        {"a\r\n\rb", "a\n\nb"}, {"a\n\r\nb", "a\n\nb"}, {"\r\n", "\n"},
        {"a\r", "a\n"},         {"", ""},
    };
    for (const auto &c : cases) {
        const DecodedNote note = DecodeNote(c.bytes);
        EXPECT_EQ(note.text, QString(c.text)) << QByteArray(c.bytes).toHex().toStdString();
        EXPECT_EQ(note.encoding, NoteEncoding::Utf8);
    }
}

TEST(NoteFile, WritesCrLfWithNothingAddedAndNoMark)
{
    EXPECT_EQ(Encode("a\nb", NoteEncoding::Utf8), QByteArray("a\r\nb"));
    EXPECT_EQ(Encode(QString("a") + QChar(0x2029) + "b\n", NoteEncoding::Utf8),
              QByteArray("a\r\nb\r\n"));
    EXPECT_EQ(Encode("", NoteEncoding::Utf8), QByteArray());
    EXPECT_EQ(Encode("\u00e9", NoteEncoding::Utf8), QByteArray("\xC3\xA9"));
}

TEST(NoteFile, EveryByteOfAWindows1252NoteSurvivesTheRoundTrip)
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

TEST(NoteFile, InvalidUtf8IsReadAsWindows1252AndKeptByteForByte)
{
    const char *invalid[] = {
        "caf\xE9",           // a lone Windows-1252 letter
        "\xC0\x80",          // overlong NUL
        "\xE0\x80\xAF",      // overlong slash
        "\xED\xA0\x80",      // a surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF5\x80\x80\x80",  // no such lead byte
        "ok \xE2\x82",       // cut short
        "\xEF\xBB\xBF\xE9",  // a mark before invalid bytes
    };
    for (const char *bytes : invalid) {
        const DecodedNote note = DecodeNote(bytes);
        EXPECT_EQ(note.encoding, NoteEncoding::Windows1252) << bytes;
        NoteEncoding enc = note.encoding;
        EXPECT_EQ(EncodeNote(note.text, enc), QByteArray(bytes));
    }
}

TEST(NoteFile, Utf8KeepsItsByteOrderMark)
{
    const QByteArray bytes("\xEF\xBB\xBFna\xC3\xAFve \xE2\x82\xAC\r\n\xF0\x9F\x98\x80");
    const DecodedNote note = DecodeNote(bytes);
    EXPECT_EQ(note.encoding, NoteEncoding::Utf8WithBom);
    EXPECT_FALSE(note.text.startsWith(QChar(0xFEFF)));
    NoteEncoding enc = note.encoding;
    EXPECT_EQ(EncodeNote(note.text, enc), bytes);
}

TEST(NoteFile, AWindows1252NoteTurnsUtf8OnlyForACharacterItCannotHold)
{
    NoteEncoding enc = NoteEncoding::Windows1252;
    EXPECT_EQ(EncodeNote(QString("\u20ac \u00e9"), enc), QByteArray("\x80 \xE9"));
    EXPECT_EQ(enc, NoteEncoding::Windows1252);
    EXPECT_EQ(EncodeNote(QString("\u00e9 \u03a9"), enc), QByteArray("\xC3\xA9 \xCE\xA9"));
    EXPECT_EQ(enc, NoteEncoding::Utf8);
}

TEST(NoteFile, AZeroByteIsRefused)
{
    const DecodedNote note = DecodeNote(QByteArray("ab\0cd", 5));
    EXPECT_TRUE(note.hasZeroByte);
    EXPECT_TRUE(note.text.isEmpty());
}

TEST(NoteFile, AnAtomicWriteKeepsPermissionsAndLeavesTheOldFileWholeOnFailure)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("npad.txt");
    QString reason;
    ASSERT_TRUE(WriteFileAtomically(path, "old", reason));
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(path, "new", reason));
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A folder where no temporary file can be made.
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    {
        Unprivileged as(dir.path());
        EXPECT_FALSE(WriteFileAtomically(path, "lost?", reason));
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_FALSE(CanCreateFilesIn(dir.path()));
    }
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    QByteArray bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes, reason));
    EXPECT_EQ(bytes, QByteArray("new"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"npad.txt"});
}

TEST(NoteFile, TheNoteFolderIsTheProgramFolderOnlyWhenFilesCanBeCreatedThere)
{
    EXPECT_EQ(ChooseNoteFolder("/opt/q/", true, "/home/u/.local/share/quorvin"), "/opt/q/");
    EXPECT_EQ(ChooseNoteFolder("/usr/bin/", false, "/home/u/.local/share/quorvin"),
              "/home/u/.local/share/quorvin/");
}
