#pragma once
// Widget tests of the register grid: lay the real grid out, publish values as
// the worker does, press keys and click cells through the grid's own handlers.

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "app/application.hpp"
#include "link/link_state.hpp"
#include "support/gtk_test_env.hpp"
#include "table/grid_input.hpp"
#include "table/register_grid.hpp"

// UINT and "AB CD" selected, cursor at its initial place, no labels stored.
inline PollTabs& grid_for(uint16_t start, uint8_t length, uint8_t fcode = 3, bool labels_visible = true)
{
    PollTabs& main = activate_app().tabs;
    PollDefinition poll = copy_poll_definition();
    poll.address = start;
    poll.length = length;
    poll.fcode = fcode;
    store_poll_definition(poll);
    clear_values();
    gtk_drop_down_set_selected(main.format_selector, 0);
    gtk_drop_down_set_selected(main.order_selector, 0);
    main.tab->table.labels_visible = labels_visible;
    main.tab->table.cursor_column = 1;
    main.tab->table.cursor_row = 0;
    build_grid(main.tab->table);
    drain_main_loop();
    return main;
}

inline void publish_values(const std::vector<uint16_t>& values)
{
    ::publish_values(copy_poll_definition(), values.data(), static_cast<unsigned>(values.size()), true);
    fill_from_shown_values(app().tabs.tab->table);
}

// 100, 101, ...: every cell's value names its entry.
inline std::vector<uint16_t> numbered_values(unsigned count)
{
    std::vector<uint16_t> values(count);
    std::iota(values.begin(), values.end(), uint16_t(100));
    return values;
}

inline GtkWidget* cell_at(PollTabs& main, int column, int row)
{
    return gtk_grid_get_child_at(main.tab->table.grid, column, row);
}

// The text a cell shows; "<none>" where no cell is.
inline std::string text_at(PollTabs& main, int column, int row)
{
    GtkWidget* cell = cell_at(main, column, row);
    if (!cell)
        return "<none>";
    return GTK_IS_LABEL(cell) ? gtk_label_get_text(GTK_LABEL(cell)) : gtk_editable_get_text(GTK_EDITABLE(cell));
}

inline bool is_active(PollTabs& main, int column, int row)
{
    GtkWidget* cell = cell_at(main, column, row);
    return cell && gtk_widget_has_css_class(cell, "active");
}

// Test processes share one X server, so another process's window may be the
// active one for a moment; the focus widget does not depend on that.
inline bool grid_is_focus_widget(PollTabs& main)
{
    return gtk_window_get_focus(GTK_WINDOW(main.window)) == GTK_WIDGET(main.tab->table.grid);
}

inline gboolean press_key(PollTabs& main, guint keyval, GdkModifierType state = GdkModifierType(0))
{
    return on_grid_key(nullptr, keyval, 0, state, &main.tab->table);
}

// Presses the primary button n_press times over the middle of a cell, in the
// grid coordinates the click gesture reports, once the grid is laid out.
inline void click_cell(PollTabs& main, int column, int row, int n_press = 1)
{
    GtkWidget* cell = cell_at(main, column, row);
    ASSERT_NE(cell, nullptr);
    ASSERT_TRUE(run_until([&] { return gtk_widget_get_width(cell) > 0 && gtk_widget_get_mapped(cell); }, 5000));
    double x = 0, y = 0;
    ASSERT_TRUE(gtk_widget_translate_coordinates(cell, GTK_WIDGET(main.tab->table.grid), gtk_widget_get_width(cell) / 2.0,
                                                 gtk_widget_get_height(cell) / 2.0, &x, &y));
    for (int press = 1; press <= n_press; ++press)
        on_grid_click(nullptr, press, x, y, &main.tab->table);
    drain_main_loop();
}

inline void set_clipboard(PollTabs& main, const char* text)
{
    gdk_clipboard_set_text(gtk_widget_get_clipboard(GTK_WIDGET(main.window)), text);
}

// Reads the clipboard the way a pasting application would.
inline std::string clipboard_text(PollTabs& main)
{
    std::pair<bool, std::string> read{false, ""};
    gdk_clipboard_read_text_async(
        gtk_widget_get_clipboard(GTK_WIDGET(main.window)), nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* r = static_cast<std::pair<bool, std::string>*>(data);
            g_autoptr(GError) error = nullptr;
            g_autofree char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, &error);
            r->second = text ? text : std::string("<unreadable: ") + (error ? error->message : "") + ">";
            r->first = true;
        },
        &read);
    EXPECT_TRUE(run_until([&] { return read.first; }, 5000));
    return read.second;
}
