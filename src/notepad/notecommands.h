#pragma once

#include <QString>

#include <optional>

// Plain text rules of the notepad's commands.

// A search's two halves. Where it starts: one past the selection's start
// when there is a selection, at 0 when the caret is at or past the end,
// else one before the caret, so that a match the caret has just entered is
// found. And the first match at or after an index, or nothing: `needle` is
// lower case; A-Z in the text match their lower case, every other
// character only itself.
qsizetype SearchStart(qsizetype selStart, qsizetype selLength, qsizetype textLength);
std::optional<qsizetype> FindFolded(QStringView text, QStringView needle, qsizetype from);

// The box text when no further match exists: " - not found" while none has
// been found for this search text, then " - no more instances".
QString NotFoundText(const QString &searchText, bool searchFresh);

// ".txt" appended unless the name's last four characters, ASCII lower-cased,
// are ".txt" already.
QString CompleteExportName(const QString &name);

// The index in the memo's text of a caret position counted as in the note
// file, where a line break is two characters (CR LF); past the end gives the
// end.
qsizetype CaretIndexForFilePosition(QStringView text, qsizetype filePosition);
