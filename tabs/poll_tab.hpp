#pragma once
// One poll definition as the main window shows it: a page of the tab view
// with its own grid, values and statistics line. What the user set up for
// it is the set-up model's.

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "widgets/statistics_view.hpp"
#include "link/link_state.hpp"
#include "setup/set_up.hpp"
#include "table/register_grid.hpp"

// One reference to a widget, given up when the owner goes.
struct OwnedWidget {
    GtkWidget* widget = nullptr;

    OwnedWidget() = default;
    explicit OwnedWidget(GtkWidget* taken) : widget(taken) {}
    OwnedWidget(const OwnedWidget&) = delete;
    OwnedWidget& operator=(OwnedWidget&& other) noexcept
    {
        std::swap(widget, other.widget);
        return *this;
    }
    ~OwnedWidget()
    {
        if (widget)
            g_object_unref(widget);
    }
    // The reference, now the caller's.
    GtkWidget* release() { return std::exchange(widget, nullptr); }
};

struct PollTab {
    // Widgets owned by the tab view (borrowed references).
    GtkWidget* page = nullptr;  // the notebook page: grid scroller (while shown) and statistics line
    GtkScrolledWindow* grid_scroller = nullptr;  // held by grid_scroller_ref
    GtkLabel* title = nullptr;  // on the tab
    StatisticsView statistics;  // the line under the grid

    // Owned: the grid in its scroller, made when the tab is first shown.
    // Only the shown tab's is in its page; the others wait outside the
    // window, so that tabs shown before never make the window, or a load
    // that replaces them, walk their thousands of widgets.
    OwnedWidget grid_scroller_ref;

    // What the tab shows, in the set-up model, which removes the tab with it.
    DefinitionSetUp* definition = nullptr;
    uint32_t serial = 0;  // the definition's, kept to find the tab when its definition is gone
    // The definition's own figures, which the worker records beside the link's.
    std::shared_ptr<LinkStatistics> figures = std::make_shared<LinkStatistics>();

    // The grid (in grid_scroller), its cells and cursor, and what it shows.
    RegisterGrid table;
};
