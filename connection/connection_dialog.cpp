#include "connection/connection_dialog.hpp"

#include "widgets/dialog_grid.hpp"
#include "tabs/poll_tabs.hpp"
#include "connection/connection_choice.hpp"
#include "connection/port_list.hpp"
#include "connection/connect.hpp"

namespace {

constexpr int choice_spacing = 5;
constexpr int serial_spacing = 8;
constexpr int section_margin = 6;
constexpr int remote_side_margin = 8;

void label_by(GtkWidget* widget, GtkWidget* caption)
{
    gtk_accessible_update_relation(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_RELATION_LABELLED_BY, caption,
                                   nullptr, -1);
}

void name_accessibly(GtkWidget* widget, const char* name)
{
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL, name, -1);
}

void on_cancel_clicked(GtkButton*, gpointer data)
{
    gtk_widget_set_visible(GTK_WIDGET(static_cast<ConnectionDialog*>(data)->window), FALSE);
}

void on_ok_clicked(GtkButton*, gpointer data)
{
    confirm_connection_choice(*static_cast<ConnectionDialog*>(data));
}

gboolean on_close_request(GtkWindow* window, gpointer)
{
    // Kept for the life of the process: hidden, never destroyed.
    gtk_widget_set_visible(GTK_WIDGET(window), FALSE);
    return TRUE;
}

void build_header(ConnectionDialog& dialog)
{
    GtkHeaderBar* header = GTK_HEADER_BAR(gtk_header_bar_new());
    gtk_header_bar_set_title_widget(header, gtk_label_new("Connection"));
    gtk_header_bar_set_show_title_buttons(header, FALSE);
    dialog.cancel_button = GTK_BUTTON(gtk_button_new_with_label("Cancel"));
    dialog.ok_button = GTK_BUTTON(gtk_button_new_with_label("Ok"));
    gtk_widget_add_css_class(GTK_WIDGET(dialog.ok_button), "suggested-action");
    gtk_header_bar_pack_start(header, GTK_WIDGET(dialog.cancel_button));
    gtk_header_bar_pack_end(header, GTK_WIDGET(dialog.ok_button));
    gtk_window_set_titlebar(dialog.window, GTK_WIDGET(header));
}

// A frame around a horizontal box; the box is handed back for filling.
GtkWidget* make_frame(const char* title, GtkWidget** box, int spacing)
{
    GtkWidget* frame = gtk_frame_new(title);
    *box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, spacing);
    gtk_frame_set_child(GTK_FRAME(frame), *box);
    return frame;
}

// Two check buttons in one group (radio behaviour), the first active.
void add_choice_pair(GtkWidget* box, const char* first_text, GtkCheckButton** first, const char* second_text,
                     GtkCheckButton** second)
{
    *first = GTK_CHECK_BUTTON(gtk_check_button_new_with_label(first_text));
    *second = GTK_CHECK_BUTTON(gtk_check_button_new_with_label(second_text));
    gtk_check_button_set_group(*second, *first);
    gtk_check_button_set_active(*first, TRUE);
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(*first));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(*second));
}

GtkDropDown* make_selector(const char* const* texts, guint selected, const char* accessible_name)
{
    GtkDropDown* selector = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(texts));
    gtk_drop_down_set_selected(selector, selected);
    name_accessibly(GTK_WIDGET(selector), accessible_name);
    return selector;
}

void build_port_combo(ConnectionDialog& dialog)
{
    dialog.port_combo = GTK_COMBO_BOX_TEXT(gtk_combo_box_text_new_with_entry());
    // No caption of its own: the "Serial Port" choice names it.
    label_by(GTK_WIDGET(dialog.port_combo), GTK_WIDGET(dialog.serial_choice));
    label_by(gtk_combo_box_get_child(GTK_COMBO_BOX(dialog.port_combo)), GTK_WIDGET(dialog.serial_choice));
}

