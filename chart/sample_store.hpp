#pragma once
// The samples of one charted address: the newest polls at full resolution,
// older ones folded into one minimum/maximum/mean per second for up to a
// day, and the reduction of any time span to one minimum/maximum pair per
// pixel column.
//
// A sample's value is a number; or a failed poll, a NaN such as
// std::nan(""); or a value the device sent that is no number: an infinity,
// or device_nan(), the one NaN filed for every NaN a device sends. The last
// two have no place on the axis: like a failed poll they break the line,
// but the texts of the chart tell them apart from it.
//
// Times are milliseconds since the epoch (UTC) and never go backwards in a
// store: a sample older than the newest is filed at the newest time, so a
// clock stepped back cannot unsort the data.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// A NaN of a payload of its own, which no failed poll files.
double device_nan();
bool is_failed_poll(double value);

inline constexpr size_t full_resolution_samples = 100'000;
inline constexpr size_t reduced_seconds = 86'400;  // 24 hours

// One second of samples that left the full-resolution ring.
struct SecondSummary {
    int64_t second = 0;  // time / 1000, floored
    double min = 0;
    double max = 0;
    double sum = 0;
    uint32_t count = 0;  // samples with a value; 0: the second held only gaps
    bool gap = false;    // at least one sample without a number in this second
};

// A ring that grows on demand up to a fixed capacity and then drops its
// oldest entry for each new one.
template <typename T>
struct Ring {
    std::vector<T> items;  // physical storage, at most capacity entries
    size_t capacity = 0;
    size_t head = 0;  // physical index of the oldest entry
    size_t count = 0;

    size_t size() const { return count; }
    const T& operator[](size_t logical) const { return items[physical(logical)]; }
    T& operator[](size_t logical) { return items[physical(logical)]; }
    size_t physical(size_t logical) const
    {
        size_t i = head + logical;
        return i >= items.size() ? i - items.size() : i;
    }
    // The two contiguous runs, oldest first.
    std::span<const T> first_run() const
    {
        return {items.data() + head, count < items.size() - head ? count : items.size() - head};
    }
    std::span<const T> second_run() const { return {items.data(), count - first_run().size()}; }
};

// Summary of one aligned run of summary_block physical slots of the
// full-resolution ring, so a redraw skips over whole runs inside a column.
inline constexpr size_t summary_block = 16;
struct BlockSummary {
    double min = 0, max = 0, first = 0, last = 0;
    bool has_value = false;
    bool gap_before = false;  // a gap before the first value (or only gaps)
    bool gap_after = false;   // a gap after the last value
};

struct SeriesSamples {
    explicit SeriesSamples(size_t full_capacity = full_resolution_samples,
                           size_t second_capacity = reduced_seconds);

    Ring<int64_t> times;  // full resolution, parallel to values
    Ring<double> values;  // not finite: a gap (see above)
    Ring<SecondSummary> seconds;
    std::vector<BlockSummary> blocks;  // by physical slot / summary_block
};

// Records one poll; a value that is not finite records a gap.
void append_sample(SeriesSamples& series, int64_t time_ms, double value);
void clear_samples(SeriesSamples& series);

size_t full_sample_count(const SeriesSamples& series);
// Upper bound of the heap bytes a series may ever hold, and what it holds now.
size_t memory_bound(size_t full_capacity, size_t second_capacity);
size_t memory_in_use(const SeriesSamples& series);

// Oldest and newest time kept (reduced seconds included); false when empty.
bool time_span(const SeriesSamples& series, int64_t& oldest_ms, int64_t& newest_ms);

// The newest sample at or before time_ms. For a reduced second the value is
// its mean (std::nan("") for a second of gaps only, which no longer tells
// what they were); false when nothing is that old.
bool value_at(const SeriesSamples& series, int64_t time_ms, int64_t& sample_time, double& value);

// One pixel column of a plot. Columns without values have has_value false.
struct ColumnSpan {
    double min = 0;
    double max = 0;
    double first = 0;  // the first and last value in time order
    double last = 0;
    bool has_value = false;
    // A gap lies between the previous value in the span and this column's
    // first value: the line must not join them.
    bool break_before = false;

    bool operator==(const ColumnSpan&) const = default;
};

// Reduces the samples with from_ms <= time < to_ms onto columns.size()
// columns of equal width; a sample at time t falls into column
// floor((t - from_ms) * columns / (to_ms - from_ms)). A reduced second
// counts at its start time, its mean as first and last value, and a gap in
// it after its values.
void reduce_columns(const SeriesSamples& series, int64_t from_ms, int64_t to_ms, std::span<ColumnSpan> columns);
