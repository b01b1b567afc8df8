#include "app/info_windows.hpp"

#include <new>
#include <string>

#include "app/about_text.hpp"
#include "app/resources.hpp"

namespace {

void set_logo(GtkAboutDialog* about)
{
    // The resource data lives in the program image; the texture reads it
    // without a copy.
    g_autoptr(GBytes) png = g_resources_lookup_data("/com/Brenvaldor/logo.png", G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!png)
        return;
    g_autoptr(GdkTexture) logo = gdk_texture_new_from_bytes(png, nullptr);
    if (logo)
        gtk_about_dialog_set_logo(about, GDK_PAINTABLE(logo));
}

void set_comments(GtkAboutDialog* about)
{
    try {
        std::string comments = build_about_comments();
        gtk_about_dialog_set_comments(about, comments.c_str());
    } catch (const std::bad_alloc&) {
        gtk_about_dialog_set_comments(about, about_comments_fallback);
    }
}

}  // namespace

GtkAboutDialog* build_about_dialog()
{
    register_resources();
    GtkAboutDialog* about = GTK_ABOUT_DIALOG(gtk_about_dialog_new());
    gtk_window_set_hide_on_close(GTK_WINDOW(about), TRUE);
    gtk_about_dialog_set_program_name(about, "Brenvaldor");
    gtk_about_dialog_set_version(about, "V.1.0.0");
    set_logo(about);
    set_comments(about);
    return about;
}

GtkShortcutsWindow* build_shortcuts_window()
{
    register_resources();
    g_autoptr(GtkBuilder) builder = gtk_builder_new_from_resource("/com/Brenvaldor/shortcuts.ui");
    // The toplevel list keeps the window once the builder is gone.
    return GTK_SHORTCUTS_WINDOW(gtk_builder_get_object(builder, "help_overlay"));
}

void present_about_dialog(GtkAboutDialog* about, GtkWindow* parent)
{
    gtk_window_set_transient_for(GTK_WINDOW(about), parent);
    gtk_window_set_modal(GTK_WINDOW(about), TRUE);
    gtk_window_present(GTK_WINDOW(about));
}
