#pragma once

#include "noteencoding.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// Text that could not go into the note, kept in a file of its own.

// The folders where unsaved text may be kept, in the order they are tried:
// the user's data folder, the session's runtime folder, the system's
// temporary folder.
QStringList DefaultUnsavedFolders();

// A new file's name for text that could not be kept in the note:
// "npad-unsaved-<yyyymmdd>-<hhmmss>.txt", with "-2", "-3" … before ".txt"
// while a file of that name exists in `folder`.
QString UnsavedNotePath(const QString &folder, const QDateTime &now);

// Keeps `text`, in `encoding` as the note is (a Windows-1252 note whose text
// it can't hold as UTF-8), in a new file in the first of `folders` that
// takes it, under `path` when that was the name the user was told; `path`
// is then where it was kept. False with every folder's failure, one a line.
bool KeepUnsaved(const QString &text, NoteEncoding encoding, NoteBreaks breaks,
                 const QStringList &folders, QString &path, QString &failures);
