#include "notecommands.h"

#include <gtest/gtest.h>

TEST(NoteCommands, FindNextStartsFromTheSelectionOrJustBeforeTheCaret)
{
    const struct {
        const char16_t *text, *needle;
        qsizetype selStart, selLength;
        qsizetype found; // -1: none
    } cases[] = {
        {u"The cat sat", u"cat", 0, 0, 4},
        {u"The cat sat", u"cat", 4, 3, -1}, // the match itself is selected
        {u"The CAT sat", u"cat", 0, 0, 4},  // A-Z fold
        {u"aaaa", u"aa", 0, 0, 0},
        {u"aaaa", u"aa", 0, 2, 1},
        {u"aaaa", u"aa", 1, 2, 2},
        {u"aaaa", u"aa", 2, 2, -1},   // nothing wholly inside the text
        {u"xx cat", u"cat", 4, 0, 3}, // caret just after the match's first letter
        {u"xx cat", u"cat", 5, 0, -1},
        {u"cat xx", u"cat", 6, 0, 0}, // caret at the end: from the start
        {u"cat xx", u"cat", 9, 0, 0},
        {u"\u00c9t\u00e9", u"\u00e9", 0, 0, 2}, // no folding outside A-Z
        {u"a\u2029b", u"a", 0, 0, 0},
        {u"abc", u"", 0, 0, -1},
        {u"caxCAT", u"cat", 0, 0, 3},     // the other case's candidate comes next
        {u"CCcCaT cat", u"cat", 0, 0, 3}, // candidates of both cases, interleaved
        {u"x.B .b", u".b", 0, 0, 1},
        {u"ca", u"cat", 0, 0, -1},
    };
    for (const auto &c : cases) {
        const QStringView text(c.text);
        const auto found = FindFolded(text, QStringView(c.needle),
                                      SearchStart(c.selStart, c.selLength, text.size()));
        EXPECT_EQ(found.value_or(-1), c.found) << QString::fromUtf16(c.text).toStdString() << " / "
                                               << QString::fromUtf16(c.needle).toStdString() << " @"
                                               << c.selStart << "+" << c.selLength;
    }
}

TEST(NoteCommands, NotFoundTextQuotesTheSearchText)
{
    EXPECT_EQ(NotFoundText("dog", true), "\"dog\" - not found");
    EXPECT_EQ(NotFoundText("cat", false), "\"cat\" - no more instances");
}

TEST(NoteCommands, ExportNamesGetTxtUnlessTheyEndInIt)
{
    const struct {
        const char *chosen, *written;
    } cases[] = {
        {"notes", "notes.txt"},
        {"notes.TXT", "notes.TXT"},
        {"notes.text", "notes.text.txt"},
        {"/a/b.Txt", "/a/b.Txt"},
        {"txt", "txt.txt"},
        {".txt", ".txt"},
        {"", ".txt"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CompleteExportName(c.chosen), QString(c.written)) << c.chosen;
}

TEST(NoteCommands, TheShowCaretCountsLineBreaksAsTwoCharacters)
{
    const QString text = QString("ab") + QChar(0x2029) + "cd";
    const struct {
        qsizetype filePosition, index;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {4, 3}, {5, 4}, {6, 5}, {32000, 5}};
    for (const auto &c : cases)
        EXPECT_EQ(CaretIndexForFilePosition(text, c.filePosition), c.index) << c.filePosition;

    const QString forty(40000, 'x');
    EXPECT_EQ(CaretIndexForFilePosition(forty, 32000), 32000);
}
