// The platform's date-and-time value, any double at all.
#include "caldate.h"
#include "fuzzcheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    double v = 0; // any bit pattern: infinities and NaNs too
    in.ConsumeData(&v, sizeof v);
    const TCalDateTime dt = DateTimeFrom(v);
    const TCalDate date = DateFromDateTime(v);

    FUZZ_CHECK(dt.Time.Hour < 24 && dt.Time.Minute < 60 && dt.Time.Second < 60);
    const double first = EncodeDateTime(0, 1, 1), last = EncodeDateTime(65535, 12, 31);
    if (!std::isfinite(v) || v <= first - 1 || v >= last + 1) {
        FUZZ_CHECK(dt.Date == ZeroDate && dt.Time == TCalTime{});
        FUZZ_CHECK(date == ZeroDate);
        return 0;
    }
    if (date != ZeroDate) {
        FUZZ_CHECK(date.Month >= 1 && date.Month <= 12 && date.Day >= 1);
        const bool leap = IsGregorianLeapYear(date.Year);
        FUZZ_CHECK(date.Day <= (date.Month == 2 ? (leap ? 29 : 28) : MonthTableLength(date.Month)));
        // The day and time written back come within half a second of v (the
        // time is rounded to milliseconds, then to seconds).
        if (v >= 0 && dt.Date != ZeroDate) {
            const double back = EncodeDateTime(dt.Date.Year, dt.Date.Month, dt.Date.Day,
                                               dt.Time.Hour, dt.Time.Minute, dt.Time.Second);
            FUZZ_CHECK(std::fabs(back - v) <= 0.5005 / 86400 + 1e-15 * std::fabs(v));
        }
    }
    return 0;
}
