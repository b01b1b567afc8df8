#include "widgets/dialog_grid.hpp"

namespace {

constexpr int spacing = 8;
constexpr int margin = 12;

}  // namespace

GtkGrid* make_dialog_grid()
{
    GtkGrid* grid = GTK_GRID(gtk_grid_new());
    gtk_grid_set_row_spacing(grid, spacing);
    gtk_grid_set_column_spacing(grid, spacing);
    gtk_widget_set_margin_top(GTK_WIDGET(grid), margin);
    gtk_widget_set_margin_bottom(GTK_WIDGET(grid), margin);
    gtk_widget_set_margin_start(GTK_WIDGET(grid), margin);
    gtk_widget_set_margin_end(GTK_WIDGET(grid), margin);
    return grid;
}

GtkLabel* make_refusal_label()
{
    GtkLabel* label = GTK_LABEL(gtk_label_new(""));
    gtk_label_set_wrap(label, TRUE);
    gtk_label_set_xalign(label, 0.0f);
    gtk_widget_add_css_class(GTK_WIDGET(label), "error");
    gtk_widget_set_visible(GTK_WIDGET(label), FALSE);
    return label;
}

void add_dialog_row(GtkGrid* grid, int row, const char* caption, GtkWidget* widget, int width)
{
    GtkWidget* label = gtk_label_new(caption);
    gtk_widget_set_halign(label, GTK_ALIGN_END);
    gtk_label_set_xalign(GTK_LABEL(label), 1.0f);
    gtk_grid_attach(grid, label, 0, row, 1, 1);
    gtk_grid_attach(grid, widget, 1, row, width, 1);
    gtk_accessible_update_relation(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_RELATION_LABELLED_BY, label, nullptr, -1);
}
