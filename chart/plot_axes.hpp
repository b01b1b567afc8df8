#pragma once
// Readable axis divisions: value ticks on steps of 1, 2 or 5 times a power
// of ten, time ticks on whole seconds, minutes or hours.

#include <cstdint>
#include <string>
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

// The label of a value tick, to the last digit of the scale's step and no
// further: 0.6 at a step of 0.2, 15 at a step of 5. Far from 1 in size it
// takes the exponent form (1.25e+20).
std::string tick_text(double tick, double step);

// The time step, in milliseconds, that gives at most target ticks over span_ms.
int64_t time_step_ms(int64_t span_ms, int target);
// Tick times: the multiples of step_ms (counted in local time when offset_ms
// is the local offset from UTC) within from_ms..to_ms.
std::vector<int64_t> time_ticks(int64_t from_ms, int64_t to_ms, int64_t step_ms, int64_t offset_ms);
