#include "chart/plot_axes.hpp"

#include <algorithm>
#include <charconv>
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

std::string tick_text(double tick, double step)
{
    if (!std::isfinite(tick) || !(step > 0))
        return {};
    // Ticks are sums of steps and carry their rounding (0.6000000000000001);
    // a tick within half a step of zero is zero, never "-0".
    if (std::fabs(tick) < step / 2)
        tick = 0;
    int step_digit = int(std::floor(std::log10(step) + 1e-9));  // 0.2: -1, 5: 0, 20: 1
    double magnitude = std::fabs(tick);
    char text[64];
    std::to_chars_result result;
    if (magnitude >= 1e15 || step_digit < -9) {
        int lead = magnitude > 0 ? int(std::floor(std::log10(magnitude))) : step_digit;
        // A double holds no more than 17 significant digits.
        int precision = std::clamp(lead - step_digit, 0, 16);
        result = std::to_chars(text, text + sizeof text, tick, std::chars_format::scientific, precision);
    } else {
        result = std::to_chars(text, text + sizeof text, tick, std::chars_format::fixed, std::max(0, -step_digit));
    }
    return result.ec == std::errc{} ? std::string(text, result.ptr) : std::string();
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
