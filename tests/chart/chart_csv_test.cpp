// The bytes of a CSV export and the numbers plotted for each format.

#include <gtest/gtest.h>

#include <cmath>

#include "chart/chart_csv.hpp"
#include "chart/chart_value.hpp"

namespace {

TEST(ChartCsv, OneLinePerPollTimeWithEmptyCellsForGapsAndUnpolledSeries)
{
    const double gap = std::nan("");
    SeriesSamples level, pump;
    // 2026-12-07T13:22:43.125Z and on; the pump series joined one poll late.
    const int64_t t0 = 1'796'649'763'125;
    append_sample(level, t0, 1234);
    append_sample(level, t0 + 1000, gap);
    append_sample(level, t0 + 2000, -7);
    append_sample(pump, t0 + 1000, gap);
    append_sample(pump, t0 + 2000, 0.5);
    const CsvColumn columns[] = {{"Address 5 (Level, \"top\")", &level}, {"Address 6", &pump}};
    EXPECT_EQ(samples_csv(columns),
              "Time,\"Address 5 (Level, \"\"top\"\")\",Address 6\n"
              "2026-12-07T13:22:43.125Z,1234,\n"
              "2026-12-07T13:22:44.125Z,,\n"
              "2026-12-07T13:22:45.125Z,-7,0.5\n");
}

TEST(ChartCsv, TimesAreUtcWithMilliseconds)
{
    EXPECT_EQ(iso_utc_ms(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(iso_utc_ms(951'782'400'007), "2000-02-29T00:00:00.007Z");
    EXPECT_EQ(iso_utc_ms(-1), "1969-12-31T23:59:59.999Z");
}

TEST(ChartValue, RegistersPlotAsTheFormatReadsThemAndBitsAsZeroOrOne)
{
    struct Row {
        uint16_t word;
        ValueFormat format;
        bool bits;
        double expected;
    };
    const Row rows[] = {
        {65535, ValueFormat::UINT, false, 65535}, {65535, ValueFormat::INT, false, -1},
        {32768, ValueFormat::INT, false, -32768}, {0x8001, ValueFormat::HEX, false, 32769},
        {0x8001, ValueFormat::BINARY, false, 32769}, {1, ValueFormat::INT, true, 1},
        {0, ValueFormat::UINT, true, 0},
    };
    for (const Row& row : rows) {
        const uint16_t words[] = {row.word};
        EXPECT_EQ(chart_value(words, row.format, row.bits), row.expected) << row.word;
    }
}

}  // namespace
