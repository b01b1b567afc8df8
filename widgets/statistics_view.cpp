#include "widgets/statistics_view.hpp"

#include <string>

#include "link/link_statistics.hpp"
#include "link/statistics_text.hpp"

namespace {

// Often enough to follow a fast device, rarely enough to stay readable:
// every rewrite costs a frame of the window.
constexpr gint64 refresh_interval_us = 250'000;

void on_refresh_due(gpointer data)
{
    StatisticsView& view = *static_cast<StatisticsView*>(data);
    view.timer = 0;
    refresh_statistics_view(view);
}

}  // namespace

GtkWidget* build_statistics_view(StatisticsView& view)
{
    GtkWidget* line = gtk_label_new("");
    view.line = GTK_LABEL(line);
    gtk_label_set_xalign(view.line, 0.0f);
    gtk_label_set_ellipsize(view.line, PANGO_ELLIPSIZE_END);
    gtk_widget_set_margin_start(line, 6);
    gtk_widget_set_margin_end(line, 6);
    gtk_widget_set_margin_bottom(line, 2);
    refresh_statistics_view(view);
    return line;
}

void schedule_statistics_refresh(StatisticsView& view)
{
    if (view.timer)
        return;
    gint64 waited = g_get_monotonic_time() - view.shown_at_us;
    if (waited >= refresh_interval_us)
        refresh_statistics_view(view);
    else
        view.timer = g_timeout_add_once(guint((refresh_interval_us - waited) / 1000) + 1, on_refresh_due, &view);
}

bool refresh_statistics_view(StatisticsView& view)
{
    if (!view.line || !view.stats)
        return false;
    const LinkStatistics& stats = *view.stats;
    if (stats.version.load(std::memory_order_acquire) == view.shown_version)
        return false;
    StatisticsSnapshot snapshot = take_snapshot(stats);
    view.shown_version = snapshot.version;
    view.shown_at_us = g_get_monotonic_time();
    std::string summary = statistics_summary(snapshot);
    std::string report = statistics_report(snapshot);
    // The text is the label's accessible name; the full report, which a
    // pointer user finds in the tooltip, becomes its description.
    gtk_label_set_text(view.line, summary.c_str());
    gtk_widget_set_tooltip_text(GTK_WIDGET(view.line), report.c_str());
    gtk_accessible_update_property(GTK_ACCESSIBLE(view.line), GTK_ACCESSIBLE_PROPERTY_DESCRIPTION,
                                   report.c_str(), -1);
    return true;
}

void reset_statistics_view(StatisticsView& view)
{
    if (view.stats)
        reset_statistics(*view.stats);
    refresh_statistics_view(view);
}

void copy_statistics(StatisticsView& view)
{
    if (!view.line || !view.stats)
        return;
    std::string report = statistics_report(take_snapshot(*view.stats));
    gdk_clipboard_set_text(gtk_widget_get_clipboard(GTK_WIDGET(view.line)), report.c_str());
}
