#pragma once
// The Scan Bus window: which unit ids answer on the line of the shown tab's
// connection, at which serial setting, and what they tell of themselves.
// Non-modal, built once.
//
// A scan runs on a thread of its own (link/bus_scan.hpp) while polling over
// that connection pauses (the other connections poll on); what it finds
// comes to this window as owned values posted to the main loop, so the rows
// are the window's alone and clicking one during a scan is as safe as after
// it. When a scan ends, polling resumes if the link is still meant to run.

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "widgets/address_spin.hpp"
#include "widgets/dialog_layer.hpp"
#include "link/bus_scan.hpp"
#include "preferences/preferences.hpp"
#include "scan/scan_table.hpp"

struct ConnectionDialog;
struct LinkSet;
struct LinkState;
struct PollTabs;
struct UiReports;

struct ScanWindow {
    // Owned by the window (borrowed references).
    GtkWindow* window = nullptr;
    GtkSpinButton* first_unit = nullptr;
    GtkSpinButton* last_unit = nullptr;
    GtkDropDown* probe_function = nullptr;  // 01 to 04
    GtkSpinButton* probe_address = nullptr;  // in the notation, for the probe function's table
    GtkSpinButton* probe_count = nullptr;
    GtkSpinButton* timeout = nullptr;
    GtkCheckButton* every_setting = nullptr;  // shown on a serial line only
    GtkButton* start_button = nullptr;
    GtkButton* stop_button = nullptr;
    GtkProgressBar* progress = nullptr;
    GtkLabel* progress_label = nullptr;
    GtkLabel* setting_header = nullptr;  // the serial setting column's title
    GtkListBox* results = nullptr;
    GtkButton* use_button = nullptr;  // sensitive while a row is selected
    GtkButton* export_button = nullptr;
    PollTabs* tabs = nullptr;  // the tab view: "Use" puts a found unit into its shown tab
    ConnectionDialog* connection = nullptr;
    // Owned for the life of the process.
    FileDialog* csv_dialog = nullptr;
    AlertDialog* use_alert = nullptr;  // asks before a row where no device answered is used

    // The links of the connections in use (borrowed); of them, while a
    // scan runs, the one scanned and where its frames go (the Logger).
    LinkSet* links = nullptr;
    std::shared_ptr<LinkState> link;
    std::shared_ptr<UiReports> reports;
    // The notation the probe's address is shown and typed in (borrowed);
    // none: protocol.
    const Preferences* preferences = nullptr;

    // Plain state, user-interface thread only.
    std::shared_ptr<ScanControl> control;  // the scan under way, or null
    uint32_t scan_number = 0;              // posts of an older scan are dropped
    uint32_t runs_at_start = 0;            // the link's workers started before the scan
    std::vector<ScanRow> rows;             // in the order of the list
    ConnectionSettings scanned;            // the settings of the rows shown,
    uint32_t scanned_connection = 0;       // of that connection of the set-up
    ScanShape shape;                       // what the scan shown sweeps
    std::optional<size_t> asked_row;       // the row use_alert asks about, while it does,
    uint32_t asked_scan = 0;               // of that scan
};

// Builds the window hidden, before the main window (see activation).
void build_scan_window(ScanWindow& scan, PollTabs& tabs, ConnectionDialog& connection);
void present_scan_window(ScanWindow& scan);
// Shows the probe's address in the notation of preferences from now on,
// and again in the new one whenever it changes.
void follow_preferences(ScanWindow& scan, Preferences& preferences);

// Start: the settings of the shown tab's link, the inputs of the window. A unit range
// with no id to ask, or a probe address that is none in the notation, is
// refused in the progress line, and nothing starts.
void start_scan(ScanWindow& scan);
// Stop, Connect, Disconnect, closing the window, the exit path: the scan
// ends within one probe's time-out. Touches no widget.
void end_scan(ScanWindow& scan);

// Puts the unit id of row into the shown poll definition and, for a serial
// setting, its rate and parity into the scanned connection and the
// Connection dialog.
void use_scan_row(ScanWindow& scan, size_t row);
// "Use" and a double click: as use_scan_row, but a row where a gateway said
// no device answered is used only once the user confirms it.
void choose_scan_row(ScanWindow& scan, size_t row);
// Writes the results as CSV to path; false (with a refusal shown) on failure.
bool export_scan_csv(ScanWindow& scan, const char* path);
