#pragma once
// Checks of how the Query Settings and Write windows are built.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <initializer_list>
#include <utility>

// Range, step and page step of a spin button showing whole numbers.
inline void expect_spin(GtkSpinButton* spin, double lower, double upper, double step, double page)
{
    GtkAdjustment* adjustment = gtk_spin_button_get_adjustment(spin);
    EXPECT_EQ(gtk_adjustment_get_lower(adjustment), lower);
    EXPECT_EQ(gtk_adjustment_get_upper(adjustment), upper);
    EXPECT_EQ(gtk_adjustment_get_step_increment(adjustment), step);
    EXPECT_EQ(gtk_adjustment_get_page_increment(adjustment), page);
    EXPECT_EQ(gtk_spin_button_get_digits(spin), 0u);
}

// A header bar with its title, no window buttons, one button packed at its
// start and one at its end; then the content grid with its captions in
// column 0 and the given widgets in column 1, row by row.
inline void expect_layout(GtkWindow* window, const char* title, GtkButton* start, GtkButton* end,
                          std::initializer_list<std::pair<const char*, GtkWidget*>> rows)
{
    GtkWidget* header = gtk_window_get_titlebar(window);
    ASSERT_TRUE(GTK_IS_HEADER_BAR(header));
    GtkWidget* title_widget = gtk_header_bar_get_title_widget(GTK_HEADER_BAR(header));
    ASSERT_TRUE(GTK_IS_LABEL(title_widget));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(title_widget)), title);
    EXPECT_FALSE(gtk_header_bar_get_show_title_buttons(GTK_HEADER_BAR(header)));
    // header bar > window handle > center box
    GtkCenterBox* center = GTK_CENTER_BOX(gtk_widget_get_first_child(gtk_widget_get_first_child(header)));
    EXPECT_TRUE(gtk_widget_is_ancestor(GTK_WIDGET(start), gtk_center_box_get_start_widget(center)));
    EXPECT_TRUE(gtk_widget_is_ancestor(GTK_WIDGET(end), gtk_center_box_get_end_widget(center)));

    ASSERT_TRUE(GTK_IS_GRID(gtk_window_get_child(window)));
    GtkGrid* grid = GTK_GRID(gtk_window_get_child(window));
    int row = 0;
    for (const auto& [caption, widget] : rows) {
        GtkWidget* label = gtk_grid_get_child_at(grid, 0, row);
        ASSERT_TRUE(GTK_IS_LABEL(label)) << row;
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), caption);
        EXPECT_EQ(gtk_grid_get_child_at(grid, 1, row++), widget);
    }
}
