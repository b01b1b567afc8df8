// The bytes of a CSV export, the numbers plotted for each format and the
// labels of the value axis.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "chart/chart_csv.hpp"
#include "chart/chart_value.hpp"
#include "chart/plot_axes.hpp"
#include "points/point_number.hpp"
#include "values/wide_value.hpp"

namespace {

// given failed polls and values the device sent that are no number, expect
// the first empty and the others as the grid shows them
TEST(ChartCsv, OneLinePerPollTimeWithEmptyCellsForGapsAndUnpolledSeries)
{
    const double gap = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    SeriesSamples level, pump, flow;
    // 2026-12-07T13:22:43.125Z and on; the pump series joined one poll late.
    const int64_t t0 = 1'796'649'763'125;
    append_sample(level, t0, 1234);
    append_sample(level, t0 + 1000, gap);
    append_sample(level, t0 + 2000, -7);
    append_sample(pump, t0 + 1000, gap);
    append_sample(pump, t0 + 2000, 0.5);
    append_sample(flow, t0, inf);
    append_sample(flow, t0 + 1000, device_nan());
    append_sample(flow, t0 + 2000, -inf);
    const CsvColumn columns[] = {
        {"Address 5 (Level, \"top\")", &level}, {"Address 6", &pump}, {"Address 10", &flow}};
    EXPECT_EQ(samples_csv(columns),
              "Time,\"Address 5 (Level, \"\"top\"\")\",Address 6,Address 10\n"
              "2026-12-07T13:22:43.125Z,1234,,Inf\n"
              "2026-12-07T13:22:44.125Z,,,NaN\n"
              "2026-12-07T13:22:45.125Z,-7,0.5,-Inf\n");
}

TEST(ChartCsv, TimesAreUtcWithMilliseconds)
{
    EXPECT_EQ(iso_utc_ms(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(iso_utc_ms(951'782'400'007), "2000-02-29T00:00:00.007Z");
    EXPECT_EQ(iso_utc_ms(-1), "1969-12-31T23:59:59.999Z");
}

TEST(ChartValue, RegistersPlotAsTheFormatAndOrderReadThemAndBitsAsZeroOrOne)
{
    struct Row {
        std::vector<uint16_t> words;
        ValueFormat format;
        WordOrder order;
        bool bits;
        double expected;  // NaN: the device's NaN
    };
    const double device_sent_nan = device_nan();
    const Row rows[] = {
        {{65535}, ValueFormat::UINT, WordOrder::AB_CD, false, 65535},
        {{65535}, ValueFormat::INT, WordOrder::AB_CD, false, -1},
        {{32768}, ValueFormat::INT, WordOrder::BA_DC, false, -32768},  // one register: no order
        {{0x8001}, ValueFormat::HEX, WordOrder::AB_CD, false, 32769},
        {{0x8001}, ValueFormat::BINARY, WordOrder::AB_CD, false, 32769},
        {{0xFFFF, 0xFFFE}, ValueFormat::INT32, WordOrder::AB_CD, false, -2},
        {{0xFFFE, 0xFFFF}, ValueFormat::UINT32, WordOrder::CD_AB, false, 4294967294.0},
        {{0x4120, 0x0000}, ValueFormat::FLOAT32, WordOrder::AB_CD, false, 10},
        {{0x7FC0, 0x0001}, ValueFormat::FLOAT32, WordOrder::AB_CD, false, device_sent_nan},
        {{0x80FF, 0x0000}, ValueFormat::FLOAT32, WordOrder::BA_DC, false, -std::numeric_limits<double>::infinity()},
        {{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFD}, ValueFormat::INT64, WordOrder::AB_CD, false, -3},
        {{0x4059, 0, 0, 0}, ValueFormat::FLOAT64, WordOrder::AB_CD, false, 100},
        {{0x7FF0, 0, 0, 0}, ValueFormat::FLOAT64, WordOrder::AB_CD, false, std::numeric_limits<double>::infinity()},
        {{0, 0, 0, 0x7FF8}, ValueFormat::FLOAT64, WordOrder::CD_AB, false, device_sent_nan},
        {{1}, ValueFormat::INT, WordOrder::AB_CD, true, 1},
        {{0}, ValueFormat::FLOAT32, WordOrder::AB_CD, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.format));
        ASSERT_GE(row.words.size(), row.bits ? 1 : chart_value_words(row.format));
        double got = chart_value(row.words, row.format, row.order, row.bits);
        if (std::isnan(row.expected)) {
            EXPECT_TRUE(std::isnan(got) && !is_failed_poll(got)) << got;
        } else {
            EXPECT_EQ(got, row.expected);
        }
    }
}

// given the registers of each format, expect the legend's and the hover's
// number to be the grid's text of them (a FLOAT32 of 0x0011 0x0018 is
// 1.561237e-39, not the double 1.5612370658489944e-39); a value the format
// cannot hold, written as the number it is; a failed poll, as nothing
TEST(ChartValue, ReadOutsWriteEachValueAsTheGridDoes)
{
    struct Row {
        std::vector<uint16_t> words;
        ValueFormat format;
        WordOrder order;
    };
    const Row rows[] = {
        {{0xCCCD, 0x3DCC}, ValueFormat::FLOAT32, WordOrder::CD_AB},  // 0.1f
        {{0x3FB9, 0x9999, 0x9999, 0x999A}, ValueFormat::FLOAT64, WordOrder::AB_CD},
        {{0x00FF}, ValueFormat::HEX, WordOrder::AB_CD},
        {{0xFFFF}, ValueFormat::INT, WordOrder::AB_CD},
        {{0x8000, 0x0000}, ValueFormat::INT32, WordOrder::AB_CD},
        {{0x8000, 0, 0, 0}, ValueFormat::INT64, WordOrder::AB_CD},
        {{0xFFFF, 0xFFFF, 0xFFFF, 0xF800}, ValueFormat::UINT64, WordOrder::AB_CD},  // exact as a double
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.format));
        char grid[40];
        double value = chart_value(row.words, row.format, row.order, false);
        EXPECT_EQ(chart_value_text(value, row.format),
                  render_registers_or_fallback(row.words.data(), row.format, row.order, grid, sizeof grid));
    }
    EXPECT_EQ(chart_value_text(1.5612370658489944e-39, ValueFormat::FLOAT32), "1.561237e-39");
    EXPECT_EQ(chart_value_text(70000, ValueFormat::UINT), "70000") << "taken before the format changed";
    EXPECT_EQ(chart_value_text(std::nan(""), ValueFormat::HEX), "");
}

// A BCD's over two registers.
Point point_of(PointKind kind, ValueFormat format, double scale, double offset, int decimals, const char* unit)
{
    Point point;
    point.kind = kind;
    point.format = format;
    point.registers = 2;
    point.scale = scale;
    point.offset = offset;
    point.decimals = decimals;
    point.unit = unit;
    return point;
}

// given points of each way a number is written, expect the chart to plot
// read_point's number and its read-outs to write it as the grid does, with
// the raw value before a scale or offset beside it; an invalid BCD is the
// device's NaN in both, not a failed poll
TEST(ChartValue, APointPlotsAndReadsAsTheGridShowsItWithItsRawValueBeside)
{
    struct Row {
        Point point;
        std::vector<uint16_t> words;
        bool bits;
        double raw;  // the shown number is read_point's
    };
    const Row rows[] = {
        {point_of(PointKind::format, ValueFormat::UINT32, 0.01, -40, 2, "°C"), {0x0001, 0xE240}, false, 123456},
        {point_of(PointKind::format, ValueFormat::FLOAT32, 2, 0.5, -1, ""), {0x3F8C, 0xCCCD}, false, double(1.1f)},
        {point_of(PointKind::format, ValueFormat::FLOAT64, 1, 0, -1, "V"), {0x3FD3, 0x3333, 0x3333, 0x3334}, false,
         0.30000000000000004},
        {point_of(PointKind::format, ValueFormat::HEX, 2, 0, 1, "x"), {0x00FF}, false, 255},
        {point_of(PointKind::bcd, ValueFormat::UINT, 1, 0, 1, ""), {0x0012, 0x3456}, false, 123456},
        {point_of(PointKind::tab, ValueFormat::UINT, 1, 0, -1, "rpm"), {0xFFFB}, false, -5},  // the tab shows INT
        {point_of(PointKind::tab, ValueFormat::UINT, 1, 0, 3, "on"), {1}, true, 1},
    };
    const TabFormat tab{ValueFormat::INT, WordOrder::AB_CD};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.words[0]);
        PointNumberStyle style = point_number_style(row.point, tab, row.bits);
        PointReading reading = read_point(row.point, tab, row.words, row.bits);
        ChartNumbers numbers = chart_point_value(row.point, style, tab, row.words, row.bits);
        EXPECT_EQ(numbers.shown, reading.number);
        EXPECT_EQ(numbers.raw, row.raw);
        EXPECT_EQ(point_number_text(row.point, style, numbers.shown, chart_value_text(numbers.shown, style.format)),
                  reading.text);
    }
    const Point scaled_bcd = point_of(PointKind::bcd, ValueFormat::UINT, 10, 0, -1, "");
    ChartNumbers invalid = chart_point_value(scaled_bcd, point_number_style(scaled_bcd, tab, false), tab,
                                             std::vector<uint16_t>{0x00FA, 0}, false);
    EXPECT_TRUE(std::isnan(invalid.shown) && !is_failed_poll(invalid.shown) && !is_failed_poll(invalid.raw));
}

// given a tick summed from steps (0.6000000000000001), expect its label to
// end at the step's last digit
TEST(PlotAxes, TickLabelsEndAtTheStepsLastDigit)
{
    ValueScale tenths = value_scale(0, 1, 6);
    ASSERT_EQ(tenths.ticks.size(), 6u);
    EXPECT_EQ(tick_text(tenths.ticks[3], tenths.step), "0.6");
    EXPECT_EQ(tick_text(1200.0000000000002, 200), "1200");
    EXPECT_EQ(tick_text(-1e-17, 0.5), "0.0") << "never -0.0";
    EXPECT_EQ(tick_text(1.25e20, 5e18), "1.25e+20");
}

}  // namespace
