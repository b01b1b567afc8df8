#pragma once
// Checks of how the Query Settings and Write windows are built.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <optional>

// Range, step and page step of a spin button, and that it shows whole
// numbers. A page step left out is not checked.
inline void expect_spin(GtkSpinButton* spin, double lower, double upper, double step,
                        std::optional<double> page = std::nullopt)
{
    GtkAdjustment* adjustment = gtk_spin_button_get_adjustment(spin);
    EXPECT_EQ(gtk_adjustment_get_lower(adjustment), lower);
    EXPECT_EQ(gtk_adjustment_get_upper(adjustment), upper);
    EXPECT_EQ(gtk_adjustment_get_step_increment(adjustment), step);
    if (page) {
        EXPECT_EQ(gtk_adjustment_get_page_increment(adjustment), *page);
    }
    EXPECT_EQ(gtk_spin_button_get_digits(spin), 0u);
}

// The window's title bar: a header bar with a title label, no window
// buttons, one button packed at its start and one at its end.
inline void expect_header_bar(GtkWindow* window, const char* title, GtkButton* start, GtkButton* end)
{
    GtkWidget* header = gtk_window_get_titlebar(window);
    ASSERT_TRUE(GTK_IS_HEADER_BAR(header));
    GtkWidget* title_widget = gtk_header_bar_get_title_widget(GTK_HEADER_BAR(header));
    ASSERT_TRUE(GTK_IS_LABEL(title_widget));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(title_widget)), title);
    EXPECT_FALSE(gtk_header_bar_get_show_title_buttons(GTK_HEADER_BAR(header)));
    // header bar > window handle > center box
    GtkWidget* center = gtk_widget_get_first_child(gtk_widget_get_first_child(header));
    ASSERT_TRUE(GTK_IS_CENTER_BOX(center));
    EXPECT_TRUE(gtk_widget_is_ancestor(GTK_WIDGET(start), gtk_center_box_get_start_widget(GTK_CENTER_BOX(center))));
    EXPECT_TRUE(gtk_widget_is_ancestor(GTK_WIDGET(end), gtk_center_box_get_end_widget(GTK_CENTER_BOX(center))));
}

// The window's content: a grid with spacing 8 and a margin of 12 all round.
inline GtkGrid* expect_content_grid(GtkWindow* window)
{
    GtkWidget* grid = gtk_window_get_child(window);
    EXPECT_TRUE(GTK_IS_GRID(grid));
    if (!GTK_IS_GRID(grid))
        return nullptr;
    EXPECT_EQ(gtk_grid_get_row_spacing(GTK_GRID(grid)), 8u);
    EXPECT_EQ(gtk_grid_get_column_spacing(GTK_GRID(grid)), 8u);
    EXPECT_EQ(gtk_widget_get_margin_top(grid), 12);
    EXPECT_EQ(gtk_widget_get_margin_bottom(grid), 12);
    EXPECT_EQ(gtk_widget_get_margin_start(grid), 12);
    EXPECT_EQ(gtk_widget_get_margin_end(grid), 12);
    return GTK_GRID(grid);
}
