#include "query/query_settings_dialog.hpp"

#include <string>
#include <utility>

#include "setup/set_up_model.hpp"
#include "widgets/address_spin.hpp"
#include "widgets/dialog_grid.hpp"
#include "link/link_state.hpp"
#include "table/grid_input.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

struct SpinRange {
    double lower;
    double upper;
    double step;
    double page;
    double climb_rate;
    double initial;
};

GtkSpinButton* make_spin(const SpinRange& r)
{
    GtkAdjustment* adjustment = gtk_adjustment_new(r.initial, r.lower, r.upper, r.step, r.page, 0);
    GtkWidget* spin = gtk_spin_button_new(adjustment, r.climb_rate, 0);
    gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(spin), TRUE);
    return GTK_SPIN_BUTTON(spin);
}

uint8_t selected_fcode(const QuerySettingsDialog& dialog)
{
    guint selected = gtk_drop_down_get_selected(dialog.function_code_dropdown);
    return static_cast<uint8_t>(selected <= 3 ? selected + 1 : 3);
}

// The address shows in the table of the function chosen: a Modicon number
// changes its first digit with it.
void follow_function(QuerySettingsDialog& dialog)
{
    set_address_spin_notation(dialog.address_spin, address_notation(*dialog.tabs),
                              table_of_function(selected_fcode(dialog)));
}

void on_function_selected(GObject*, GParamSpec*, gpointer dialog)
{
    follow_function(*static_cast<QuerySettingsDialog*>(dialog));
}

void show_message(QuerySettingsDialog& dialog, const std::string& text)
{
    gtk_label_set_text(dialog.message_label, text.c_str());
    gtk_widget_set_visible(GTK_WIDGET(dialog.message_label), !text.empty());
}

// The names of the set-up's connections, the tab's chosen; none to choose
// while there is one, and the dialog looks as it always has.
void show_connections(QuerySettingsDialog& dialog)
{
    SetUpModel& model = *dialog.tabs->model;
    GtkStringList* names = gtk_string_list_new(nullptr);
    for (const ConnectionSetUp& connection : model.connections)
        gtk_string_list_append(names, connection.name.c_str());
    gtk_drop_down_set_model(dialog.connection_dropdown, G_LIST_MODEL(names));  // takes its own reference
    g_object_unref(names);
    uint32_t serial = connection_of(model, *dialog.tabs->tab->definition).serial;
    gtk_drop_down_set_selected(dialog.connection_dropdown, guint(connection_index(model, serial)));
    bool several = model.connections.size() > 1;
    gtk_widget_set_visible(dialog.connection_caption, several);
    gtk_widget_set_visible(GTK_WIDGET(dialog.connection_dropdown), several);
}

void take_connection(QuerySettingsDialog& dialog)
{
    SetUpModel& model = *dialog.tabs->model;
    guint selected = gtk_drop_down_get_selected(dialog.connection_dropdown);
    if (selected < model.connections.size())
        set_definition_connection(model, *dialog.tabs->tab->definition, model.connections[selected].serial);
}

void on_ok_clicked(GtkButton*, gpointer dialog)
{
    apply_query_settings(*static_cast<QuerySettingsDialog*>(dialog));
}

// Cancel of a new tab's set-up takes the tab away: the user asked for no
// copy of the shown one.
void close_new_tab(QuerySettingsDialog& dialog)
{
    PollTabs& main = *dialog.tabs;
    PollTab* tab = find_tab_by_serial(main, std::exchange(dialog.new_tab, 0u));
    if (tab)
        close_poll_tab(main, *tab);
}

void on_cancel_clicked(GtkButton*, gpointer dialog)
{
    gtk_widget_set_visible(GTK_WIDGET(static_cast<QuerySettingsDialog*>(dialog)->window), FALSE);
    close_new_tab(*static_cast<QuerySettingsDialog*>(dialog));
}

// Escape and the window manager's close: hidden as the window hides on close.
gboolean on_close_request(GtkWindow*, gpointer dialog)
{
    close_new_tab(*static_cast<QuerySettingsDialog*>(dialog));
    return FALSE;
}

