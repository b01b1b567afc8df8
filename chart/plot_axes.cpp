#include "chart/plot_axes.hpp"

#include <cmath>

ValueScale value_scale(double min, double max, int target)
{
    if (!(max > min)) {
        double pad = std::fabs(min) > 1 ? std::fabs(min) * 0.1 : 1;
        min -= pad;
        max += pad;
    }
    double rough = (max - min) / (target > 1 ? target - 1 : 1);
    double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power * 10;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (power * factor >= rough) {
            step = power * factor;
            break;
        }
    }
    ValueScale scale;
    scale.step = step;
    scale.low = std::floor(min / step) * step;
    scale.high = std::ceil(max / step) * step;
    for (double t = scale.low; t <= scale.high + step / 2; t += step)
        scale.ticks.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
    return scale;
}

int64_t time_step_ms(int64_t span_ms, int target)
{
    static constexpr int64_t steps[] = {
        1'000,     2'000,     5'000,     10'000,     15'000,     30'000,      60'000,
        120'000,   300'000,   600'000,   900'000,    1'800'000,  3'600'000,   7'200'000,
        10'800'000, 21'600'000, 43'200'000, 86'400'000};
    for (int64_t step : steps)
        if (span_ms / step <= target)
            return step;
    return steps[std::size(steps) - 1];
}

std::vector<int64_t> time_ticks(int64_t from_ms, int64_t to_ms, int64_t step_ms, int64_t offset_ms)
{
    std::vector<int64_t> ticks;
    int64_t local = from_ms + offset_ms;
    int64_t first = (local / step_ms + (local % step_ms > 0 ? 1 : 0)) * step_ms - offset_ms;
    for (int64_t t = first; t <= to_ms; t += step_ms)
        ticks.push_back(t);
    return ticks;
}
