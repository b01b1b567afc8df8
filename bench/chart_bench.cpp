// The chart's costs: a redraw of 8 series of 1,000,000 samples each into a
// plot 1000 pixels wide (target: under 5 ms per frame), and the recording
// of every poll with 8 series charted, against the 1.17 ms cycle of the
// logger benchmark's polling at scan rate 0 (target: under 5 %).
//
//   ./scripts/headless build/bench/chart_bench [picture.png]
//
// With a file name it also saves the "everything kept" view as a PNG.
//
// Exit status 0 when every target is met, 1 when one is missed, 2 when the
// set-up failed.

#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/application.hpp"
#include "chart/chart_export.hpp"
#include "chart/chart_plot.hpp"
#include "handover/chart_feed.hpp"
#include "chart/chart_window.hpp"
#include "support/gtk_test_env.hpp"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t series_count = 8;
constexpr size_t samples_per_series = 1'000'000;
constexpr int plot_width = 1000;
constexpr double frame_target_ms = 5.0;
constexpr double cycle_us = 1170;  // one poll cycle at scan rate 0 (logger_bench)
constexpr double recording_target = 0.05;

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One poll per millisecond, one in a thousand failed, a slow sine plus noise.
void fill(ChartWindow& chart, int64_t end_ms)
{
    for (uint16_t i = 0; i < series_count; ++i)
        add_chart_series(chart, uint16_t(100 + i));
    int64_t start = end_ms - int64_t(samples_per_series);
    for (auto& s : chart.series) {
        for (size_t k = 0; k < samples_per_series; ++k) {
            double value = k % 1000 == 999 ? std::nan("") : 1000 * std::sin(double(k) / 5000) + double(k % 17);
            append_sample(s->samples, start + int64_t(k), value + s->address);
        }
    }
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median and worst of full redraws (reduction, axes, curves, legend) onto
// an image of plot_width pixels inside the axes, per time range.
bool bench_redraw(ChartWindow& chart)
{
    // The plot's margins add 76 pixels to the width of its data area.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, plot_width + 76, 500);
    cairo_t* cr = cairo_create(surface);
    bool met = true;
    const char* names[] = {"last 1 minute", "last 10 minutes", "last 1 hour", "everything kept"};
    for (unsigned range = 0; range < 4; ++range) {
        gtk_drop_down_set_selected(chart.range, range);
        std::vector<double> times;
        for (int i = 0; i < 40; ++i) {
            auto start = Clock::now();
            draw_plot(chart, cr, plot_width + 76, 500);
            cairo_surface_flush(surface);
            times.push_back(ms_since(start));
        }
        std::vector<double> reduce_times;
        std::vector<ColumnSpan> columns(plot_width);
        for (int i = 0; i < 40; ++i) {
            int64_t from = 0, to = 0;
            chart_view(chart, from, to);
            auto start = Clock::now();
            for (auto& s : chart.series)
                reduce_columns(s->samples, from, to, columns);
            reduce_times.push_back(ms_since(start));
        }
        std::printf("reduction alone, %-16s median %.2f ms\n", names[range], median(reduce_times));
        double worst = *std::max_element(times.begin(), times.end());
        std::printf("redraw, %-16s median %.2f ms, worst %.2f ms (target under %.0f ms)\n", names[range],
                    median(times), worst, frame_target_ms);
        met = met && median(times) < frame_target_ms;
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return met;
}

// The worker's hand-over and the UI thread's filing of one poll of 125
// registers with 8 series charted.
bool bench_recording(ChartWindow& chart)
{
    static const uint16_t values[max_values] = {};
    PollDefinition poll{.slave = 1, .fcode = 3, .address = 100, .length = 125, .scan_rate = 0};
    constexpr int polls = 200'000;
    auto start = Clock::now();
    for (int i = 0; i < polls; ++i) {
        app_reports().poll_ended(PollOutcome{poll, chart_clock_ms(), 1, true, values, 125});
        if (i % 1000 == 999)
            drain_chart_polls(chart);
    }
    drain_chart_polls(chart);
    double per_poll_us = ms_since(start) * 1000 / polls;
    double share = per_poll_us / cycle_us;
    std::printf("recording, 8 series: %.3f us per poll (hand-over and filing), %.3f %% of a %.0f us cycle "
                "(target under %.0f %%)\n",
                per_poll_us, share * 100, cycle_us, recording_target * 100);
    return share < recording_target;
}

}  // namespace

int main(int argc, char** argv)
{
    gtk_init();
    if (!gdk_display_get_default()) {
        std::fprintf(stderr, "chart_bench needs an X server (scripts/headless)\n");
        return 2;
    }
    g_log_set_writer_func(discard_log_messages, nullptr, nullptr);
    App& a = activate_app();
    ChartWindow& chart = a.chart;
    auto start = Clock::now();
    fill(chart, chart_clock_ms());
    std::printf("filling 8 x %zu samples: %.0f ms; kept per series: %zu at full resolution, %zu seconds reduced; "
                "%.1f MiB per series in use\n",
                samples_per_series, ms_since(start), full_sample_count(chart.series[0]->samples),
                chart.series[0]->samples.seconds.size(),
                double(memory_in_use(chart.series[0]->samples)) / (1024 * 1024));
    bool met = bench_redraw(chart);
    if (argc > 1 && !save_image_file(chart, argv[1]))
        std::fprintf(stderr, "could not save %s\n", argv[1]);
    met = bench_recording(chart) && met;
    std::printf(met ? "all targets met\n" : "a target was missed\n");
    return met ? 0 : 1;
}