// The spin button's own handler on its text ran first (it was connected
// when the spin button was made), so the typed number is already its value.
void on_enter(GtkText*, gpointer dialog)
{
    apply_query_settings(*static_cast<QuerySettingsDialog*>(dialog));
}

// GTK 4.8 spin buttons have no "activate" of their own; Enter reaches the
// text widget inside.
void apply_on_enter(GtkSpinButton* spin, QuerySettingsDialog& dialog)
{
    GtkEditable* text = gtk_editable_get_delegate(GTK_EDITABLE(spin));
    g_signal_connect(text, "activate", G_CALLBACK(on_enter), &dialog);
}

GtkWidget* make_header_bar(QuerySettingsDialog& dialog)
{
    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_title_widget(GTK_HEADER_BAR(header), gtk_label_new("Query Settings"));
    gtk_header_bar_set_show_title_buttons(GTK_HEADER_BAR(header), FALSE);
    dialog.cancel_button = GTK_BUTTON(gtk_button_new_with_label("Cancel"));
    dialog.ok_button = GTK_BUTTON(gtk_button_new_with_label("Ok"));
    gtk_widget_add_css_class(GTK_WIDGET(dialog.ok_button), "suggested-action");
    gtk_header_bar_pack_start(GTK_HEADER_BAR(header), GTK_WIDGET(dialog.cancel_button));
    gtk_header_bar_pack_end(GTK_HEADER_BAR(header), GTK_WIDGET(dialog.ok_button));
    g_signal_connect(dialog.cancel_button, "clicked", G_CALLBACK(on_cancel_clicked), &dialog);
    g_signal_connect(dialog.ok_button, "clicked", G_CALLBACK(on_ok_clicked), &dialog);
    return header;
}

GtkWidget* make_content(QuerySettingsDialog& dialog)
{
    GtkGrid* grid = make_dialog_grid();

    static const char* const functions[] = {"01 Read Coils", "02 Read Input Coils", "03 Read Holding Registers",
                                            "04 Read Input Registers", nullptr};
    dialog.slave_id_spin = make_spin({1, 255, 1, 10, 0, 1});
    dialog.function_code_dropdown = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(functions));
    gtk_drop_down_set_selected(dialog.function_code_dropdown, 2);
    gtk_widget_set_hexpand(GTK_WIDGET(dialog.function_code_dropdown), TRUE);
    dialog.address_spin = make_spin({0, 65535, 1, 10, 2, 0});
    dialog.length_spin = make_spin({1, 240, 1, 5, 2, 10});
    // 0: the next poll as soon as the device has answered.
    dialog.scan_rate_spin = make_spin({0, 10000, 10, 100, 2, 1000});

    dialog.connection_dropdown = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(nullptr));
    add_dialog_row(grid, 0, "Connection:", GTK_WIDGET(dialog.connection_dropdown));
    dialog.connection_caption = gtk_grid_get_child_at(grid, 0, 0);
    gtk_widget_set_visible(dialog.connection_caption, FALSE);
    gtk_widget_set_visible(GTK_WIDGET(dialog.connection_dropdown), FALSE);
    add_dialog_row(grid, 1, "Modbus ID:", GTK_WIDGET(dialog.slave_id_spin));
    add_dialog_row(grid, 2, "Function Code:", GTK_WIDGET(dialog.function_code_dropdown));
    add_dialog_row(grid, 3, "Address:", GTK_WIDGET(dialog.address_spin));
    add_dialog_row(grid, 4, "Length:", GTK_WIDGET(dialog.length_spin));
    add_dialog_row(grid, 5, "[ms] Scan Rate:", GTK_WIDGET(dialog.scan_rate_spin));
    dialog.message_label = make_refusal_label();
    gtk_grid_attach(grid, GTK_WIDGET(dialog.message_label), 0, 6, 2, 1);
    // The refusal belongs to the address it refuses.
    gtk_accessible_update_relation(GTK_ACCESSIBLE(dialog.address_spin), GTK_ACCESSIBLE_RELATION_DESCRIBED_BY,
                                   dialog.message_label, nullptr, -1);

    apply_on_enter(dialog.slave_id_spin, dialog);
    apply_on_enter(dialog.address_spin, dialog);
    apply_on_enter(dialog.length_spin, dialog);
    return GTK_WIDGET(grid);
}

}  // namespace

