#include "link/statistics_text.hpp"

#include <modbus.h>

#include <cinttypes>
#include <cstdio>

namespace {

constexpr const char* separator = " \u00B7 ";

std::string number(uint64_t n)
{
    char text[24];
    std::snprintf(text, sizeof text, "%" PRIu64, n);
    return text;
}

void add_line(std::string& report, const char* name, const std::string& value)
{
    report += name;
    report += ": ";
    report += value;
    report += '\n';
}

std::string exception_name(int code)
{
    if (code > 0 && code < MODBUS_EXCEPTION_MAX)
        return modbus_strerror(MODBUS_ENOBASE + code);
    return "Unknown exception code";
}

void add_exceptions(std::string& report, const StatisticsSnapshot& stats)
{
    add_line(report, "Exception responses", number(exception_total(stats)));
    for (int code = 0; code < exception_codes; ++code) {
        if (!stats.exceptions[code])
            continue;
        char name[64];
        std::snprintf(name, sizeof name, "  Exception %02X (%s)", code, exception_name(code).c_str());
        add_line(report, name, number(stats.exceptions[code]));
    }
}

// Last, minimum, mean, median, 99th percentile and maximum of one kind of
// duration, or a single line saying that none was measured.
void add_times(std::string& report, const char* what, const DurationSnapshot& times, bool percentiles)
{
    std::string name = what;
    if (!times.count) {
        add_line(report, name.c_str(), "none measured");
        return;
    }
    add_line(report, (name + " last").c_str(), format_ms(double(times.last_ns)) + " ms");
    add_line(report, (name + " minimum").c_str(), format_ms(double(times.min_ns)) + " ms");
    add_line(report, (name + " mean").c_str(), format_ms(mean_ns(times)) + " ms");
    if (percentiles) {
        add_line(report, (name + " median").c_str(), format_ms(percentile_ns(times, 50)) + " ms");
        add_line(report, (name + " 99th percentile").c_str(), format_ms(percentile_ns(times, 99)) + " ms");
    }
    add_line(report, (name + " maximum").c_str(), format_ms(double(times.max_ns)) + " ms");
}

}  // namespace

std::string format_ms(double ns)
{
    double ms = ns / 1e6;
    char text[32];
    if (ms < 1.0)
        std::snprintf(text, sizeof text, "%.3f", ms);
    else if (ms < 100.0)
        std::snprintf(text, sizeof text, "%.1f", ms);
    else
        std::snprintf(text, sizeof text, "%.0f", ms);
    return text;
}

std::string statistics_summary(const StatisticsSnapshot& stats)
{
    std::string line = "Polls " + number(stats.polls) + separator + "Good " + number(stats.good) + separator +
                       "Time-outs " + number(stats.timeouts) + separator + "Exceptions " +
                       number(exception_total(stats));
    if (stats.bad_replies)
        line += separator + std::string("Bad replies ") + number(stats.bad_replies);
    if (stats.stale_replies)
        line += separator + std::string("Stale replies ") + number(stats.stale_replies);
    if (stats.other_failures)
        line += separator + std::string("Other failures ") + number(stats.other_failures);
    const DurationSnapshot& times = stats.transaction;
    if (times.count) {
        line += separator + std::string("Response ") + format_ms(percentile_ns(times, 50)) + " ms (p99 " +
                format_ms(percentile_ns(times, 99)) + ", max " + format_ms(double(times.max_ns)) + ")";
    }
    return line;
}

std::string statistics_report(const StatisticsSnapshot& stats)
{
    std::string report;
    add_line(report, "Poll requests", number(stats.polls));
    add_line(report, "Good responses", number(stats.good));
    add_line(report, "Time-outs", number(stats.timeouts));
    add_exceptions(report, stats);
    add_line(report, "Bad replies", number(stats.bad_replies));
    add_line(report, "Stale replies", number(stats.stale_replies));
    add_line(report, "Other failures", number(stats.other_failures));
    add_line(report, "Connect failures", number(stats.connect_failures));
    add_line(report, "Writes sent", number(stats.writes_sent));
    add_line(report, "Writes failed", number(stats.writes_failed));
    add_times(report, "Response time", stats.transaction, true);
    add_line(report, "Connects", number(stats.connect.count));
    add_times(report, "Connect time", stats.connect, false);
    report.pop_back();  // no line feed after the last line
    return report;
}
