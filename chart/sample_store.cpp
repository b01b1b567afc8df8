#include "chart/sample_store.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr int64_t ms_per_second = 1000;

// Appends; once full, overwrites the oldest and hands it back through evicted.
template <typename T>
bool push(Ring<T>& ring, const T& item, T* evicted)
{
    if (ring.count == ring.capacity) {
        if (evicted)
            *evicted = ring.items[ring.head];
        ring.items[ring.head] = item;
        ring.head = ring.head + 1 == ring.items.size() ? 0 : ring.head + 1;
        return true;
    }
    if (ring.count < ring.items.size()) {
        ring.items[ring.physical(ring.count)] = item;
        ++ring.count;
        return false;
    }
    // Growing needs the entries in physical order again.
    std::rotate(ring.items.begin(), ring.items.begin() + ptrdiff_t(ring.head), ring.items.end());
    ring.head = 0;
    if (ring.items.size() == ring.items.capacity())
        ring.items.reserve(std::min(ring.capacity, std::max<size_t>(1024, ring.items.size() * 2)));
    ring.items.push_back(item);
    ++ring.count;
    return false;
}

template <typename T>
void pop_oldest(Ring<T>& ring)
{
    ring.head = ring.head + 1 == ring.items.size() ? 0 : ring.head + 1;
    if (--ring.count == 0)
        ring.head = 0;
}

int64_t floor_second(int64_t time_ms)
{
    return time_ms >= 0 ? time_ms / ms_per_second : -((-time_ms + ms_per_second - 1) / ms_per_second);
}

void fold_into_second(SeriesSamples& series, int64_t time_ms, double value)
{
    int64_t second = floor_second(time_ms);
    Ring<SecondSummary>& seconds = series.seconds;
    if (seconds.size() == 0 || seconds[seconds.size() - 1].second != second) {
        SecondSummary fresh;
        fresh.second = second;
        push(seconds, fresh, static_cast<SecondSummary*>(nullptr));
    }
    SecondSummary& s = seconds[seconds.size() - 1];
    if (!std::isfinite(value)) {
        s.gap = true;
        return;
    }
    s.min = s.count ? std::min(s.min, value) : value;
    s.max = s.count ? std::max(s.max, value) : value;
    s.sum += value;
    ++s.count;
}

// Reduced seconds older than a day before the newest sample are dropped
// (the ring's capacity alone would keep them while polls pause).
void drop_expired_seconds(SeriesSamples& series, int64_t newest_ms)
{
    int64_t oldest_kept = floor_second(newest_ms) - int64_t(series.seconds.capacity) + 1;
    while (series.seconds.size() > 0 && series.seconds[0].second < oldest_kept)
        pop_oldest(series.seconds);
}

void merge_into_block(BlockSummary& b, double value, bool reset)
{
    if (reset)
        b = BlockSummary{};
    if (!std::isfinite(value)) {
        if (b.has_value)
            b.gap_after = true;
        else
            b.gap_before = true;
        return;
    }
    b.min = b.has_value ? std::min(b.min, value) : value;
    b.max = b.has_value ? std::max(b.max, value) : value;
    if (!b.has_value)
        b.first = value;
    b.last = value;
    b.has_value = true;
    b.gap_after = false;
}

// The ring writes its slots in physical order, so a block is rewritten
// from its first slot on: the first write resets its summary.
void update_block(SeriesSamples& series, double value)
{
    size_t slot = series.values.physical(series.values.size() - 1);
    size_t block = slot / summary_block;
    if (series.blocks.size() <= block) {
        series.blocks.reserve(series.values.capacity / summary_block + 1);
        series.blocks.resize(block + 1);
    }
    merge_into_block(series.blocks[block], value, slot % summary_block == 0);
}

}  // namespace

