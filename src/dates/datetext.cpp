#include "datetext.h"

#include "textutil.h"

#include <array>
#include <optional>

namespace {

constexpr std::array<const char *, 12> MonthNames{"January",   "February", "March",    "April",
                                                  "May",       "June",     "July",     "August",
                                                  "September", "October",  "November", "December"};

constexpr std::array<const char *, 7> DayNames{"Monday", "Tuesday",  "Wednesday", "Thursday",
                                               "Friday", "Saturday", "Sunday"};

} // namespace

std::string MonthName(int month)
{
    return month >= 1 && month <= 12 ? MonthNames[static_cast<std::size_t>(month - 1)] : "";
}

std::string DayName(int weekday)
{
    return weekday >= 1 && weekday <= 7 ? DayNames[static_cast<std::size_t>(weekday - 1)] : "";
}

std::string ShortDayName(int weekday)
{
    return DayName(weekday).substr(0, 3);
}

std::string IsoDateText(TCalDate d)
{
    return PadNumber(d.Year, 4) + "-" + PadNumber(d.Month, 2) + "-" + PadNumber(d.Day, 2);
}

std::string IsoDateShortDayText(TCalDate d)
{
    return IsoDateText(d) + " (" + ShortDayName(WeekdayNo(d)) + ")";
}

std::string IsoDateLongDayText(TCalDate d)
{
    return IsoDateText(d) + " (" + DayName(WeekdayNo(d)) + ")";
}

std::int32_t DateDigits(TCalDate d)
{
    return d.Year * 10000 + d.Month * 100 + d.Day;
}

std::int32_t TimeDigits(TCalTime t)
{
    return t.Hour * 10000 + t.Minute * 100 + t.Second;
}

std::string HourMinuteText(TCalTime t)
{
    return PadNumber(t.Hour, 2) + ":" + PadNumber(t.Minute, 2);
}

std::string HourMinuteSecondText(TCalTime t)
{
    return HourMinuteText(t) + ":" + PadNumber(t.Second, 2);
}

std::string StampText(const TCalDateTime &dt, int style)
{
    switch (style) {
    case 0:
        return PadNumber(DateDigits(dt.Date), 8) + PadNumber(TimeDigits(dt.Time), 6);
    case 1:
        return IsoDateText(dt.Date) + " " + HourMinuteSecondText(dt.Time);
    case 2:
        return IsoDateText(dt.Date) + " " + HourMinuteText(dt.Time) + " ";
    case 3:
        return IsoDateShortDayText(dt.Date) + " " + HourMinuteText(dt.Time);
    case 4:
        return IsoDateLongDayText(dt.Date) + " " + HourMinuteText(dt.Time);
    default:
        return "?";
    }
}

std::string StampTextOf(double v, int style)
{
    return StampText(DateTimeFrom(v), style);
}

namespace {

// A month or day field takes no sign: one there means the text is shifted
// (" 2024-05-06" would read its hyphens as minus signs, giving 0202-00-00).
std::optional<std::int32_t> ReadUnsignedField(const std::string &field)
{
    if (field.find_first_of("+-") != std::string::npos)
        return std::nullopt;
    return ReadIntegerText(field);
}

} // namespace

bool ParseIsoDate(const std::string &text, TCalDate &d)
{
    if (text.size() < 10)
        return false;
    const auto year = ReadIntegerText(text.substr(0, 4));
    if (!year)
        return false;
    const auto month = ReadUnsignedField(text.substr(5, 2));
    if (!month)
        return false;
    const auto day = ReadUnsignedField(text.substr(8, 2));
    if (!day)
        return false;
    d = {static_cast<std::uint16_t>(*year), static_cast<std::uint16_t>(*month),
         static_cast<std::uint16_t>(*day)};
    return true;
}

TCalDate IsoDateOrZero(const std::string &text)
{
    TCalDate d = ZeroDate;
    ParseIsoDate(text, d);
    return d;
}

void DatesStartUp()
{
    SetLastJulianDay(IsoDateOrZero("1752-09-02"));
    SetFirstGregorianDay(IsoDateOrZero("1752-09-14"));
}
