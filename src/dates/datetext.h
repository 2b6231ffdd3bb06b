#pragma once

#include "caldate.h"

#include <cstdint>
#include <string>

// English names; the empty text outside their tables.
std::string MonthName(int month);
std::string DayName(int weekday);
std::string ShortDayName(int weekday);

// "yyyy-mm-dd"; a year above 9999 keeps all its digits.
std::string IsoDateText(TCalDate d);
std::string IsoDateShortDayText(TCalDate d); // "2024-05-06 (Mon)"
std::string IsoDateLongDayText(TCalDate d);  // "2024-05-06 (Monday)"

std::int32_t DateDigits(TCalDate d);
std::int32_t TimeDigits(TCalTime t);
std::string HourMinuteText(TCalTime t);
std::string HourMinuteSecondText(TCalTime t);

// Date-and-time stamps in styles 0 to 4; "?" for any other style.
std::string StampText(const TCalDateTime &dt, int style);
std::string StampTextOf(double v, int style);

// Reads year, month and day from characters 1-4, 6-7 and 9-10 as integer
// texts, each cut to 16 bits; `d` is set only on success.
bool ParseIsoDate(const std::string &text, TCalDate &d);
TCalDate IsoDateOrZero(const std::string &text);

// The date library's part of the start-up: the transition dates.
void DatesStartUp();
