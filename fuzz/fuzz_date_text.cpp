// Reading dates from text: ParseIsoDate, IsoDateOrZero, and the way back.
#include "datetext.h"
#include "fuzzcheck.h"
#include "textutil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const TCalDate before{7, 8, 9};
    TCalDate d = before;
    const bool ok = ParseIsoDate(text, d);

    if (text.size() < 10) {
        FUZZ_CHECK(!ok);
    } else {
        // Fields at 1-4, 6-7 and 9-10; month and day carry no sign.
        const auto year = ReadIntegerText(text.substr(0, 4));
        const std::string m = text.substr(5, 2), dd = text.substr(8, 2);
        const auto month = ReadIntegerText(m);
        const auto day = ReadIntegerText(dd);
        const bool unsignedFields = m.find_first_of("+-") == std::string::npos
                                    && dd.find_first_of("+-") == std::string::npos;
        FUZZ_CHECK(ok == (year && month && day && unsignedFields));
        if (ok) {
            FUZZ_CHECK(d.Year == static_cast<std::uint16_t>(*year));
            FUZZ_CHECK(d.Month == static_cast<std::uint16_t>(*month));
            FUZZ_CHECK(d.Day == static_cast<std::uint16_t>(*day));
        }
    }
    if (!ok)
        FUZZ_CHECK(d == before);
    FUZZ_CHECK(IsoDateOrZero(text) == (ok ? d : ZeroDate));

    // What is written reads back as itself.
    if (ok && d.Year <= 9999 && d.Month <= 99 && d.Day <= 99) {
        TCalDate back;
        FUZZ_CHECK(ParseIsoDate(IsoDateText(d), back) && back == d);
        FUZZ_CHECK(ParseIsoDate(IsoDateShortDayText(d), back) && back == d);
    }
    return 0;
}
