#include "notecommands.h"

#include "noteencoding.h"
#include "qtextutil.h"

namespace {

inline char16_t FoldAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

} // namespace

qsizetype SearchStart(qsizetype selStart, qsizetype selLength, qsizetype textLength)
{
    if (selLength > 0)
        return selStart + 1;
    if (selStart >= textLength)
        return 0;
    return selStart > 0 ? selStart - 1 : 0;
}

std::optional<qsizetype> FindFolded(QStringView text, QStringView needle, qsizetype from)
{
    const qsizetype n = needle.size();
    if (n == 0 || from < 0)
        return std::nullopt;
    const char16_t *t = reinterpret_cast<const char16_t *>(text.data());
    const char16_t *nd = reinterpret_cast<const char16_t *>(needle.data());
    // Candidates come from Qt's vectorised scan for the first character, in
    // either case when it is a letter.
    const char16_t first = nd[0];
    const char16_t other = first >= u'a' && first <= u'z' ? char16_t(first - 32) : first;
    const qsizetype last = text.size() - n;
    qsizetype nextFirst = text.indexOf(QChar(first), from);
    qsizetype nextOther = other == first ? -1 : text.indexOf(QChar(other), from);
    while (true) {
        qsizetype i;
        if (nextFirst < 0 || (nextOther >= 0 && nextOther < nextFirst))
            i = nextOther;
        else
            i = nextFirst;
        if (i < 0 || i > last)
            return std::nullopt;
        qsizetype k = 1;
        while (k < n && FoldAscii(t[i + k]) == nd[k])
            ++k;
        if (k == n)
            return i;
        if (i == nextFirst)
            nextFirst = text.indexOf(QChar(first), i + 1);
        else
            nextOther = text.indexOf(QChar(other), i + 1);
    }
}

QString NotFoundText(const QString &searchText, bool searchFresh)
{
    return Quoted(searchText) + (searchFresh ? " - not found" : " - no more instances");
}

QString CompleteExportName(const QString &name)
{
    return LowerAscii(name.right(4)) == ".txt" ? name : name + ".txt";
}

qsizetype CaretIndexForFilePosition(QStringView text, qsizetype filePosition)
{
    qsizetype counted = 0;
    qsizetype i = 0;
    while (i < text.size() && counted < filePosition) {
        counted += IsNoteBreak(text[i].unicode()) ? 2 : 1;
        ++i;
    }
    // Never between the halves of a surrogate pair.
    if (i < text.size() && text[i].isLowSurrogate())
        ++i;
    return i;
}
