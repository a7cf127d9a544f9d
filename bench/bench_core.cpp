// Per-call cost of the measurement core, beside the floor of what the
// potential cannot avoid: two extended square roots and one logarithm.
#include "core/calibration.h"
#include "core/field.h"
#include "core/fixed3.h"
#include "core/protocol.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <unistd.h> // isatty

namespace {

using namespace potencor;

// Points spread over the plane, all outside the electrodes: inside, the
// potential is a constant and would flatter the figure, and the mouse spends
// about 1 % of the plot there. Varied so that nothing folds to a constant.
constexpr std::array<long double, 8> kX = {0.0L, 5.5L, 9.6L, 15.25L, 21.425L, 28.0L, 36.0L, 42.83L};
constexpr std::array<long double, 8> kY = {0.0L, 7.5L, 17.0L, 12.0L, 15.0L, 22.25L, 14.7L, 30.0L};
constexpr std::array<std::int32_t, 8> kCursorX = {35, 120, 400, 516, 611, 840, 997, 1010};
constexpr std::array<std::int32_t, 8> kCursorY = {710, 650, 372, 500, 33, 200, 420, 90};
constexpr std::size_t kMask = kX.size() - 1;

// The two roots are joined by an addition, the cheapest way to feed both into
// the logarithm; the potential's own quotient counts against it.
void BM_Floor_TwoSqrtOneLog(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        long double x = kX[i & kMask];
        long double y = kY[i & kMask];
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        const long double r = std::log(std::sqrt(x * x + 1.0L) + std::sqrt(y * y + 2.0L));
        benchmark::DoNotOptimize(r);
        ++i;
    }
}
BENCHMARK(BM_Floor_TwoSqrtOneLog);

// The floor with the model's three divisions in the same places (the ratio
// of the roots before the logarithm, then by 2 pi and by the divisor after
// it), each an extended-precision division whose rounding every printed
// digit depends on: what the potential costs over the floor beyond these is
// its own part.
void BM_Floor_WithTheModelsDivisions(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        long double x = kX[i & kMask];
        long double y = kY[i & kMask];
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        const long double raw = std::log(std::sqrt(x * x + 1.0L) / std::sqrt(y * y + 2.0L));
        const long double r = (raw / field::detail::kTwoPi + field::detail::kOffset) * field::detail::kFullScale
                              / field::detail::kDivisor;
        benchmark::DoNotOptimize(r);
        ++i;
    }
}
BENCHMARK(BM_Floor_WithTheModelsDivisions);

void BM_Potential(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        long double x = kX[i & kMask];
        long double y = kY[i & kMask];
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        benchmark::DoNotOptimize(field::potential(x, y));
        ++i;
    }
}
BENCHMARK(BM_Potential);

void BM_Convert(benchmark::State& state)
{
    const calibration::Calibration cal = calibration::defaults();
    std::size_t i = 0;
    for (auto _ : state) {
        std::int32_t cx = kCursorX[i & kMask];
        std::int32_t cy = kCursorY[i & kMask];
        benchmark::DoNotOptimize(cx);
        benchmark::DoNotOptimize(cy);
        benchmark::DoNotOptimize(calibration::convert(cal, cx, cy, 0, 0, (i & 1) != 0));
        ++i;
    }
}
BENCHMARK(BM_Convert);

void BM_Fixed3(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        long double v = kX[i & kMask];
        benchmark::DoNotOptimize(v);
        benchmark::DoNotOptimize(fixed3(v, U','));
        ++i;
    }
}
BENCHMARK(BM_Fixed3);

void BM_ProtocolLine(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        long double x = kX[i & kMask];
        long double y = kY[i & kMask];
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        benchmark::DoNotOptimize(
            protocol::line(static_cast<std::int32_t>(i & 1023), x, y, 6.3L, U','));
        ++i;
    }
}
BENCHMARK(BM_ProtocolLine);

// Everything a click asks of the core: convert, evaluate, format and append.
void BM_ClickCoreWork(benchmark::State& state)
{
    const calibration::Calibration cal = calibration::defaults();
    std::string memo;
    std::size_t i = 0;
    for (auto _ : state) {
        std::int32_t cx = kCursorX[i & kMask];
        std::int32_t cy = kCursorY[i & kMask];
        benchmark::DoNotOptimize(cx);
        benchmark::DoNotOptimize(cy);
        const calibration::PlaneCm p = calibration::convert(cal, cx, cy, 0, 0, false);
        const long double phi = field::potential(p.X1, p.Y1);
        memo += protocol::line(static_cast<std::int32_t>(i), p.X1, p.Y1, phi, U',');
        memo += protocol::kLineEnd;
        // Keep the protocol short: its growth is the text box's cost, not the core's.
        if ((i & 63) == 63)
            memo.clear();
        benchmark::DoNotOptimize(memo.data());
        ++i;
    }
}
BENCHMARK(BM_ClickCoreWork);

// Prints potential/floor from the times actually measured in this run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(bool colour) : ConsoleReporter(colour ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred)
                perCallNs_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto floor = perCallNs_.find("BM_Floor_TwoSqrtOneLog");
        const auto divided = perCallNs_.find("BM_Floor_WithTheModelsDivisions");
        const auto potential = perCallNs_.find("BM_Potential");
        if (floor == perCallNs_.end() || potential == perCallNs_.end() || floor->second <= 0)
            return;
        std::printf("potential / floor (2 sqrtl + 1 logl): %.2fx (%.1f ns / %.1f ns)\n",
                    potential->second / floor->second, potential->second, floor->second);
        if (divided != perCallNs_.end() && divided->second > 0)
            std::printf("potential / floor with the model's 3 divisions: %.2fx (%.1f ns / %.1f ns)\n",
                        potential->second / divided->second, potential->second, divided->second);
    }

private:
    std::map<std::string, double> perCallNs_;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter(isatty(fileno(stdout)) != 0);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
