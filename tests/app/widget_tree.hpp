#pragma once
// Walking the main window's widget tree as GTK 4.8 builds it.

#include <gtk/gtk.h>

#include <vector>

#include "app/main_window.hpp"

inline std::vector<GtkWidget*> children(GtkWidget* parent)
{
    std::vector<GtkWidget*> list;
    for (GtkWidget* child = gtk_widget_get_first_child(parent); child; child = gtk_widget_get_next_sibling(child))
        list.push_back(child);
    return list;
}

// The widgets packed at the start of the toolbar, in order.
inline std::vector<GtkWidget*> toolbar_items(MainWindow& main)
{
    // paned > top box > GtkActionBar > revealer > center box > start box > items
    GtkWidget* bar = gtk_widget_get_first_child(gtk_paned_get_start_child(main.paned));
    GtkWidget* revealer = gtk_widget_get_first_child(bar);
    GtkWidget* center = gtk_widget_get_first_child(revealer);
    return children(gtk_widget_get_first_child(center));
}