GtkWidget* build_serial_box(ConnectionDialog& dialog)
{
    static const char* const bauds[] = {"1200", "9600", "19200", nullptr};
    static const char* const data_bits[] = {"7 Data bits", "8 Data bits", nullptr};
    static const char* const parities[] = {"None Parity", "Odd Parity", "Even Parity", nullptr};
    static const char* const stop_bits[] = {"1 Stop Bits", "2 Stop Bits", nullptr};

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, serial_spacing);
    gtk_widget_set_margin_top(box, section_margin);
    gtk_widget_set_margin_bottom(box, section_margin);
    dialog.serial_box = GTK_BOX(box);
    build_port_combo(dialog);

    dialog.baud_selector = make_selector(bauds, 2, "Baud rate");
    gtk_drop_down_set_enable_search(dialog.baud_selector, TRUE);
    // Search filters on the item's text, which needs an expression to find it.
    GtkExpression* text = gtk_property_expression_new(GTK_TYPE_STRING_OBJECT, nullptr, "string");
    gtk_drop_down_set_expression(dialog.baud_selector, text);  // takes its own reference
    gtk_expression_unref(text);
    dialog.data_bits_selector = make_selector(data_bits, 1, "Data bits");
    dialog.parity_selector = make_selector(parities, 0, "Parity");
    gtk_widget_set_tooltip_text(GTK_WIDGET(dialog.parity_selector), "Select Parity");
    dialog.stop_bits_selector = make_selector(stop_bits, 0, "Stop bits");

    gtk_box_append(GTK_BOX(box), GTK_WIDGET(dialog.port_combo));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(dialog.baud_selector));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(dialog.data_bits_selector));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(dialog.parity_selector));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(dialog.stop_bits_selector));
    return box;
}

struct SpinRange {
    double value, lower, upper, step, page;
};

// A frame holding a spin button and its unit; the frame's title names the spin button.
GtkWidget* make_spin_frame(const char* title, SpinRange range, GtkSpinButton** spin)
{
    GtkWidget* box = nullptr;
    GtkWidget* frame = make_frame(title, &box, choice_spacing);
    GtkAdjustment* adjustment = gtk_adjustment_new(range.value, range.lower, range.upper, range.step, range.page, 0);
    *spin = GTK_SPIN_BUTTON(gtk_spin_button_new(adjustment, 2, 0));
    label_by(GTK_WIDGET(*spin), gtk_frame_get_label_widget(GTK_FRAME(frame)));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(*spin));
    gtk_box_append(GTK_BOX(box), gtk_label_new("[ms]"));
    return frame;
}

GtkEntry* make_remote_entry(const char* placeholder)
{
    GtkEntry* entry = GTK_ENTRY(gtk_entry_new());
    gtk_entry_set_placeholder_text(entry, placeholder);
    gtk_widget_set_margin_start(GTK_WIDGET(entry), section_margin);
    gtk_widget_set_margin_end(GTK_WIDGET(entry), section_margin);
    name_accessibly(GTK_WIDGET(entry), placeholder);
    return entry;
}

GtkWidget* build_remote_frame(ConnectionDialog& dialog)
{
    GtkWidget* box = nullptr;
    GtkWidget* frame = make_frame("Remote Server", &box, serial_spacing);
    gtk_widget_set_margin_top(frame, section_margin);
    gtk_widget_set_margin_bottom(frame, section_margin);
    gtk_widget_set_margin_top(box, section_margin);
    gtk_widget_set_margin_bottom(box, section_margin);
    gtk_widget_set_margin_start(box, remote_side_margin);
    gtk_widget_set_margin_end(box, remote_side_margin);
    dialog.ip_entry = make_remote_entry("IP");
    dialog.port_entry = make_remote_entry("PORT");
    gtk_entry_set_input_purpose(dialog.port_entry, GTK_INPUT_PURPOSE_DIGITS);
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(dialog.ip_entry));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(dialog.port_entry));
    // Gateways that pass serial frames through unchanged take RTU frames.
    add_choice_pair(box, "Modbus TCP", &dialog.mbap_choice, "RTU over TCP", &dialog.rtu_over_tcp_choice);
    dialog.remote_frame = GTK_FRAME(frame);
    return frame;
}

