#pragma once

#include <string>

// The memo font as the settings file "npad.ini" keeps it, section "notepad".
struct FontSettings {
    std::string name = "Arial";
    int size = 10; // whole points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
};

// Reads the font from the settings file's bytes; missing or unreadable keys
// give the defaults. Names of sections and keys match without regard to case.
FontSettings ReadFontSettings(const std::string &ini);

// The settings file's bytes with the font written into them: each key is
// replaced where it stands or appended to the section, in the order FONTNAME,
// FONTSIZE, FONTBOLD, FONTITALIC, FONTUNDERLINE, FONTSTRIKEOUT; other
// sections and keys are kept.
std::string WriteFontSettings(const std::string &ini, const FontSettings &font);
