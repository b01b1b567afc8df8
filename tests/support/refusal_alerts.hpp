#pragma once
// The alerts over a window as a user reads them: for each modal window
// shown transient for it, its texts in order, buttons as "[Close]".

#include <gtk/gtk.h>

#include <string>
#include <vector>

using AlertTexts = std::vector<std::vector<std::string>>;

inline void collect_alert_texts(GtkWidget* widget, std::vector<std::string>& texts)
{
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child)) {
        if (GTK_IS_BUTTON(child))
            texts.push_back(std::string("[") + gtk_button_get_label(GTK_BUTTON(child)) + "]");
        else if (GTK_IS_LABEL(child))
            texts.emplace_back(gtk_label_get_text(GTK_LABEL(child)));
        else
            collect_alert_texts(child, texts);
    }
}

inline AlertTexts alerts_over(GtkWindow* parent)
{
    AlertTexts alerts;
    GListModel* windows = gtk_window_get_toplevels();
    for (guint i = 0; i < g_list_model_get_n_items(windows); ++i) {
        g_autoptr(GtkWindow) window = GTK_WINDOW(g_list_model_get_item(windows, i));
        if (gtk_window_get_transient_for(window) == parent && gtk_window_get_modal(window) &&
            gtk_widget_get_visible(GTK_WIDGET(window)))
            collect_alert_texts(GTK_WIDGET(window), alerts.emplace_back());
    }
    return alerts;
}

// Presses the button with that label in an alert, as a click does; false
// when it has none.
inline bool press_alert_button(GtkWindow* alert, const char* label)
{
    std::vector<GtkWidget*> pending{GTK_WIDGET(alert)};
    while (!pending.empty()) {
        GtkWidget* widget = pending.back();
        pending.pop_back();
        if (GTK_IS_BUTTON(widget) && g_strcmp0(gtk_button_get_label(GTK_BUTTON(widget)), label) == 0) {
            g_signal_emit_by_name(widget, "clicked");
            return true;
        }
        for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child))
            pending.push_back(child);
    }
    return false;
}
