#include "notesettings.h"

#include "filereading.h"
#include "filewriting.h"
#include "textutil.h"

#include <QFileInfo>

// Keys and values are kept as the bytes they are: no wide-character API,
// and the templates compiled here rather than taken from the shared library
// (which would bring ICU along for conversions never used).
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace {

constexpr const char *kSection = "notepad";
constexpr std::size_t kMaxString = 2047;

void Load(CSimpleIniA &ini, const std::string &bytes)
{
    ini.SetUnicode(false);
    ini.SetMultiKey(false);
    ini.SetSpaces(false); // key=value
    ini.LoadData(bytes);
}

int ReadInteger(const CSimpleIniA &ini, const char *key, int fallback)
{
    const char *value = ini.GetValue(kSection, key, nullptr);
    if (!value || !*value)
        return fallback;
    const auto n = ReadIntegerText(value);
    return n ? *n : fallback;
}

bool ReadFlag(const CSimpleIniA &ini, const char *key)
{
    return ReadInteger(ini, key, 0) != 0;
}

std::string ReadString(const CSimpleIniA &ini, const char *key, const std::string &fallback)
{
    const char *value = ini.GetValue(kSection, key, nullptr);
    if (!value)
        return fallback;
    std::string s(value);
    if (s.size() > kMaxString) {
        s.resize(kMaxString);
        // Not in the middle of a UTF-8 character.
        while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80)
            s.pop_back();
        if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xC0)
            s.pop_back();
    }
    return s;
}

} // namespace

FontSettings ReadFontSettings(const std::string &bytes)
{
    CSimpleIniA ini;
    Load(ini, bytes);
    FontSettings f;
    f.name = ReadString(ini, "FONTNAME", f.name);
    f.size = ReadInteger(ini, "FONTSIZE", f.size);
    f.bold = ReadFlag(ini, "FONTBOLD");
    f.italic = ReadFlag(ini, "FONTITALIC");
    f.underline = ReadFlag(ini, "FONTUNDERLINE");
    f.strikeout = ReadFlag(ini, "FONTSTRIKEOUT");
    return f;
}

std::string WriteFontSettings(const std::string &bytes, const FontSettings &font)
{
    CSimpleIniA ini;
    Load(ini, bytes);
    auto flag = [](bool on) { return on ? "1" : "0"; };
    ini.SetValue(kSection, "FONTNAME", font.name.c_str());
    ini.SetValue(kSection, "FONTSIZE", std::to_string(font.size).c_str());
    ini.SetValue(kSection, "FONTBOLD", flag(font.bold));
    ini.SetValue(kSection, "FONTITALIC", flag(font.italic));
    ini.SetValue(kSection, "FONTUNDERLINE", flag(font.underline));
    ini.SetValue(kSection, "FONTSTRIKEOUT", flag(font.strikeout));
    std::string out;
    ini.Save(out);
    return out;
}

FontSettings ReadFontSettingsFile(const QString &path)
{
    QByteArray bytes;
    QString unused;
    if (QFileInfo::exists(path))
        ReadWholeFile(path, bytes, unused);
    return ReadFontSettings(bytes.toStdString());
}

bool WriteFontSettingsFile(const QString &path, const FontSettings &font)
{
    QByteArray existing;
    QString reason;
    if (QFileInfo::exists(path) && !ReadWholeFile(path, existing, reason))
        return false;
    const std::string bytes = WriteFontSettings(existing.toStdString(), font);
    return MakePrivateFolder(QFileInfo(path).path(), reason)
           && WriteFileAtomically(path, QByteArray::fromStdString(bytes), reason);
}
