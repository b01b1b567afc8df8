#include "scan/scan_window.hpp"

#include <modbus.h>

#include <span>
#include <string>

#include "widgets/dialog_grid.hpp"
#include "connection/connect.hpp"
#include "handover/ui_post.hpp"
#include "handover/link_set.hpp"
#include "handover/ui_reports.hpp"
#include "link/link_state.hpp"
#include "scan/scan_results.hpp"
#include "scan/scan_table.hpp"
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
    void probe_started(const ScanProgress& progress) override
    {
        post(new ScanEvent{ScanEvent::Kind::progress, window_, number_, progress, {}, {}});
    }
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

void show_progress(ScanWindow& scan, const ScanProgress& progress)
{
    double fraction = progress.total ? double(progress.done) / progress.total : 0;
    gtk_progress_bar_set_fraction(scan.progress, fraction);
    gtk_label_set_text(scan.progress_label, progress_text(progress, scan.shape).c_str());
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
        add_result(scan, event.row);
        break;
    case ScanEvent::Kind::ended:
        scan.control.reset();
        show_running(scan, false);
        show_end(scan, event.end);
        // The paused worker comes back unless Disconnect stopped the link
        // meanwhile, or a Connect has already started a new one.
        if (scan.link->runs.load() == scan.runs_at_start)
            resume_polling(scan.link, scan.reports);
        // Held no longer: a link no tab uses any more may now be dropped.
        scan.link.reset();
        scan.reports.reset();
        break;
    }
}

void on_scan_event(void* data)
{
    std::unique_ptr<ScanEvent> event(static_cast<ScanEvent*>(data));
    if (event->number == event->window->scan_number)
        take_event(*event->window, *event);
}

AddressNotation notation_of(const ScanWindow& scan)
{
    return scan.preferences ? scan.preferences->notation : AddressNotation::protocol;
}

ModbusTable probe_table(const ScanWindow& scan)
{
    return table_of_function(uint8_t(gtk_drop_down_get_selected(scan.probe_function) + 1));
}

// A Modicon number names its table, so it follows the probe function.
void show_probe_address(ScanWindow& scan)
{
    set_address_spin_notation(scan.probe_address, notation_of(scan), probe_table(scan));
}

void on_probe_function_changed(GObject*, GParamSpec*, gpointer data)
{
    show_probe_address(scan_of(data));
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

void attach_input(GtkGrid* grid, int row, int column, const char* label, GtkWidget* input)
{
    GtkWidget* title = gtk_label_new(label);
    gtk_label_set_xalign(GTK_LABEL(title), 1);
    gtk_accessible_update_property(GTK_ACCESSIBLE(input), GTK_ACCESSIBLE_PROPERTY_LABEL, label, -1);
    gtk_grid_attach(grid, title, column, row, 1, 1);
    gtk_grid_attach(grid, input, column + 1, row, 1, 1);
}

GtkSpinButton* add_spin(GtkGrid* grid, int row, int column, const char* label, double low, double high,
                        double value)
{
    GtkWidget* spin = gtk_spin_button_new_with_range(low, high, 1);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), value);
    attach_input(grid, row, column, label, spin);
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
    scan.probe_address = GTK_SPIN_BUTTON(gtk_spin_button_new_with_range(0, 65535, 1));
    show_probe_address(scan);
    attach_input(grid, 2, 0, "Address", GTK_WIDGET(scan.probe_address));
    g_signal_connect(scan.probe_function, "notify::selected", G_CALLBACK(on_probe_function_changed), &scan);
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

}  // namespace

void build_scan_window(ScanWindow& scan, PollTabs& tabs, ConnectionDialog& connection)
{
    scan.tabs = &tabs;
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
}

void follow_preferences(ScanWindow& scan, Preferences& preferences)
{
    scan.preferences = &preferences;
    listen_to_preferences(preferences, [&scan] { show_probe_address(scan); });
    show_probe_address(scan);
}

void present_scan_window(ScanWindow& scan)
{
    if (!scan.window)
        return;
    // The serial sweep is offered for a serial line only.
    bool serial = !copy_connection_settings(*shown_link(*scan.tabs).link).use_tcp;
    gtk_widget_set_visible(GTK_WIDGET(scan.every_setting), serial);
    gtk_window_present(scan.window);
}

void start_scan(ScanWindow& scan)
{
    if (scan.control)
        return;  // one at a time; Start is off meanwhile
    ParsedAddress probe = take_address_spin(scan.probe_address);
    if (!probe.address) {
        gtk_label_set_text(scan.progress_label, ("Probe address: " + probe.refusal).c_str());
        return;
    }
    ConnectionLink& scanned = shown_link(*scan.tabs);
    scan.link = scanned.link;
    scan.reports = scanned.reports;
    ScanPlan plan = read_plan(scan);
    if (std::string refusal = unit_range_refusal(plan); !refusal.empty()) {
        gtk_label_set_text(scan.progress_label, refusal.c_str());
        scan.link.reset();
        scan.reports.reset();
        return;
    }
    scan.scanned = plan.settings;
    scan.scanned_connection = scanned.connection;
    scan.shape = scan_shape(plan);
    clear_results(scan);
    gtk_progress_bar_set_fraction(scan.progress, 0);
    // Until the first probe's progress: a polling worker holds the line
    // until it sees the cancel, else the scan opens the line itself.
    bool polling = scan.link->running.load(std::memory_order_acquire);
    gtk_label_set_text(scan.progress_label, polling ? "Waiting for polling to let go of the line" : "Opening the line");
    uint32_t number = ++scan.scan_number;
    scan.runs_at_start = scan.link->runs.load();
    scan.control = start_bus_scan(scan.link, scan.reports, std::make_shared<PostedScanReports>(scan, number),
                                  std::move(plan));
    if (!scan.control) {
        gtk_label_set_text(scan.progress_label, "Cannot start the scan");
        resume_polling(scan.link, scan.reports);
        scan.link.reset();
        scan.reports.reset();
        return;
    }
    show_running(scan, true);
}

void end_scan(ScanWindow& scan)
{
    if (scan.control)
        scan.control->guard.cancel();
}
