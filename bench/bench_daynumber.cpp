// Day numbers: the day-by-day walk against the constant-time count.
#include "caldate.h"
#include "datetext.h"
#include "daywalk.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr TCalDate kLast{9999, 12, 31};

void BM_DayNumber_Walk(benchmark::State &state)
{
    DatesStartUp();
    std::int32_t n = 0;
    for (auto _ : state) {
        DayWalk walk;
        while (!DatesEqual(walk.date, kLast))
            walk.Next();
        n = walk.number;
        benchmark::DoNotOptimize(n);
    }
    state.counters["day"] = n;
}

void BM_DayNumber_ClosedForm(benchmark::State &state)
{
    DatesStartUp();
    // Read afresh each time, so nothing is computed ahead of the loop.
    volatile std::uint16_t year = kLast.Year;
    std::int32_t n = 0;
    for (auto _ : state) {
        n = DayNumber({year, kLast.Month, kLast.Day});
        benchmark::DoNotOptimize(n);
    }
    state.counters["day"] = n;
}

void BM_WeekdayNo_Year(benchmark::State &state)
{
    DatesStartUp();
    std::vector<TCalDate> year;
    for (TCalDate d{2024, 1, 1}; d.Year == 2024; NextDay(d))
        year.push_back(d);
    for (auto _ : state)
        for (const TCalDate &d : year)
            benchmark::DoNotOptimize(WeekdayNo(d));
    state.SetItemsProcessed(state.iterations() * std::int64_t(year.size()));
}

} // namespace

BENCHMARK(BM_DayNumber_Walk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DayNumber_ClosedForm);
BENCHMARK(BM_WeekdayNo_Year)->Unit(benchmark::kMicrosecond);
