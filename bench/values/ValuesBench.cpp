// One update of a value with an observer and a subscriber, and the memory of 4,000 values as the
// controller model holds them (192 inputs of 20 values, rounded up to 200).
#include "values/TypedValues.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <array>
#include <memory>
#include <vector>

namespace {

void BM_SetValueChanged(benchmark::State& state)
{
    TIODouble source;
    TIODouble observer;
    observer.Link(&source);
    int changes = 0;
    source.OnChange = [&changes](TIOData*) { ++changes; };
    double next = 1.0;
    const bool stamped = state.range(0) != 0;
    for (auto _ : state) {
        next = 3.0 - next;  // 1, 2, 1, ...: every update is a change
        source.SetValue(next, stamped ? 45000.5 : 0);
    }
    benchmark::DoNotOptimize(changes);
    if (changes != state.iterations() || observer.GetOutValue() != TVariant(next))
        state.SkipWithError("the update did not reach the subscriber and the observer");
}
// 0: stamped now (reads the clock), 1: a time given by the caller.
BENCHMARK(BM_SetValueChanged)->ArgName("given_time")->Arg(0)->Arg(1);

const TDescriptionOfStates& SensorStates()
{
    static const TDescriptionOfStates states = [] {
        TDescriptionOfStates d;
        d.SetCaptions({"Неизвестно", "Норма", "AAA7", "AAA8", "AAA9", "AAAA", "AAAB", "AAAC", "AAAD",
                       "AAAE", "AAAF"});
        d.SetColors1({clGray, clBlack, clGray, clRed, clRed, clRed, clRed, clRed, clRed, clRed, clRed});
        d.SetAlarms({false, false, false, true, true, true, true, true, true, true, true});
        return d;
    }();
    return states;
}

// The values of one controller input.
struct TInputValues
{
    TIOStates OprosState;
    std::array<TIOThreeStates, 6> Bound;
    std::array<TIODouble, 6> Temper;
    std::array<TIOStates, 6> TemperState;
    TIOThreeStates ChannelEnabled;

    static constexpr int kCount = 20;

    // Names, captions and hints of its own, as the controller model gives each value.
    void Describe(int n)
    {
        OprosState.StatesDescription().Assign(SensorStates());
        ChannelEnabled.Description().SetName("ChannelEnabled");
        for (int i = 0; i < 6; ++i) {
            const QString ns = QString::number(n) + u'.' + QString::number(i + 1);
            Bound[i].Description().SetName("Bound" + QString::number(i + 1));
            Bound[i].Description().Title = "У " + ns;
            Bound[i].Description().Hint = "Уставка " + ns;
            Temper[i].Description().SetName("Temper" + QString::number(i + 1));
            Temper[i].Description().Title = "T " + ns;
            Temper[i].Description().Hint = "Температура " + ns;
            TemperState[i].StatesDescription().Assign(SensorStates());
            TemperState[i].StatesDescription().SetName("TemperState" + QString::number(i + 1));
            TemperState[i].StatesDescription().Title = "Состояние датчика " + ns;
            TemperState[i].StatesDescription().Hint = "Состояние датчика температуры " + ns;
        }
    }
};

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void BM_Memory4000Values(benchmark::State& state)
{
    constexpr int kInputs = 4000 / TInputValues::kCount;
    const bool described = state.range(0) != 0;
    size_t bytes = 0;
    for (auto _ : state) {
        SensorStates();  // the shared template is not part of the count
        const size_t before = HeapInUse();
        std::vector<std::unique_ptr<TInputValues>> inputs;
        inputs.reserve(kInputs);
        for (int n = 1; n <= kInputs; ++n) {
            inputs.push_back(std::make_unique<TInputValues>());
            if (described)
                inputs.back()->Describe(n);
        }
        bytes = HeapInUse() - before;
        benchmark::DoNotOptimize(inputs.data());
    }
    state.counters["bytes"] = double(bytes);
    state.counters["bytes_per_value"] = double(bytes) / (kInputs * TInputValues::kCount);
}
// 0: values with their default descriptions; 1: with names, titles and hints of their own.
BENCHMARK(BM_Memory4000Values)->ArgName("described")->Arg(0)->Arg(1)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
