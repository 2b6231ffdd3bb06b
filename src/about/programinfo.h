#pragma once

#include <QDateTime>
#include <QString>

// The two lines that identify the installed program: the executable's full
// path in lower case (ASCII letters only), and its file's modification time
// in local time as "yyyy-mm-dd hh:mm:ss", the seconds rounded down to even
// as the file-date form of the original had them. No trailing blanks.
QString ProgramInfoText(const QString &executablePath, const QDateTime &modified);
