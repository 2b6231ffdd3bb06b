#include "notesettings.h"

#include <gtest/gtest.h>

namespace {

struct ReadCase {
    const char *ini;
    std::string name;
    int size;
    bool bold, italic, underline, strikeout;
};

} // namespace

TEST(NoteSettings, ReadsEachValueFormOrFallsBackToTheDefault)
{
    const ReadCase cases[] = {
        {"", "Arial", 10, false, false, false, false},
        {"[notepad]\nFONTNAME=Courier New\nFONTSIZE=12\nFONTBOLD=1\nFONTITALIC=0\n"
         "FONTUNDERLINE=1\nFONTSTRIKEOUT=1\n",
         "Courier New", 12, true, false, true, true},
        {"[notepad]\nFONTSIZE=0x0C\nFONTBOLD=yes\n", "Arial", 12, false, false, false, false},
        {"[notepad]\nFONTSIZE=$10\nFONTBOLD=-1\nFONTITALIC=0X2\n", "Arial", 16, true, true, false,
         false},
        {"[notepad]\nFONTSIZE=\nFONTNAME=\n", "", 10, false, false, false, false},
        {"[notepad]\nFONTSIZE=12pt\nFONTBOLD=1 \n", "Arial", 10, true, false, false, false},
        {"[NotePad]\r\nfontname=Serif\r\nFontSize=9\r\n", "Serif", 9, false, false, false, false},
        {"[other]\nFONTSIZE=20\n", "Arial", 10, false, false, false, false},
    };
    for (const auto &c : cases) {
        const FontSettings f = ReadFontSettings(c.ini);
        EXPECT_EQ(f.name, c.name) << c.ini;
        EXPECT_EQ(f.size, c.size) << c.ini;
        EXPECT_EQ(f.bold, c.bold) << c.ini;
        EXPECT_EQ(f.italic, c.italic) << c.ini;
        EXPECT_EQ(f.underline, c.underline) << c.ini;
        EXPECT_EQ(f.strikeout, c.strikeout) << c.ini;
    }
}

TEST(NoteSettings, AStringIsReadUpTo2047Characters)
{
    const std::string longName(3000, 'x');
    EXPECT_EQ(ReadFontSettings("[notepad]\nFONTNAME=" + longName + "\n").name,
              std::string(2047, 'x'));
}

TEST(NoteSettings, AFileWrittenFromScratchListsTheKeysInOrder)
{
    FontSettings f;
    f.name = "DejaVu Sans";
    f.size = 11;
    f.italic = true;
    EXPECT_EQ(WriteFontSettings("", f), "[notepad]\nFONTNAME=DejaVu Sans\nFONTSIZE=11\n"
                                        "FONTBOLD=0\nFONTITALIC=1\nFONTUNDERLINE=0\n"
                                        "FONTSTRIKEOUT=0\n");
}

TEST(NoteSettings, WritingReplacesKeysWhereTheyStandAndKeepsEverythingElse)
{
    const std::string ini = "[first]\nkeep=1\n\n[NOTEPAD]\nfontsize=8\nOTHER=x\nFONTNAME=Old\n\n"
                            "[last]\nFONTSIZE=99\n";
    FontSettings f;
    f.name = "New";
    f.size = 14;
    f.bold = true;
    const std::string out = WriteFontSettings(ini, f);
    EXPECT_EQ(out, "[first]\nkeep=1\n\n\n[NOTEPAD]\nfontsize=14\nOTHER=x\nFONTNAME=New\n"
                   "FONTBOLD=1\nFONTITALIC=0\nFONTUNDERLINE=0\nFONTSTRIKEOUT=0\n\n\n"
                   "[last]\nFONTSIZE=99\n");
    const FontSettings back = ReadFontSettings(out);
    EXPECT_EQ(back.name, "New");
    EXPECT_EQ(back.size, 14);
    EXPECT_TRUE(back.bold);
}
