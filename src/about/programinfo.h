#pragma once

#include <QDateTime>
#include <QString>

// The two lines that identify the installed program: the executable's full
// path in lower case (ASCII letters only), and its file's modification time
// in local time as "yyyy-mm-dd hh:mm:ss", at the two-second resolution of
// the file-date form the program uses (the seconds rounded down to even).
// No trailing blanks.
QString ProgramInfoText(const QString &executablePath, const QDateTime &modified);
