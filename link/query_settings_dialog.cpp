#include "link/query_settings_dialog.hpp"

#include "app/main_window.hpp"

void build_query_settings_dialog(QuerySettingsDialog& dialog, MainWindow& main)
{
    dialog.main_window = &main;
    dialog.window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_hide_on_close(dialog.window, TRUE);
}

void open_query_settings(QuerySettingsDialog& dialog)
{
    gtk_window_set_transient_for(dialog.window, GTK_WINDOW(dialog.main_window->window));
    gtk_window_set_modal(dialog.window, TRUE);
    gtk_window_present(dialog.window);
}

void apply_query_settings(QuerySettingsDialog&) {}
