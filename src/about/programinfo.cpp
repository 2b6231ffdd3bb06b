#include "programinfo.h"

#include "datetext.h"
#include "qtextutil.h"

QString ProgramInfoText(const QString &executablePath, const QDateTime &modified)
{

    const QDateTime local = modified.toLocalTime();
    const QDate date = local.date();
    const QTime time = local.time();
    TCalDateTime stamp;
    stamp.Date = {static_cast<std::uint16_t>(date.year()), static_cast<std::uint16_t>(date.month()),
                  static_cast<std::uint16_t>(date.day())};
    stamp.Time = {static_cast<std::uint16_t>(time.hour()),
                  static_cast<std::uint16_t>(time.minute()),
                  static_cast<std::uint16_t>(time.second() & ~1)};

    QString text = LowerAscii(executablePath) + '\n' + QString::fromStdString(StampText(stamp, 1));
    TrimTrailingBlanks(text);
    return text;
}
