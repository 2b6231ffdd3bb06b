#include "notetext.h"

#include "notefile.h"
#include "textutil.h"

namespace {

inline char16_t FoldAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

} // namespace

std::optional<qsizetype> FindNextMatch(QStringView text, QStringView needle, qsizetype selStart,
                                       qsizetype selLength)
{
    if (needle.isEmpty())
        return std::nullopt;
    qsizetype from;
    if (selLength > 0)
        from = selStart + 1;
    else if (selStart >= text.size())
        from = 0;
    else
        from = selStart > 0 ? selStart - 1 : 0;

    const qsizetype n = needle.size();
    const char16_t *t = reinterpret_cast<const char16_t *>(text.data());
    const char16_t *nd = reinterpret_cast<const char16_t *>(needle.data());
    const char16_t first = nd[0];
    for (qsizetype i = from; i + n <= text.size(); ++i) {
        if (FoldAscii(t[i]) != first)
            continue;
        qsizetype k = 1;
        while (k < n && FoldAscii(t[i + k]) == nd[k])
            ++k;
        if (k == n)
            return i;
    }
    return std::nullopt;
}

QString NotFoundText(const QString &searchText, bool searchFresh)
{
    return QString::fromStdString(Quoted(searchText.toStdString()))
           + (searchFresh ? " - not found" : " - no more instances");
}

QString CompleteExportName(const QString &name)
{
    std::string last = name.right(4).toStdString();
    LowerInPlace(last);
    return last == ".txt" ? name : name + ".txt";
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
