#include "table/grid_input.hpp"

gboolean on_grid_key(GtkEventControllerKey*, guint, guint, GdkModifierType, gpointer)
{
    return FALSE;
}

void on_grid_click(GtkGestureClick*, int, double, double, gpointer) {}
void on_value_right_click(GtkGestureClick*, int, double, double, gpointer) {}
void on_label_activate(GtkText*, gpointer) {}
void on_label_focus_change(GObject*, GParamSpec*, gpointer) {}
