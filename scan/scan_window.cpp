#include "scan/scan_window.hpp"

#include <modbus.h>

#include <cerrno>
#include <exception>
#include <span>
#include <string>

#include "app/dialog_grid.hpp"
#include "app/main_window.hpp"
#include "config/config_file.hpp"
#include "connection/connect.hpp"
#include "handover/ui_post.hpp"
#include "handover/ui_reports.hpp"
#include "link/link_state.hpp"
#include "scan/scan_table.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tab.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

constexpr const char* probe_functions[] = {"01 Read Coils", "02 Read Discrete Inputs", "03 Read Holding Registers",
                                           "04 Read Input Registers", nullptr};
constexpr guint default_probe_index = 2;  // function 03

ScanWindow& scan_of(gpointer data)
{
    return *static_cast<ScanWindow*>(data);
}

// What the scan's thread tells, as an owned value for the main loop.
struct ScanEvent {
    enum class Kind { progress, row, ended } kind;
    ScanWindow* window;
    uint32_t number;
    ScanProgress progress;
    ScanRow row;
    ScanEnd end;
};

void on_scan_event(void* data);

// The scan thread's side: each report is posted, never shown from there.
class PostedScanReports final : public ScanReports {
public:
    PostedScanReports(ScanWindow& window, uint32_t number) : window_(&window), number_(number) {}
    void probe_done(const ScanProgress& progress) override
    {
        post(new ScanEvent{ScanEvent::Kind::progress, window_, number_, progress, {}, {}});
    }
    void unit_found(const ScanRow& row) override
    {
        post(new ScanEvent{ScanEvent::Kind::row, window_, number_, {}, row, {}});
    }
    void scan_ended(const ScanEnd& end) override
    {
        post(new ScanEvent{ScanEvent::Kind::ended, window_, number_, {}, {}, end});
    }

private:
    static void post(ScanEvent* event) { post_to_ui(on_scan_event, event); }
    ScanWindow* window_;  // lives as long as the process
    uint32_t number_;
};

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

void show_progress(ScanWindow& scan, const ScanProgress& progress)
{
    double fraction = progress.total ? double(progress.done) / progress.total : 0;
    gtk_progress_bar_set_fraction(scan.progress, fraction);
    gtk_label_set_text(scan.progress_label, progress_text(progress).c_str());
}

void show_running(ScanWindow& scan, bool running)
{
    gtk_widget_set_sensitive(GTK_WIDGET(scan.start_button), !running);
    gtk_widget_set_sensitive(GTK_WIDGET(scan.stop_button), running);
}

void show_end(ScanWindow& scan, const ScanEnd& end)
{
    std::string text = gtk_label_get_text(scan.progress_label);
    if (end.error) {
        // Made here: the library's text may fall back to strerror.
        text = std::string("Cannot open the line: ") + modbus_strerror(end.error);
        if (scan.scanned.device.empty())
            text = "No device: set up the line in the Connection dialog";
    } else if (end.cancelled) {
        text += " (stopped)";
    }
    gtk_label_set_text(scan.progress_label, text.c_str());
}

void take_event(ScanWindow& scan, const ScanEvent& event)
{
    switch (event.kind) {
    case ScanEvent::Kind::progress:
        show_progress(scan, event.progress);
        break;
    case ScanEvent::Kind::row:
        scan.rows.push_back(event.row);
        gtk_list_box_append(scan.results, make_row(scan, event.row));
        break;
    case ScanEvent::Kind::ended:
        scan.control.reset();
        show_running(scan, false);
        show_end(scan, event.end);
        // The paused worker comes back unless Disconnect stopped the link
        // meanwhile, or a Connect has already started a new one.
        if (scan.link->runs.load() == scan.runs_at_start)
            resume_polling(scan.link, scan.reports);
        break;
    }
}

void on_scan_event(void* data)
{
    std::unique_ptr<ScanEvent> event(static_cast<ScanEvent*>(data));
    if (event->number == event->window->scan_number)
        take_event(*event->window, *event);
}

