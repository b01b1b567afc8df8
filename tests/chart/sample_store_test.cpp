// The sample store against a brute-force model that keeps every sample.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "chart/sample_store.hpp"

namespace {

const double gap = std::nan("");

struct Sample {
    int64_t time;
    double value;
};

struct ModelItem {
    int64_t time;
    bool has_value;
    double low, high, mean;
    bool gap_after;
};

int64_t floor_div(int64_t a, int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// What the store should hold: the newest full_capacity samples as they are,
// older ones grouped by second, seconds older than a day before the newest dropped.
std::vector<ModelItem> model_items(const std::vector<Sample>& all, size_t full_capacity, int64_t seconds_kept)
{
    std::vector<ModelItem> items;
    size_t split = all.size() > full_capacity ? all.size() - full_capacity : 0;
    std::map<int64_t, ModelItem> seconds;
    std::map<int64_t, int> counts;
    for (size_t i = 0; i < split; ++i) {
        int64_t second = floor_div(all[i].time, 1000);
        ModelItem& m = seconds.try_emplace(second, ModelItem{second * 1000, false, 0, 0, 0, false}).first->second;
        if (!std::isfinite(all[i].value)) {
            m.gap_after = true;
            continue;
        }
        double v = all[i].value;
        m.low = m.has_value ? std::min(m.low, v) : v;
        m.high = m.has_value ? std::max(m.high, v) : v;
        m.mean += v;
        m.has_value = true;
        ++counts[second];
    }
    int64_t newest_second = all.empty() ? 0 : floor_div(all.back().time, 1000);
    for (auto& [second, m] : seconds) {
        if (second < newest_second - seconds_kept + 1)
            continue;
        if (m.has_value)
            m.mean /= counts[second];
        items.push_back(m);
    }
    for (size_t i = split; i < all.size(); ++i) {
        bool value = std::isfinite(all[i].value);
        double v = all[i].value;
        items.push_back({all[i].time, value, v, v, v, !value});
    }
    return items;
}

std::vector<ColumnSpan> model_columns(const std::vector<ModelItem>& items, int64_t from, int64_t to, size_t width)
{
    std::vector<ColumnSpan> columns(width);
    bool pending = false;
    for (const ModelItem& m : items) {
        if (m.time < from || m.time >= to)
            continue;
        size_t c = size_t((m.time - from) * int64_t(width) / (to - from));
        if (m.has_value) {
            ColumnSpan& s = columns[c];
            if (!s.has_value)
                s = {m.low, m.high, m.mean, m.mean, true, pending};
            s.min = std::min(s.min, m.low);
            s.max = std::max(s.max, m.high);
            s.last = m.mean;
            pending = false;
        }
        if (m.gap_after)
            pending = true;
    }
    return columns;
}

// Random polls: irregular steps (sometimes several per millisecond step of
// zero, sometimes seconds apart), about one in ten failed and a few values
// that are no number.
std::vector<Sample> random_samples(std::mt19937& random, size_t n)
{
    std::vector<Sample> all;
    int64_t t = 1'700'000'000'000 + int64_t(random() % 1000);
    std::uniform_int_distribution<int> step(0, 400), value(-500, 500), roll(0, 99);
    const double inf = std::numeric_limits<double>::infinity();
    const double no_numbers[] = {inf, -inf, device_nan()};
    for (size_t i = 0; i < n; ++i) {
        t += roll(random) < 3 ? 5000 : step(random);
        int r = roll(random);
        all.push_back({t, r < 10 ? gap : r < 13 ? no_numbers[r - 10] : double(value(random))});
    }
    return all;
}

TEST(SampleStore, ColumnsMatchTheBruteForceModelOnRandomData)
{
    std::mt19937 random(20);
    struct Case {
        size_t full_capacity, seconds_kept, samples, width;
    };
    const Case cases[] = {
        {50, 100, 40, 7},         // all at full resolution
        {100, 100000, 3000, 97},  // mostly reduced seconds
        {64, 30, 2000, 300},      // seconds dropped by age
        {1000, 1000, 5000, 1},    // a single column
        {5000, 3000, 12000, 13},  // wide columns: whole summary blocks, cut by the ring's wrap
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "capacity " << c.full_capacity << " samples " << c.samples);
        SeriesSamples series(c.full_capacity, c.seconds_kept);
        std::vector<Sample> all = random_samples(random, c.samples);
        for (const Sample& s : all)
            append_sample(series, s.time, s.value);
        std::vector<ModelItem> items = model_items(all, c.full_capacity, int64_t(c.seconds_kept));
        int64_t oldest = 0, newest = 0;
        ASSERT_TRUE(time_span(series, oldest, newest));
        EXPECT_EQ(oldest, items.front().time);
        EXPECT_EQ(newest, all.back().time);
        // The whole span, a slice in the middle, and one past either end.
        const std::pair<int64_t, int64_t> windows[] = {
            {oldest, newest + 1}, {oldest + (newest - oldest) / 3, newest - (newest - oldest) / 4},
            {oldest - 100000, oldest + 5000}, {newest - 5000, newest + 100000}};
        for (auto [from, to] : windows) {
            std::vector<ColumnSpan> got(c.width);
            reduce_columns(series, from, to, got);
            EXPECT_EQ(got, model_columns(items, from, to, c.width)) << "window " << from << ".." << to;
        }
    }
}

TEST(SampleStore, ReducesOlderSamplesPerSecondAndKeepsGaps)
{
    SeriesSamples series(3, 10);
    // Second 100: 4, gap, 8; second 101: gap only; then 3 full samples.
    const Sample samples[] = {{100'100, 4}, {100'200, gap}, {100'900, 8}, {101'500, gap},
                              {102'000, 1}, {102'001, gap}, {103'000, 2}};
    for (const Sample& s : samples)
        append_sample(series, s.time, s.value);
    ASSERT_EQ(series.seconds.size(), 2u);
    EXPECT_EQ(series.seconds[0].second, 100);
    EXPECT_EQ(series.seconds[0].min, 4);
    EXPECT_EQ(series.seconds[0].max, 8);
    EXPECT_EQ(series.seconds[0].sum / series.seconds[0].count, 6);
    EXPECT_TRUE(series.seconds[0].gap);
    EXPECT_EQ(series.seconds[1].count, 0u);
    EXPECT_EQ(full_sample_count(series), 3u);

    struct Probe {
        int64_t at;
        int64_t time;
        double value;  // NaN: a gap
    };
    const Probe probes[] = {{100'999, 100'000, 6}, {101'700, 101'000, gap}, {102'000, 102'000, 1},
                            {102'500, 102'001, gap}, {200'000, 103'000, 2}};
    for (const Probe& p : probes) {
        int64_t time = 0;
        double value = 0;
        ASSERT_TRUE(value_at(series, p.at, time, value)) << p.at;
        EXPECT_EQ(time, p.time) << p.at;
        EXPECT_EQ(std::isnan(value), std::isnan(p.value)) << p.at;
        if (!std::isnan(p.value)) {
            EXPECT_EQ(value, p.value) << p.at;
        }
    }
    int64_t time = 0;
    double value = 0;
    EXPECT_FALSE(value_at(series, 99'999, time, value));

    // A clock stepped back files the sample at the newest time.
    append_sample(series, 50'000, 9);
    EXPECT_EQ(series.times[series.times.size() - 1], 103'000);
}

// Two columns of 64 polls, each made of whole summary blocks.
TEST(SampleStore, SummaryBlocksBreakTheLineOnlyWhereTheGapFalls)
{
    struct Row {
        int first_gap, last_gap;  // polls first_gap..last_gap failed
        bool second_breaks;
        bool first_has_value;
    };
    const Row rows[] = {{10, 10, false, true}, {63, 63, true, true}, {64, 64, true, true},
                        {0, 63, true, false}, {60, 70, true, true}, {0, 0, false, true}};
    for (const Row& row : rows) {
        SeriesSamples series(128, 10);
        std::vector<Sample> all;
        for (int i = 0; i < 128; ++i) {
            all.push_back({i, i >= row.first_gap && i <= row.last_gap ? gap : double(i)});
            append_sample(series, all.back().time, all.back().value);
        }
        std::vector<ColumnSpan> columns(2);
        reduce_columns(series, 0, 128, columns);
        EXPECT_EQ(columns[1].break_before, row.second_breaks) << row.first_gap;
        EXPECT_EQ(columns[0].has_value, row.first_has_value) << row.first_gap;
        EXPECT_EQ(columns, model_columns(model_items(all, 128, 10), 0, 128, 2)) << row.first_gap;
    }
}

TEST(SampleStore, MemoryStaysWithinItsBoundForAnyNumberOfSamples)
{
    SeriesSamples series(1000, 500);
    const size_t bound = memory_bound(1000, 500);
    for (int64_t i = 0; i < 2'000'000; ++i) {
        append_sample(series, i * 7, i % 13 == 0 ? gap : double(i % 1000));
        if (i % 100'000 == 0) {
            ASSERT_LE(memory_in_use(series), bound) << i;
        }
    }
    EXPECT_LE(memory_in_use(series), bound);
    EXPECT_EQ(full_sample_count(series), 1000u);
    // The last 7 s are still at full resolution; the 500 s before them reduced.
    EXPECT_EQ(series.seconds.size(), 493u);
    // The real sizes: what the README states per series.
    EXPECT_EQ(memory_bound(full_resolution_samples, reduced_seconds), 100'000u * 16 + 86'400u * 40 + 6251u * 40);
}

}  // namespace
