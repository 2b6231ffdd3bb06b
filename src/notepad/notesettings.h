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

class QString;

// The font from the settings file at `path`; a missing file gives the
// defaults.
FontSettings ReadFontSettingsFile(const QString &path);

// Writes the font into the settings file at `path`, whole or not at all,
// keeping what else it holds; false when it can't (a file that can't be
// read would lose its other sections, and is not written).
bool WriteFontSettingsFile(const QString &path, const FontSettings &font);
