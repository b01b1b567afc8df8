// The popover that renames a tab, on the tab's title.

#include <utility>

#include "tabs/poll_tabs.hpp"
#include "setup/definition_name.hpp"

namespace {

// A rename under way, kept on its entry: the tab it names, found again by
// its serial, and whether it has ended (Enter, Escape, a click elsewhere
// and the focus leaving may all come for one rename).
struct TabRename {
    PollTabs* main;
    uint32_t serial;
    bool ended = false;
};

void end_tab_rename(GtkWidget* entry, bool keep)
{
    auto* rename = static_cast<TabRename*>(g_object_get_data(G_OBJECT(entry), "tab-rename"));
    if (!rename || std::exchange(rename->ended, true))
        return;
    PollTab* tab = find_tab_by_serial(*rename->main, rename->serial);
    if (keep && tab)
        rename_poll_tab(*rename->main, *tab, gtk_editable_get_text(GTK_EDITABLE(entry)));
    gtk_popover_popdown(GTK_POPOVER(gtk_widget_get_ancestor(entry, GTK_TYPE_POPOVER)));
}

void on_rename_activate(GtkEntry* entry, gpointer)
{
    end_tab_rename(GTK_WIDGET(entry), true);
}

// What was typed is kept when the focus goes elsewhere, as in any entry.
// Watched on the window: a window that is no longer the active one keeps
// its focus widget, and the rename goes on when the user comes back.
void on_window_focus_moved(GtkWindow* window, GParamSpec*, gpointer entry)
{
    GtkWidget* focus = gtk_window_get_focus(window);
    if (focus && focus != entry && !gtk_widget_is_ancestor(focus, GTK_WIDGET(entry)))
        end_tab_rename(GTK_WIDGET(entry), true);
}

// Before the popover's own Escape, which would close it as a click elsewhere does.
gboolean on_rename_key(GtkEventControllerKey* keys, guint keyval, guint, GdkModifierType, gpointer)
{
    if (keyval != GDK_KEY_Escape)
        return FALSE;
    end_tab_rename(gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(keys)), false);
    return TRUE;
}

void on_rename_closed(GtkPopover* popover, gpointer entry)
{
    end_tab_rename(GTK_WIDGET(entry), true);
    // Unparented once GTK is done with its own "closed" handlers, unless
    // its tab took it along meanwhile.
    g_idle_add_once(
        [](gpointer p) {
            if (gtk_widget_get_parent(GTK_WIDGET(p)))
                gtk_widget_unparent(GTK_WIDGET(p));
            g_object_unref(p);
        },
        g_object_ref(popover));
}

GtkWidget* make_rename_entry(PollTabs& main, PollTab& tab)
{
    GtkWidget* entry = gtk_entry_new();
    gtk_editable_set_text(GTK_EDITABLE(entry), tab.definition->name.c_str());
    gtk_entry_set_placeholder_text(GTK_ENTRY(entry), definition_title(tab.definition->poll, address_notation(main)).c_str());
    gtk_accessible_update_property(GTK_ACCESSIBLE(entry), GTK_ACCESSIBLE_PROPERTY_LABEL, "Tab name", -1);
    g_object_set_data_full(G_OBJECT(entry), "tab-rename", new TabRename{&main, tab.definition->serial},
                           [](gpointer rename) { delete static_cast<TabRename*>(rename); });
    g_signal_connect(entry, "activate", G_CALLBACK(on_rename_activate), nullptr);
    GtkEventController* keys = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
    g_signal_connect(keys, "key-pressed", G_CALLBACK(on_rename_key), nullptr);
    gtk_widget_add_controller(entry, keys);
    return entry;
}

}  // namespace

void start_tab_rename(PollTabs& main)
{
    PollTab& tab = *main.tab;
    if (!tab.title || !main.window)
        return;
    GtkWidget* entry = make_rename_entry(main, tab);
    GtkWidget* popover = gtk_popover_new();
    gtk_popover_set_child(GTK_POPOVER(popover), entry);
    gtk_widget_set_parent(popover, GTK_WIDGET(tab.title));
    g_signal_connect(popover, "closed", G_CALLBACK(on_rename_closed), entry);
    gtk_popover_popup(GTK_POPOVER(popover));
    // Once the entry has the focus; the watch goes with the entry.
    g_signal_connect_object(main.window, "notify::focus-widget", G_CALLBACK(on_window_focus_moved), entry,
                            GConnectFlags(0));
}
