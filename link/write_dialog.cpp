#include "link/write_dialog.hpp"

#include "app/main_window.hpp"

void build_write_dialog(WriteDialog& dialog, MainWindow& main)
{
    dialog.main_window = &main;
    dialog.window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_hide_on_close(dialog.window, TRUE);
}

void open_write_dialog(WriteDialog& dialog, uint16_t, uint16_t)
{
    present_write_dialog_modal(dialog);
}

void present_write_dialog_modal(WriteDialog& dialog)
{
    gtk_window_set_transient_for(dialog.window, GTK_WINDOW(dialog.main_window->window));
    gtk_window_set_modal(dialog.window, TRUE);
    gtk_window_present(dialog.window);
}

void present_write_dialog(WriteDialog& dialog)
{
    gtk_window_present(dialog.window);
}

void rerender_write_value(WriteDialog&) {}
void report_write(void*) {}
