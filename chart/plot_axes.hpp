#pragma once
// Readable axis divisions: value ticks on steps of 1, 2 or 5 times a power
// of ten, time ticks on whole seconds, minutes or hours.

#include <cstdint>
#include <vector>

struct ValueScale {
    double low = 0;   // the axis ends, widened to whole steps
    double high = 1;
    double step = 1;  // distance between ticks
    std::vector<double> ticks;
};

// A scale that holds min..max with about target ticks. An empty or flat
// range is widened around its value.
ValueScale value_scale(double min, double max, int target);

// The time step, in milliseconds, that gives at most target ticks over span_ms.
int64_t time_step_ms(int64_t span_ms, int target);
// Tick times: the multiples of step_ms (counted in local time when offset_ms
// is the local offset from UTC) within from_ms..to_ms.
std::vector<int64_t> time_ticks(int64_t from_ms, int64_t to_ms, int64_t step_ms, int64_t offset_ms);