double device_nan()
{
    // A quiet NaN whose payload neither std::nan("") nor the widening of a
    // float NaN gives.
    return std::bit_cast<double>(uint64_t(0x7FF8'0000'0000'0DE5));
}

bool is_failed_poll(double value)
{
    return std::isnan(value) && std::bit_cast<uint64_t>(value) != std::bit_cast<uint64_t>(device_nan());
}

SeriesSamples::SeriesSamples(size_t full_capacity, size_t second_capacity)
{
    times.capacity = full_capacity;
    values.capacity = full_capacity;
    seconds.capacity = second_capacity;
}

void append_sample(SeriesSamples& series, int64_t time_ms, double value)
{
    if (series.times.size() > 0)
        time_ms = std::max(time_ms, series.times[series.times.size() - 1]);
    int64_t old_time = 0;
    double old_value = 0;
    bool evicted = push(series.times, time_ms, &old_time);
    push(series.values, value, &old_value);
    update_block(series, value);
    if (evicted && series.seconds.capacity > 0)
        fold_into_second(series, old_time, old_value);
    drop_expired_seconds(series, time_ms);
}

void clear_samples(SeriesSamples& series)
{
    series = SeriesSamples(series.times.capacity, series.seconds.capacity);
}

size_t full_sample_count(const SeriesSamples& series)
{
    return series.times.size();
}

size_t memory_bound(size_t full_capacity, size_t second_capacity)
{
    return full_capacity * (sizeof(int64_t) + sizeof(double)) + second_capacity * sizeof(SecondSummary) +
           (full_capacity / summary_block + 1) * sizeof(BlockSummary);
}

size_t memory_in_use(const SeriesSamples& series)
{
    return series.times.items.capacity() * sizeof(int64_t) + series.values.items.capacity() * sizeof(double) +
           series.seconds.items.capacity() * sizeof(SecondSummary) + series.blocks.capacity() * sizeof(BlockSummary);
}

bool time_span(const SeriesSamples& series, int64_t& oldest_ms, int64_t& newest_ms)
{
    if (series.times.size() == 0)
        return false;
    newest_ms = series.times[series.times.size() - 1];
    oldest_ms = series.seconds.size() > 0 ? series.seconds[0].second * ms_per_second : series.times[0];
    return true;
}

namespace {

// Walks samples in time order and files each into its pixel column.
class ColumnReducer {
public:
    ColumnReducer(int64_t from_ms, int64_t to_ms, std::span<ColumnSpan> columns)
        : from_(from_ms), span_(to_ms - from_ms), width_(int64_t(columns.size())), columns_(columns)
    {
        next_boundary_ = boundary(1);
    }

    void add_gap() { pending_gap_ = true; }

    void add_value(int64_t time_ms, double value) { add_range(time_ms, value, value, value); }

    void add_range(int64_t time_ms, double low, double high, double mean)
    {
        advance_to(time_ms);
        add_range_here(low, high, mean, mean);
    }

    void add_range_here(double low, double high, double first, double last)
    {
        ColumnSpan& c = columns_[size_t(column_)];
        if (!c.has_value) {
            c = ColumnSpan{low, high, first, last, true, pending_gap_};
        } else {
            c.min = std::min(c.min, low);
            c.max = std::max(c.max, high);
            // A gap between two values of one column is narrower than a
            // pixel: the column's bar covers it.
            c.last = last;
        }
        pending_gap_ = false;
    }

    void add_block(const BlockSummary& b)
    {
        if (b.gap_before)
            pending_gap_ = true;
        if (b.has_value)
            add_range_here(b.min, b.max, b.first, b.last);
        if (b.gap_after)
            pending_gap_ = true;
    }

    void add_sample(double v)
    {
        if (!std::isfinite(v))
            pending_gap_ = true;
        else
            add_range_here(v, v, v, v);
    }

    // Moves to the column of time_ms; returns the first time past it.
    int64_t column_end(int64_t time_ms)
    {
        advance_to(time_ms);
        return column_ + 1 < width_ ? next_boundary_ : std::numeric_limits<int64_t>::max();
    }

private:
    int64_t boundary(int64_t column) const { return from_ + (column * span_ + width_ - 1) / width_; }

    void advance_to(int64_t time_ms)
    {
        while (time_ms >= next_boundary_ && column_ + 1 < width_) {
            ++column_;
            next_boundary_ = boundary(column_ + 1);
        }
    }

    int64_t from_;
    int64_t span_;
    int64_t width_;
    std::span<ColumnSpan> columns_;
    int64_t column_ = 0;
    int64_t next_boundary_ = 0;
    bool pending_gap_ = false;
};

// The first logical index in [low, high) whose time is at least time_ms
// (high when there is none); high defaults to the end of the ring.
size_t first_at_or_after(const Ring<int64_t>& times, int64_t time_ms, size_t low = 0, size_t high = SIZE_MAX)
{
    high = std::min(high, times.size());
    while (low < high) {
        size_t mid = low + (high - low) / 2;
        if (times[mid] < time_ms)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

// first_at_or_after within [from, end), for a time expected near from: the
// next column's start is found in steps that double, then by halving.
size_t gallop_to(const Ring<int64_t>& times, int64_t time_ms, size_t from, size_t end)
{
    size_t step = 1;
    while (from + step < end && times[from + step] < time_ms)
        step *= 2;
    return first_at_or_after(times, time_ms, from + step / 2, std::min(from + step, end));
}

// Whether the summary of the block starting at physical slot describes the
// slots as they are: fully written, and not cut by the ring's oldest entry.
bool block_usable(const SeriesSamples& series, size_t slot)
{
    const Ring<double>& values = series.values;
    if (slot + summary_block > values.items.size() || slot / summary_block >= series.blocks.size())
        return false;
    return values.count < values.capacity || values.head <= slot || values.head >= slot + summary_block;
}

// The samples of logical indexes [begin, end), all in one column.
void reduce_column_samples(const SeriesSamples& series, size_t begin, size_t end, ColumnReducer& reducer)
{
    for (size_t i = begin; i < end;) {
        size_t slot = series.values.physical(i);
        if (slot % summary_block == 0 && i + summary_block <= end && block_usable(series, slot)) {
            reducer.add_block(series.blocks[slot / summary_block]);
            i += summary_block;
        } else {
            reducer.add_sample(series.values.items[slot]);
            ++i;
        }
    }
}

void reduce_seconds(const Ring<SecondSummary>& seconds, int64_t from_ms, int64_t to_ms, ColumnReducer& reducer)
{
    for (size_t i = 0; i < seconds.size(); ++i) {
        const SecondSummary& s = seconds[i];
        int64_t start = s.second * ms_per_second;
        if (start < from_ms)
            continue;
        if (start >= to_ms)
            return;
        if (s.count > 0)
            reducer.add_range(start, s.min, s.max, s.sum / s.count);
        if (s.gap)
            reducer.add_gap();
    }
}

}  // namespace

bool value_at(const SeriesSamples& series, int64_t time_ms, int64_t& sample_time, double& value)
{
    size_t after = first_at_or_after(series.times, time_ms + 1);
    if (after > 0) {
        sample_time = series.times[after - 1];
        value = series.values[after - 1];
        return true;
    }
    for (size_t i = series.seconds.size(); i-- > 0;) {
        const SecondSummary& s = series.seconds[i];
        if (s.second * ms_per_second <= time_ms) {
            sample_time = s.second * ms_per_second;
            value = s.count ? s.sum / s.count : std::nan("");
            return true;
        }
    }
    return false;
}

void reduce_columns(const SeriesSamples& series, int64_t from_ms, int64_t to_ms, std::span<ColumnSpan> columns)
{
    std::fill(columns.begin(), columns.end(), ColumnSpan{});
    if (columns.empty() || to_ms <= from_ms)
        return;
    ColumnReducer reducer(from_ms, to_ms, columns);
    reduce_seconds(series.seconds, from_ms, to_ms, reducer);

    size_t end = first_at_or_after(series.times, to_ms);
    for (size_t i = first_at_or_after(series.times, from_ms); i < end;) {
        int64_t past = reducer.column_end(series.times[i]);
        size_t stop = past >= to_ms ? end : gallop_to(series.times, past, i, end);
        reduce_column_samples(series, i, stop, reducer);
        i = stop;
    }
}
