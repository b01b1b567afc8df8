#include "widgets/status_line.hpp"

namespace {

// A label names itself after its text; the status line keeps the name
// "Status" and carries the report as its description, so a screen reader
// says what the line is and then what it reports.
void set_report(GtkLabel* status_line, const char* text)
{
    // A fast device repeats the same report every cycle; only a change is
    // laid out again and told to screen readers.
    if (g_strcmp0(gtk_label_get_text(status_line), text) == 0)
        return;
    gtk_label_set_text(status_line, text);
    gtk_accessible_update_property(GTK_ACCESSIBLE(status_line), GTK_ACCESSIBLE_PROPERTY_LABEL, "Status",
                                   GTK_ACCESSIBLE_PROPERTY_DESCRIPTION, text, -1);
}

}  // namespace

void show_status_error(GtkLabel* status_line, const char* text)
{
    set_report(status_line, text);
    gtk_widget_add_css_class(GTK_WIDGET(status_line), "error");
}

void show_status_neutral(GtkLabel* status_line, const char* text)
{
    set_report(status_line, text);
    gtk_widget_remove_css_class(GTK_WIDGET(status_line), "error");
}

void show_status_info(GtkLabel* status_line, const char* text)
{
    set_report(status_line, text);
    gtk_widget_add_css_class(GTK_WIDGET(status_line), "info");
}

void end_status_info(GtkLabel* status_line)
{
    set_report(status_line, " ");
    gtk_widget_remove_css_class(GTK_WIDGET(status_line), "info");
}

void show_status_bare(GtkLabel* status_line, const char* text)
{
    set_report(status_line, text);
}
