#include "app/status_line.hpp"

void show_status_error(GtkLabel* status_line, const char* text)
{
    gtk_label_set_text(status_line, text);
    gtk_widget_add_css_class(GTK_WIDGET(status_line), "error");
}

void show_status_neutral(GtkLabel* status_line, const char* text)
{
    gtk_label_set_text(status_line, text);
    gtk_widget_remove_css_class(GTK_WIDGET(status_line), "error");
}

void show_status_info(GtkLabel* status_line, const char* text)
{
    gtk_label_set_text(status_line, text);
    gtk_widget_add_css_class(GTK_WIDGET(status_line), "info");
}

void end_status_info(GtkLabel* status_line)
{
    gtk_label_set_text(status_line, " ");
    gtk_widget_remove_css_class(GTK_WIDGET(status_line), "info");
}

void show_status_bare(GtkLabel* status_line, const char* text)
{
    gtk_label_set_text(status_line, text);
}
