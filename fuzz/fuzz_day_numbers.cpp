// Day numbers across any transition: the constant-time count against the
// day-by-day walk, and consecutive real dates one day apart.
#include "caldate.h"
#include "daywalk.h"
#include "fuzzcheck.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

TCalDate AnyDate(FuzzedDataProvider &in)
{
    const auto year = in.ConsumeIntegral<std::uint16_t>();
    const auto month = static_cast<std::uint16_t>(in.ConsumeIntegralInRange(0, 15));
    const auto day = static_cast<std::uint16_t>(in.ConsumeIntegralInRange(0, 39));
    return {year, month, day};
}

bool Real(TCalDate d)
{
    if (d.Year < 1 || d.Year > 9999 || d.Month < 1 || d.Month > 12 || d.Day < 1)
        return false;
    const bool leap = UsesJulianRules(d) ? IsJulianLeapYear(d.Year) : IsGregorianLeapYear(d.Year);
    const int length = d.Month == 2 ? (leap ? 29 : 28) : MonthTableLength(d.Month);
    return d.Day <= length;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const TCalDate lastJulian = AnyDate(in);
    TCalDate firstGregorian = AnyDate(in);
    SetLastJulianDay(lastJulian);
    SetFirstGregorianDay(firstGregorian);

    // A date a few years from the first Gregorian day, so the walk stays short.
    TCalDate d = AnyDate(in);
    d.Year = static_cast<std::uint16_t>(firstGregorian.Year + in.ConsumeIntegralInRange(0, 11));

    FUZZ_CHECK(DaysFromFirstGregorian(d) == WalkDaysFromFirstGregorian(d));
    FUZZ_CHECK(JulianDayCount(d) == WalkJulianDayCount(d));
    const std::int32_t n = DayNumber(d);
    const int weekday = WeekdayNo(d);
    FUZZ_CHECK(weekday >= 0 && weekday <= 7 && (weekday == 0) == (d.Year == 0));

    // With a transition the way the model expects it, every real date that
    // the calendar has is followed by one numbered one higher.
    const bool sane =
        Real(lastJulian) && Real(firstGregorian) && DateBefore(lastJulian, firstGregorian);
    const bool inGap = DateAfter(d, lastJulian) && DateBefore(d, firstGregorian);
    if (sane && Real(d) && !inGap && d.Year < 9999) {
        TCalDate next = d;
        if (DatesEqual(d, lastJulian)) {
            next = firstGregorian;
        } else {
            // The next real date under the rules that apply to d.
            ++next.Day;
            if (!Real(next)) {
                next.Day = 1;
                NextMonth(next);
            }
        }
        if (!(DateAfter(next, lastJulian) && DateBefore(next, firstGregorian)))
            FUZZ_CHECK(DayNumber(next) == n + 1);
    }
    return 0;
}
