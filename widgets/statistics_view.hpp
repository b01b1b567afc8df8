#pragma once
// The one-line view of the link statistics under the register grid. Its
// tooltip and accessible description carry the full report; the menu's
// "Copy Statistics" puts the report on the clipboard.

#include <gtk/gtk.h>

#include <cstdint>

struct LinkStatistics;

struct StatisticsView {
    // Owned by the main window (borrowed).
    GtkLabel* line = nullptr;
    // The figures shown: the link's (borrowed).
    LinkStatistics* stats = nullptr;

    // Plain state: the statistics version the line shows, when it was last
    // rewritten, and the refresh waiting for the rest of its interval.
    uint64_t shown_version = UINT64_MAX;
    gint64 shown_at_us = 0;
    guint timer = 0;
};

GtkWidget* build_statistics_view(StatisticsView& view);

// The worker has posted news: the line follows at once, or, within a
// quarter of a second of its last rewrite, once that quarter is over. No
// timer runs while the link is quiet.
void schedule_statistics_refresh(StatisticsView& view);

// Shows the current figures if any changed since the last call; true if
// the line was rewritten.
bool refresh_statistics_view(StatisticsView& view);

// "app.reset-statistics": every figure to zero, shown at once.
void reset_statistics_view(StatisticsView& view);

// "app.copy-statistics": the full report as plain text on the clipboard of
// the line's display.
void copy_statistics(StatisticsView& view);