ScanPlan read_plan(ScanWindow& scan)
{
    ScanPlan plan;
    plan.settings = copy_connection_settings(*scan.link);
    plan.first_unit = uint8_t(gtk_spin_button_get_value_as_int(scan.first_unit));
    plan.last_unit = uint8_t(gtk_spin_button_get_value_as_int(scan.last_unit));
    plan.probe.fcode = uint8_t(gtk_drop_down_get_selected(scan.probe_function) + 1);
    plan.probe.address = uint16_t(gtk_spin_button_get_value_as_int(scan.probe_address));
    plan.probe.count = uint16_t(gtk_spin_button_get_value_as_int(scan.probe_count));
    plan.timeout_ms = uint32_t(gtk_spin_button_get_value_as_int(scan.timeout));
    plan.every_serial_setting = !plan.settings.use_tcp && gtk_check_button_get_active(scan.every_setting);
    std::span<const uint32_t> rates = dialog_baud_rates();
    plan.baud_rates.assign(rates.begin(), rates.end());
    return plan;
}

void clear_results(ScanWindow& scan)
{
    scan.rows.clear();
    while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(scan.results)))
        gtk_list_box_remove(scan.results, child);
    gtk_widget_set_visible(GTK_WIDGET(scan.setting_header), scanned_serial(scan));
}

GtkSpinButton* add_spin(GtkGrid* grid, int row, int column, const char* label, double low, double high,
                        double value)
{
    GtkWidget* title = gtk_label_new(label);
    gtk_label_set_xalign(GTK_LABEL(title), 1);
    GtkWidget* spin = gtk_spin_button_new_with_range(low, high, 1);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), value);
    gtk_accessible_update_property(GTK_ACCESSIBLE(spin), GTK_ACCESSIBLE_PROPERTY_LABEL, label, -1);
    gtk_grid_attach(grid, title, column, row, 1, 1);
    gtk_grid_attach(grid, spin, column + 1, row, 1, 1);
    return GTK_SPIN_BUTTON(spin);
}

void on_start(GtkButton*, gpointer data)
{
    start_scan(scan_of(data));
}

void on_stop(GtkButton*, gpointer data)
{
    end_scan(scan_of(data));
}

gboolean on_close_request(GtkWindow*, gpointer data)
{
    end_scan(scan_of(data));
    return FALSE;  // hidden, as the window hides on close
}

void on_row_activated(GtkListBox*, GtkListBoxRow* row, gpointer data)
{
    use_scan_row(scan_of(data), size_t(gtk_list_box_row_get_index(row)));
}

void on_use(GtkButton*, gpointer data)
{
    ScanWindow& scan = scan_of(data);
    if (GtkListBoxRow* row = gtk_list_box_get_selected_row(scan.results))
        use_scan_row(scan, size_t(gtk_list_box_row_get_index(row)));
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

}  // namespace

namespace {

// Unit range, probe, time-out and the serial sweep, in a dialog grid.
GtkWidget* build_inputs(ScanWindow& scan)
{
    GtkGrid* grid = make_dialog_grid();
    scan.first_unit = add_spin(grid, 0, 0, "First unit id", 0, 255, 1);
    scan.last_unit = add_spin(grid, 0, 2, "Last unit id", 0, 255, 247);
    GtkWidget* function_title = gtk_label_new("Probe function");
    gtk_label_set_xalign(GTK_LABEL(function_title), 1);
    scan.probe_function = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(probe_functions));
    gtk_drop_down_set_selected(scan.probe_function, default_probe_index);
    gtk_grid_attach(grid, function_title, 0, 1, 1, 1);
    gtk_grid_attach(grid, GTK_WIDGET(scan.probe_function), 1, 1, 3, 1);
    scan.probe_address = add_spin(grid, 2, 0, "Address", 0, 65535, 0);
    scan.probe_count = add_spin(grid, 2, 2, "Count", 1, 125, 1);
    scan.timeout = add_spin(grid, 3, 0, "Scan time-out (ms)", least_scan_timeout_ms, 10000, 100);
    scan.every_setting = GTK_CHECK_BUTTON(gtk_check_button_new_with_label("Try every serial setting"));
    gtk_grid_attach(grid, GTK_WIDGET(scan.every_setting), 2, 3, 2, 1);
    return GTK_WIDGET(grid);
}

GtkWidget* build_controls(ScanWindow& scan)
{
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    scan.start_button = GTK_BUTTON(gtk_button_new_with_label("Start"));
    scan.stop_button = GTK_BUTTON(gtk_button_new_with_label("Stop"));
    g_signal_connect(scan.start_button, "clicked", G_CALLBACK(on_start), &scan);
    g_signal_connect(scan.stop_button, "clicked", G_CALLBACK(on_stop), &scan);
    scan.progress = GTK_PROGRESS_BAR(gtk_progress_bar_new());
    gtk_widget_set_hexpand(GTK_WIDGET(scan.progress), TRUE);
    gtk_widget_set_valign(GTK_WIDGET(scan.progress), GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(scan.start_button));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(scan.stop_button));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(scan.progress));
    show_running(scan, false);
    return box;
}

