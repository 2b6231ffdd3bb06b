#include "notejournal.h"

#include <gtest/gtest.h>

namespace {

// A journal's bytes: header, the base's bytes, the edits.
QByteArray Journal(const QByteArray &base, const std::vector<JournalEdit> &edits)
{
    JournalHeader h;
    h.base = IdentityOf("/no/such/file", base);
    h.base.exists = true;
    h.encoding = NoteEncoding::Windows1252;
    QByteArray bytes = JournalHeaderBytes(h) + base;
    for (const JournalEdit &e : edits)
        bytes += JournalEditBytes(e);
    return bytes;
}

QString Replayed(const QByteArray &journal)
{
    const JournalContents j = ReadJournal(journal);
    QString text = QString::fromLatin1(j.base);
    ApplyEdits(text, j.edits);
    return text;
}

} // namespace

TEST(NoteJournal, EditsReplayOverTheBaseInTurnAndOneThatDoesNotFitEndsThem)
{
    const struct {
        const char *what;
        std::vector<JournalEdit> edits;
        const char *text;
    } cases[] = {
        {"nothing", {}, "abc"},
        {"typed at the end", {{3, 0, "d"}, {4, 0, "e"}}, "abcde"},
        {"a line break, as the memo has it", {{1, 0, QString(QChar::ParagraphSeparator)}}, "a\nbc"},
        {"removed and replaced", {{0, 1, ""}, {0, 2, "XY"}}, "XY"},
        {"the whole text", {{0, 3, QString("\u00e9\U0001F600")}}, "\u00e9\U0001F600"},
        {"past the end", {{2, 0, "x"}, {5, 0, "!"}, {0, 0, "never"}}, "abxc"},
        {"removing more than there is", {{1, 3, ""}}, "abc"},
        {"a negative place", {{-1, 0, "x"}}, "abc"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Replayed(Journal("abc", c.edits)), QString(c.text)) << c.what;
}

TEST(NoteJournal, ATornOrCorruptTailIsDroppedAndNothingAfterItIsRead)
{
    const std::vector<JournalEdit> edits{{3, 0, "1"}, {4, 0, "22"}, {6, 0, "333"}};
    const QByteArray whole = Journal("abc", edits);
    const qsizetype header = kJournalHeaderSize + 3;
    // Every length a write cut short could leave: whole edits only.
    for (qsizetype size = header; size <= whole.size(); ++size) {
        const JournalContents j = ReadJournal(whole.left(size));
        ASSERT_TRUE(j.headerRead) << size;
        for (std::size_t i = 0; i < j.edits.size(); ++i)
            EXPECT_EQ(j.edits[i].inserted, edits[i].inserted) << size;
        EXPECT_EQ(j.edits.size() == 3, size == whole.size()) << size;
    }
    // A byte changed anywhere: the edits before it only, or no journal.
    for (qsizetype at = 0; at < whole.size(); ++at) {
        QByteArray bytes = whole;
        bytes[at] = char(bytes[at] ^ 0x20);
        const JournalContents j = ReadJournal(bytes);
        if (at < kJournalHeaderSize) {
            EXPECT_FALSE(j.headerRead) << at;
        } else if (at < header) {
            EXPECT_FALSE(j.baseWhole) << at;
            EXPECT_EQ(j.edits.size(), 3u) << at;
        } else {
            const std::size_t before = at < header + 30 ? 0 : at < header + 62 ? 1 : 2;
            EXPECT_EQ(j.edits.size(), before) << at;
        }
    }
    EXPECT_FALSE(ReadJournal("QVNJ").headerRead);
}
