#pragma once

#include <QString>

// The text routines of textutil.h for Qt's strings, by the same rules, so
// that no text goes through UTF-8 and back to be lower-cased or trimmed.

// LowerInPlace: the ASCII letters A-Z only.
inline void LowerInPlace(QString &text)
{
    for (QChar &c : text)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
}

inline QString LowerAscii(QString text)
{
    LowerInPlace(text);
    return text;
}

// Quoted: the text in double quotes.
inline QString Quoted(const QString &text)
{
    return '"' + text + '"';
}

// TrimTrailingBlanks: tabs, line feeds, carriage returns and spaces at the
// end go; returns how many.
inline qsizetype TrimTrailingBlanks(QString &text)
{
    qsizetype keep = text.size();
    while (keep > 0
           && (text[keep - 1] == u'\t' || text[keep - 1] == u'\n' || text[keep - 1] == u'\r'
               || text[keep - 1] == u' '))
        --keep;
    const qsizetype removed = text.size() - keep;
    text.truncate(keep);
    return removed;
}
