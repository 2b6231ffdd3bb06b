// Passwords per second for the program's source and the seeded one.
#include "lcgrandom.h"
#include "passwordgen.h"
#include "randomsource.h"

#include <benchmark/benchmark.h>

namespace {

template <typename Source>
void Generate(benchmark::State &state, const CharChoices &choices, Source &random)
{
    const int length = static_cast<int>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(GeneratePassword(choices, length, random));
    state.counters["passwords/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_System_Default(benchmark::State &state)
{
    SystemRandom r;
    Generate(state, CharChoices{}, r);
}

void BM_Lcg_Default(benchmark::State &state)
{
    LcgRandom r(LcgRandom::SeedRandom());
    Generate(state, CharChoices{}, r);
}

CharChoices SpecialOnlyTwo()
{
    CharChoices c;
    c.upper = c.lower = c.digits = false;
    c.mode = SpecialMode::OnlyThose;
    c.list = "#%";
    return c;
}

void BM_System_OnlyTwoSpecials(benchmark::State &state)
{
    SystemRandom r;
    Generate(state, SpecialOnlyTwo(), r);
}

void BM_Lcg_OnlyTwoSpecials(benchmark::State &state)
{
    LcgRandom r(LcgRandom::SeedRandom());
    Generate(state, SpecialOnlyTwo(), r);
}

} // namespace

BENCHMARK(BM_System_Default)->Arg(15)->Arg(255);
BENCHMARK(BM_Lcg_Default)->Arg(15)->Arg(255);
BENCHMARK(BM_System_OnlyTwoSpecials)->Arg(15);
BENCHMARK(BM_Lcg_OnlyTwoSpecials)->Arg(15);