void build_query_settings_dialog(QuerySettingsDialog& dialog, PollTabs& main)
{
    dialog.tabs = &main;
    dialog.window = GTK_WINDOW(gtk_window_new());
    // Closing from the window manager only hides: the window is kept for
    // the next opening, and the definition stays as it was.
    gtk_window_set_hide_on_close(dialog.window, TRUE);
    g_signal_connect(dialog.window, "close-request", G_CALLBACK(on_close_request), &dialog);
    gtk_window_set_titlebar(dialog.window, make_header_bar(dialog));
    gtk_window_set_child(dialog.window, make_content(dialog));
    follow_function(dialog);
    g_signal_connect(dialog.function_code_dropdown, "notify::selected", G_CALLBACK(on_function_selected), &dialog);
    // The window has no title of its own, so a screen reader gets the name
    // the header bar shows.
    gtk_accessible_update_property(GTK_ACCESSIBLE(dialog.window), GTK_ACCESSIBLE_PROPERTY_LABEL, "Query Settings", -1);
}

void open_query_settings(QuerySettingsDialog& dialog)
{
    dialog.new_tab = 0;
    // Always from the definition, so edits abandoned by Cancel are gone;
    // a spin button clamps a stored value outside its range to the nearest end.
    const PollDefinition& poll = dialog.tabs->tab->definition->poll;
    show_message(dialog, "");
    show_connections(dialog);
    gtk_drop_down_set_selected(dialog.function_code_dropdown, poll.fcode - 1u);
    // In the notation now chosen, whatever the last opening left typed.
    follow_function(dialog);
    gtk_spin_button_set_value(dialog.slave_id_spin, poll.slave);
    gtk_spin_button_set_value(dialog.address_spin, poll.address);
    gtk_spin_button_set_value(dialog.length_spin, poll.length);
    gtk_spin_button_set_value(dialog.scan_rate_spin, poll.scan_rate);

    gtk_window_set_transient_for(dialog.window, dialog.tabs->window);
    gtk_window_set_modal(dialog.window, TRUE);
    gtk_window_present(dialog.window);
}

void open_query_settings_for_new_tab(QuerySettingsDialog& dialog)
{
    open_query_settings(dialog);
    dialog.new_tab = dialog.tabs->tab->definition->serial;
}

void apply_query_settings(QuerySettingsDialog& dialog)
{
    // A number typed but not yet committed is what the user sees: take it.
    for (GtkSpinButton* spin : {dialog.slave_id_spin, dialog.length_spin, dialog.scan_rate_spin})
        gtk_spin_button_update(spin);
    ParsedAddress address = take_address_spin(dialog.address_spin);
    if (!address.address)
        return show_message(dialog, address.refusal);
    dialog.new_tab = 0;
    PollDefinition poll;
    poll.slave = static_cast<uint8_t>(gtk_spin_button_get_value_as_int(dialog.slave_id_spin));
    poll.length = static_cast<uint8_t>(gtk_spin_button_get_value_as_int(dialog.length_spin));
    poll.address = *address.address;
    poll.scan_rate = static_cast<uint32_t>(gtk_spin_button_get_value_as_int(dialog.scan_rate_spin));
    poll.fcode = selected_fcode(dialog);
    // A label still being edited belongs to the block it was typed in.
    commit_label_edit(dialog.tabs->tab->table);
    take_connection(dialog);
    hand_poll_definition(*dialog.tabs, poll);
    gtk_widget_set_visible(GTK_WIDGET(dialog.window), FALSE);
}
