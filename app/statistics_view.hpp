#pragma once
// The one-line view of the link statistics under the register grid. Its
// tooltip and accessible description carry the full report; the menu's
// "Copy Statistics" puts the report on the clipboard.

#include <gtk/gtk.h>

#include <cstdint>

struct StatisticsView {
    // Owned by the main window (borrowed).
    GtkLabel* line = nullptr;

    // Plain state: the statistics version the line shows.
    uint64_t shown_version = UINT64_MAX;
    guint timer = 0;
};

// Makes the line and starts its refresh, a few times per second.
GtkWidget* build_statistics_view(StatisticsView& view);

// Shows the current figures if any changed since the last call; true if
// the line was rewritten.
bool refresh_statistics_view(StatisticsView& view);

// "app.reset-statistics": every figure to zero, shown at once.
void reset_statistics_view(StatisticsView& view);

// "app.copy-statistics": the full report as plain text on the clipboard of
// the line's display.
void copy_statistics(StatisticsView& view);
