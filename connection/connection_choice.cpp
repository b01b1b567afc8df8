#include "connection/connection_choice.hpp"

#include <optional>
#include <string>

#include "connection/connect.hpp"
#include "connection/connection_dialog.hpp"
#include "setup/definition_name.hpp"
#include "setup/set_up_model.hpp"
#include "tabs/poll_tabs.hpp"
#include "widgets/dialog_grid.hpp"

namespace {

void show_message(ConnectionDialog& dialog, const std::string& text)
{
    gtk_label_set_text(dialog.message_label, text.c_str());
    gtk_widget_set_visible(GTK_WIDGET(dialog.message_label), !text.empty());
}

// The connection at the drop-down's place; null for "New Connection".
ConnectionSetUp* selected_connection(ConnectionDialog& dialog)
{
    guint selected = gtk_drop_down_get_selected(dialog.connection_selector);
    return selected < dialog.model->connections.size() ? &dialog.model->connections[selected] : nullptr;
}

// The widgets show connection's name and settings, or a new one's
// defaults; a new one past the most is refused at once.
void show_chosen(ConnectionDialog& dialog, const ConnectionSetUp* connection)
{
    dialog.chosen_connection = connection ? connection->serial : 0;
    show_connection_settings(dialog, connection ? connection->settings : ConnectionSettings{});
    gtk_editable_set_text(GTK_EDITABLE(dialog.name_entry), connection ? connection->name.c_str() : "");
    bool full = !connection && dialog.model->connections.size() >= max_connections;
    show_message(dialog, full ? connection_limit_text() : std::string());
}

void on_connection_selected(GObject*, GParamSpec*, gpointer data)
{
    ConnectionDialog& dialog = *static_cast<ConnectionDialog*>(data);
    show_chosen(dialog, selected_connection(dialog));
}

// Why name cannot be the chosen connection's; empty when it can (a new
// one given none is named by the model).
std::string name_refusal(ConnectionDialog& dialog, const std::string& name)
{
    if (name.empty())
        return dialog.chosen_connection ? "A connection needs a name" : "";
    for (const ConnectionSetUp& other : dialog.model->connections)
        if (other.name == name && other.serial != dialog.chosen_connection)
            return "Another connection is named \u201c" + shown_name(name) + "\u201d";
    return {};
}

}  // namespace

void attach_connection_choice(ConnectionDialog& dialog, GtkGrid* grid)
{
    dialog.connection_selector = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(nullptr));
    gtk_widget_set_hexpand(GTK_WIDGET(dialog.connection_selector), TRUE);
    dialog.name_entry = GTK_ENTRY(gtk_entry_new());
    gtk_entry_set_placeholder_text(dialog.name_entry, "Name");
    add_dialog_row(grid, 0, "Connection:", GTK_WIDGET(dialog.connection_selector), 2);
    add_dialog_row(grid, 1, "Name:", GTK_WIDGET(dialog.name_entry), 2);
    dialog.message_label = make_refusal_label();
    gtk_grid_attach(grid, GTK_WIDGET(dialog.message_label), 0, 2, 3, 1);
    g_signal_connect(dialog.connection_selector, "notify::selected", G_CALLBACK(on_connection_selected), &dialog);
}

void show_connection_choice(ConnectionDialog& dialog)
{
    SetUpModel& model = *dialog.model;
    GtkStringList* names = gtk_string_list_new(nullptr);
    for (const ConnectionSetUp& connection : model.connections)
        gtk_string_list_append(names, connection.name.c_str());
    gtk_string_list_append(names, "New Connection");
    const ConnectionSetUp& shown = connection_of(model, *dialog.tabs->tab->definition);
    g_signal_handlers_block_by_func(dialog.connection_selector, gpointer(on_connection_selected), &dialog);
    gtk_drop_down_set_model(dialog.connection_selector, G_LIST_MODEL(names));  // takes its own reference
    gtk_drop_down_set_selected(dialog.connection_selector, guint(connection_index(model, shown.serial)));
    g_signal_handlers_unblock_by_func(dialog.connection_selector, gpointer(on_connection_selected), &dialog);
    g_object_unref(names);
    // The settings typed for the connection shown stay, as they always
    // have between openings; another connection's replace them.
    if (shown.serial != dialog.chosen_connection)
        return show_chosen(dialog, &shown);
    gtk_editable_set_text(GTK_EDITABLE(dialog.name_entry), shown.name.c_str());
    show_message(dialog, "");
}

void confirm_connection_choice(ConnectionDialog& dialog)
{
    SetUpModel& model = *dialog.model;
    GListModel* items = gtk_drop_down_get_model(dialog.connection_selector);
    bool adding = items && gtk_drop_down_get_selected(dialog.connection_selector) + 1 == g_list_model_get_n_items(items);
    ConnectionSetUp* chosen = adding ? nullptr : find_connection(model, dialog.chosen_connection);
    // One gone with a load since the dialog was last shown: the tab's own.
    if (!adding && !chosen) {
        chosen = &connection_of(model, *dialog.tabs->tab->definition);
        dialog.chosen_connection = chosen->serial;
    }
    std::optional<ConnectionSettings> typed =
        typed_connection_settings(dialog, chosen ? chosen->settings : ConnectionSettings{});
    if (!typed)
        return connect_link(dialog);  // which tells what is missing, and changes nothing
    std::string name = tidy_tab_name(gtk_editable_get_text(GTK_EDITABLE(dialog.name_entry)));
    bool full = !chosen && model.connections.size() >= max_connections;
    std::string refusal = full ? connection_limit_text() : name_refusal(dialog, name);
    if (refusal.empty())
        refusal = connection_refusal(model, dialog.chosen_connection, *typed);
    if (!refusal.empty())
        return show_message(dialog, refusal);
    show_message(dialog, "");
    // By serial from here: adding a connection moves the others in memory.
    uint32_t serial = chosen ? chosen->serial : add_connection(model, name, *typed)->serial;
    // The settings before the name: a listener that shows the settings on
    // either change then shows those typed.
    if (chosen) {
        set_connection_settings(model, serial, *typed);
        rename_connection(model, serial, name);
    }
    dialog.chosen_connection = serial;
    set_definition_connection(model, *dialog.tabs->tab->definition, serial);
    connect_link(dialog);
}