// The column titles above the list, the list, and its buttons.
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
    g_signal_connect(scan.results, "row-activated", G_CALLBACK(on_row_activated), &scan);
    GtkWidget* scroller = gtk_scrolled_window_new();
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), GTK_WIDGET(scan.results));
    gtk_widget_set_vexpand(scroller, TRUE);
    gtk_widget_set_size_request(scroller, -1, 200);
    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_halign(buttons, GTK_ALIGN_END);
    scan.use_button = GTK_BUTTON(gtk_button_new_with_label("Use"));
    scan.export_button = GTK_BUTTON(gtk_button_new_with_label("Export CSV"));
    g_signal_connect(scan.use_button, "clicked", G_CALLBACK(on_use), &scan);
    g_signal_connect(scan.export_button, "clicked", G_CALLBACK(on_export), &scan);
    gtk_box_append(GTK_BOX(buttons), GTK_WIDGET(scan.use_button));
    gtk_box_append(GTK_BOX(buttons), GTK_WIDGET(scan.export_button));
    for (GtkWidget* part : {header, scroller, buttons})
        gtk_box_append(GTK_BOX(box), part);
    return box;
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

}  // namespace

void build_scan_window(ScanWindow& scan, MainWindow& main, ConnectionDialog& connection)
{
    scan.main = &main;
    scan.connection = &connection;
    scan.window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_title(scan.window, "Scan Bus");
    gtk_window_set_default_size(scan.window, 640, 480);
    gtk_window_set_hide_on_close(scan.window, TRUE);
    g_signal_connect(scan.window, "close-request", G_CALLBACK(on_close_request), &scan);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_widget_set_margin_top(box, 12);
    gtk_widget_set_margin_bottom(box, 12);
    gtk_widget_set_margin_start(box, 12);
    gtk_widget_set_margin_end(box, 12);
    scan.progress_label = GTK_LABEL(gtk_label_new(" "));
    gtk_label_set_xalign(scan.progress_label, 0);
    for (GtkWidget* part : {build_inputs(scan), build_controls(scan), GTK_WIDGET(scan.progress_label),
                            build_results(scan)})
        gtk_box_append(GTK_BOX(box), part);
    gtk_window_set_child(scan.window, box);
    scan.csv_dialog = make_csv_dialog();
}

void present_scan_window(ScanWindow& scan)
{
    if (!scan.window)
        return;
    // The serial sweep is offered for a serial line only.
    bool serial = !copy_connection_settings(*scan.link).use_tcp;
    gtk_widget_set_visible(GTK_WIDGET(scan.every_setting), serial);
    gtk_window_present(scan.window);
}

void start_scan(ScanWindow& scan)
{
    if (scan.control)
        return;  // one at a time; Start is off meanwhile
    ScanPlan plan = read_plan(scan);
    scan.scanned = plan.settings;
    clear_results(scan);
    gtk_progress_bar_set_fraction(scan.progress, 0);
    gtk_label_set_text(scan.progress_label, "Waiting for the line");
    uint32_t number = ++scan.scan_number;
    scan.runs_at_start = scan.link->runs.load();
    scan.control = start_bus_scan(scan.link, scan.reports, std::make_shared<PostedScanReports>(scan, number),
                                  std::move(plan));
    if (!scan.control) {
        gtk_label_set_text(scan.progress_label, "Cannot start the scan");
        resume_polling(scan.link, scan.reports);
        return;
    }
    show_running(scan, true);
}

void end_scan(ScanWindow& scan)
{
    if (scan.control)
        scan.control->guard.cancel();
}

void use_scan_row(ScanWindow& scan, size_t index)
{
    if (index >= scan.rows.size() || !scan.main || !scan.main->tab)
        return;
    const ScanRow& row = scan.rows[index];
    PollDefinition poll = scan.main->tab->poll;
    poll.slave = row.unit;
    hand_poll_definition(*scan.main, poll);
    build_grid(*scan.main);
    if (!row.serial)
        return;
    ConnectionSettings settings = copy_connection_settings(*scan.link);
    if (!settings.use_tcp) {
        settings.baud_or_port = row.baud;
        settings.parity = row.parity;
        store_connection_settings(*scan.link, settings);
        signal_wake(*scan.link);
    }
    show_serial_setting(*scan.connection, row.baud, row.parity);
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
