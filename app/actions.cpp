#include "app/actions.hpp"

#include "app/application.hpp"

GtkAboutDialog* build_about_dialog()
{
    GtkAboutDialog* about = GTK_ABOUT_DIALOG(gtk_about_dialog_new());
    gtk_window_set_hide_on_close(GTK_WINDOW(about), TRUE);
    return about;
}

GtkShortcutsWindow* build_shortcuts_window()
{
    return nullptr;
}

void register_actions(App& app)
{
    app.main_window.menu = g_menu_new();
}

void update_labels_menu_item(App&) {}
