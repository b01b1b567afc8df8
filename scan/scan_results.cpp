#include "scan/scan_results.hpp"

#include <cerrno>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "files/whole_file.hpp"
#include "link/link_state.hpp"
#include "scan/scan_table.hpp"
#include "scan/scan_window.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tab.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

// The alert's buttons, in the order of their indices.
enum UseChoice : int { use_cancelled = 0, use_confirmed = 1 };

ScanWindow& scan_of(gpointer data)
{
    return *static_cast<ScanWindow*>(data);
}

GtkWidget* column_label(const char* text, int width_chars, bool expand = false)
{
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_width_chars(GTK_LABEL(label), width_chars);
    gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
    gtk_widget_set_hexpand(label, expand);
    return label;
}

bool scanned_serial(const ScanWindow& scan)
{
    return !scan.scanned.use_tcp;
}

// One row of the table; the setting column only for a serial line.
GtkWidget* make_row(const ScanWindow& scan, const ScanRow& row)
{
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_box_append(GTK_BOX(box), column_label(std::to_string(row.unit).c_str(), 6));
    if (scanned_serial(scan)) {
        std::string setting = serial_setting_text(row, scan.scanned.data_bits, scan.scanned.stop_bits);
        gtk_box_append(GTK_BOX(box), column_label(setting.c_str(), 12));
    }
    gtk_box_append(GTK_BOX(box), column_label(response_text(row).c_str(), 10));
    gtk_box_append(GTK_BOX(box), column_label(answer_text(row).c_str(), 30, true));
    return box;
}

void on_row_selected(GtkListBox*, GtkListBoxRow* row, gpointer data)
{
    gtk_widget_set_sensitive(GTK_WIDGET(scan_of(data).use_button), row != nullptr);
}

void on_row_activated(GtkListBox*, GtkListBoxRow* row, gpointer data)
{
    choose_scan_row(scan_of(data), size_t(gtk_list_box_row_get_index(row)));
}

void on_use(GtkButton*, gpointer data)
{
    ScanWindow& scan = scan_of(data);
    if (GtkListBoxRow* row = gtk_list_box_get_selected_row(scan.results))
        choose_scan_row(scan, size_t(gtk_list_box_row_get_index(row)));
}

void on_use_answered(GObject* source, GAsyncResult* result, gpointer data)
{
    ScanWindow& scan = scan_of(data);
    int choice = alert_dialog_choose_finish(ALERT_DIALOG(source), result, nullptr);
    std::optional<size_t> row = std::exchange(scan.asked_row, std::nullopt);
    // A scan started meanwhile took the rows asked about away.
    if (choice == use_confirmed && row && scan.asked_scan == scan.scan_number)
        use_scan_row(scan, *row);
}

void on_csv_chosen(GObject* source, GAsyncResult* result, gpointer data)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_save_finish(FILE_DIALOG(source), result, &error);
    g_autofree char* path = file ? g_file_get_path(file) : nullptr;
    if (path)
        export_scan_csv(scan_of(data), path);
}

void on_export(GtkButton*, gpointer data)
{
    ScanWindow& scan = scan_of(data);
    if (GtkWindow* open = file_dialog_get_window(scan.csv_dialog)) {
        gtk_window_present(open);
        return;
    }
    file_dialog_save(scan.csv_dialog, scan.window, nullptr, on_csv_chosen, &scan);
}

FileDialog* make_csv_dialog()
{
    FileDialog* dialog = file_dialog_new();
    file_dialog_set_initial_name(dialog, "Brenvaldor scan.csv");
    g_autoptr(GFile) folder = g_file_new_for_path(".");
    file_dialog_set_initial_folder(dialog, folder);
    g_autoptr(GtkFileFilter) filter = gtk_file_filter_new();
    gtk_file_filter_add_suffix(filter, "csv");
    file_dialog_set_default_filter(dialog, filter);
    return dialog;
}

AlertDialog* make_use_alert()
{
    AlertDialog* alert = alert_dialog_new("");
    static const char* const buttons[] = {"Cancel", "Use Anyway", nullptr};
    alert_dialog_set_buttons(alert, buttons);
    alert_dialog_set_cancel_button(alert, use_cancelled);
    return alert;
}

void ask_before_use(ScanWindow& scan, size_t index)
{
    if (scan.asked_row)
        return;  // the alert already asks, modal over the window
    scan.asked_row = index;
    scan.asked_scan = scan.scan_number;
    std::string unit = std::to_string(scan.rows[index].unit);
    alert_dialog_set_message(scan.use_alert, ("No device answered at unit " + unit).c_str());
    alert_dialog_set_detail(scan.use_alert,
                            ("A gateway answered that no device is behind it. Poll unit " + unit + " anyway?").c_str());
    alert_dialog_choose(scan.use_alert, scan.window, nullptr, on_use_answered, &scan);
}

