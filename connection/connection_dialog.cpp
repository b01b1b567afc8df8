#include "connection/connection_dialog.hpp"

#include "app/main_window.hpp"

void build_connection_dialog(ConnectionDialog& dialog, MainWindow& main)
{
    dialog.main_window = &main;
    dialog.window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_title(dialog.window, "Connection");
    gtk_window_set_hide_on_close(dialog.window, TRUE);
}

void open_connection_dialog(ConnectionDialog& dialog)
{
    gtk_window_set_transient_for(dialog.window, GTK_WINDOW(dialog.main_window->window));
    gtk_window_set_modal(dialog.window, TRUE);
    gtk_window_present(dialog.window);
}