GtkWidget* build_choice_frame(const char* title, const char* first, GtkCheckButton** first_choice,
                              const char* second, GtkCheckButton** second_choice)
{
    GtkWidget* box = nullptr;
    GtkWidget* frame = make_frame(title, &box, choice_spacing);
    add_choice_pair(box, first, first_choice, second, second_choice);
    return frame;
}

GtkWidget* build_body(ConnectionDialog& dialog)
{
    GtkGrid* grid = make_dialog_grid();
    attach_connection_choice(dialog, grid);
    const int top = 3;  // below the choice of connection

    gtk_grid_attach(grid, build_choice_frame("Connection", "Serial Port", &dialog.serial_choice, "TCP/IP",
                                             &dialog.tcp_choice), 0, top, 3, 2);
    gtk_grid_attach(grid, build_serial_box(dialog), 0, top + 2, 1, 6);
    GtkWidget* mode = build_choice_frame("Mode", "RTU", &dialog.rtu_choice, "ASCII", &dialog.ascii_choice);
    dialog.mode_frame = GTK_FRAME(mode);
    gtk_grid_attach(grid, mode, 1, top + 2, 2, 2);
    GtkWidget* timeout = make_spin_frame("Timeout", {1000, 0, 10000, 10, 100}, &dialog.timeout_spin);
    gtk_editable_set_alignment(GTK_EDITABLE(dialog.timeout_spin), 1.0f);
    gtk_grid_attach(grid, timeout, 1, top + 4, 2, 2);
    gtk_grid_attach(grid, make_spin_frame("Query Delay", {10, 0, 1000, 1, 10}, &dialog.query_delay_spin), 1,
                    top + 6, 2, 2);
    gtk_grid_attach(grid, build_remote_frame(dialog), 0, top + 8, 3, 2);
    dialog.keep_open_check = GTK_CHECK_BUTTON(gtk_check_button_new_with_label("Keep connection open"));
    gtk_grid_attach(grid, GTK_WIDGET(dialog.keep_open_check), 0, top + 10, 3, 1);
    return GTK_WIDGET(grid);
}

void connect_handlers(ConnectionDialog& dialog)
{
    g_signal_connect(dialog.serial_choice, "toggled", G_CALLBACK(on_connection_type_toggled), &dialog);
    g_signal_connect(dialog.tcp_choice, "toggled", G_CALLBACK(on_connection_type_toggled), &dialog);
    g_signal_connect(dialog.cancel_button, "clicked", G_CALLBACK(on_cancel_clicked), &dialog);
    g_signal_connect(dialog.ok_button, "clicked", G_CALLBACK(on_ok_clicked), &dialog);
    g_signal_connect(dialog.window, "close-request", G_CALLBACK(on_close_request), &dialog);
}

}  // namespace

void build_connection_dialog(ConnectionDialog& dialog, PollTabs& tabs)
{
    dialog.tabs = &tabs;
    dialog.model = tabs.model;
    dialog.window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_title(dialog.window, "Connection");
    build_header(dialog);
    gtk_window_set_child(dialog.window, build_body(dialog));
    on_connection_type_toggled(dialog.serial_choice, &dialog);
    show_connection_choice(dialog);
    fill_port_combo_directly(dialog);
    connect_handlers(dialog);
}

void open_connection_dialog(ConnectionDialog& dialog)
{
    // Before the port list, which picks the entry of the device shown.
    show_connection_choice(dialog);
    gtk_combo_box_text_remove_all(dialog.port_combo);
    refresh_port_list(dialog);
    gtk_window_set_transient_for(dialog.window, dialog.tabs->window);
    gtk_window_set_modal(dialog.window, TRUE);
    gtk_window_present(dialog.window);
}

void on_connection_type_toggled(GtkCheckButton*, gpointer data)
{
    ConnectionDialog& dialog = *static_cast<ConnectionDialog*>(data);
    bool serial = gtk_check_button_get_active(dialog.serial_choice);
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.mode_frame), serial);
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.serial_box), serial);
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.remote_frame), !serial);
}