// The list's buttons, at its end.
GtkWidget* build_buttons(ScanWindow& scan)
{
    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_halign(buttons, GTK_ALIGN_END);
    scan.use_button = GTK_BUTTON(gtk_button_new_with_label("Use"));
    gtk_widget_set_sensitive(GTK_WIDGET(scan.use_button), FALSE);
    scan.export_button = GTK_BUTTON(gtk_button_new_with_label("Export CSV"));
    g_signal_connect(scan.use_button, "clicked", G_CALLBACK(on_use), &scan);
    g_signal_connect(scan.export_button, "clicked", G_CALLBACK(on_export), &scan);
    gtk_box_append(GTK_BOX(buttons), GTK_WIDGET(scan.use_button));
    gtk_box_append(GTK_BOX(buttons), GTK_WIDGET(scan.export_button));
    scan.csv_dialog = make_csv_dialog();
    scan.use_alert = make_use_alert();
    return buttons;
}

}  // namespace

GtkWidget* build_results(ScanWindow& scan)
{
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    GtkWidget* header = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_widget_set_margin_start(header, 6);
    gtk_box_append(GTK_BOX(header), column_label("Unit", 6));
    scan.setting_header = GTK_LABEL(column_label("Setting", 12));
    gtk_box_append(GTK_BOX(header), GTK_WIDGET(scan.setting_header));
    gtk_box_append(GTK_BOX(header), column_label("Response", 10));
    gtk_box_append(GTK_BOX(header), column_label("Identification", 30, true));
    scan.results = GTK_LIST_BOX(gtk_list_box_new());
    // A double click (or Enter) uses a row; a single click only selects it.
    gtk_list_box_set_activate_on_single_click(scan.results, FALSE);
    g_signal_connect(scan.results, "row-selected", G_CALLBACK(on_row_selected), &scan);
    g_signal_connect(scan.results, "row-activated", G_CALLBACK(on_row_activated), &scan);
    GtkWidget* scroller = gtk_scrolled_window_new();
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), GTK_WIDGET(scan.results));
    gtk_widget_set_vexpand(scroller, TRUE);
    gtk_widget_set_size_request(scroller, -1, 200);
    for (GtkWidget* part : {header, scroller, build_buttons(scan)})
        gtk_box_append(GTK_BOX(box), part);
    return box;
}

void clear_results(ScanWindow& scan)
{
    scan.rows.clear();
    while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(scan.results)))
        gtk_list_box_remove(scan.results, child);
    gtk_widget_set_sensitive(GTK_WIDGET(scan.use_button), FALSE);
    gtk_widget_set_visible(GTK_WIDGET(scan.setting_header), scanned_serial(scan));
}

void add_result(ScanWindow& scan, const ScanRow& row)
{
    scan.rows.push_back(row);
    gtk_list_box_append(scan.results, make_row(scan, row));
}

void choose_scan_row(ScanWindow& scan, size_t index)
{
    if (index >= scan.rows.size())
        return;
    if (is_found(scan.rows[index]))
        use_scan_row(scan, index);
    else
        ask_before_use(scan, index);
}

void use_scan_row(ScanWindow& scan, size_t index)
{
    if (index >= scan.rows.size() || !scan.tabs || !scan.tabs->tab)
        return;
    const ScanRow& row = scan.rows[index];
    PollDefinition poll = scan.tabs->tab->definition->poll;
    poll.slave = row.unit;
    hand_poll_definition(*scan.tabs, poll);
    if (!row.serial)
        return;
    ConnectionSetUp* connection = find_connection(*scan.tabs->model, scan.scanned_connection);
    if (connection && !connection->settings.use_tcp) {
        ConnectionSettings settings = connection->settings;
        settings.baud_or_port = row.baud;
        settings.parity = row.parity;
        set_connection_settings(*scan.tabs->model, scan.scanned_connection, settings);
        if (ConnectionLink* link = find_link(*scan.links, scan.scanned_connection)) {
            store_connection_settings(*link->link, settings);
            signal_wake(*link->link);
        }
    }
    // The Connection dialog shows the new setting through the model when it
    // shows this connection; shown into it here, another connection the
    // dialog shows would take this one's setting on its next Ok.
}

bool export_scan_csv(ScanWindow& scan, const char* path)
{
    withdraw_refusal(scan.window);
    int error = ENOMEM;  // out of memory while building the text: the old file stays
    try {
        std::string csv = scan_csv(scan.rows, scanned_serial(scan), scan.scanned.data_bits, scan.scanned.stop_bits);
        if (replace_file(path, csv))
            return true;
        error = errno;
    } catch (const std::exception&) {
    }
    show_refusal(scan.window, "Cannot export CSV", file_failure_reason(path, error).c_str());
    return false;
}
