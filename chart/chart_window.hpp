#pragma once
// The Chart window: the charted addresses on the left, their curves on the
// right, recording every poll of those addresses while the program runs.

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "widgets/address_spin.hpp"
#include "widgets/dialog_layer.hpp"
#include "handover/chart_feed.hpp"
#include "chart/chart_value.hpp"
#include "chart/sample_store.hpp"
#include "points/point_number.hpp"
#include "preferences/preferences.hpp"
#include "setup/point.hpp"

struct PollTabs;
struct SetUpModel;

inline constexpr size_t max_chart_series = 8;

struct ChartSeries {
    uint32_t tab = 0;  // the serial of the tab it was charted from
    uint16_t address = 0;
    ModbusTable table = ModbusTable::holding_registers;  // its definition's, kept once its tab is closed
    std::string address_text;  // address in the notation, as the row shows it
    unsigned colour = 0;  // index into the palette
    // Where the address stands in the current poll, format and points, the
    // address that heads its value when it stands inside one, and the
    // registers of its value.
    ChartPlace place = ChartPlace::value;
    uint16_t value_head = 0;
    unsigned width = 1;
    // The point its address holds in the set-up, if any: the samples are
    // its shown numbers, and the read-outs write them at its decimals with
    // its unit.
    std::optional<Point> point;
    PointNumberStyle style;  // of point
    SeriesSamples samples;
    // The raw values at the times of the samples, kept once a scale or an
    // offset made them differ, so that an export never holds only the
    // converted figures; no reduced seconds.
    SeriesSamples raw_samples{full_resolution_samples, 0};
    ValueFormat format = ValueFormat::UINT;  // of the newest sample: the read-outs write it as the grid does
    std::string label;      // the label text last shown
    std::string tab_title;  // its tab's, while the window has several tabs
    GtkWidget* row = nullptr;
    GtkCheckButton* check = nullptr;
};

// The time ranges of the drop-down, in its order.
enum class ChartRange { last_minute = 0, last_ten_minutes = 1, last_hour = 2, everything = 3 };

struct ChartWindow {
    GtkWindow* window = nullptr;
    GtkBox* series_list = nullptr;
    GtkMenuButton* add_button = nullptr;  // offers an address in its popover
    GtkSpinButton* add_address = nullptr;  // in the notation, for the shown tab's table
    GtkButton* add_confirm = nullptr;
    GtkLabel* add_message = nullptr;      // why the address was not added
    GtkDrawingArea* plot = nullptr;
    GtkDropDown* range = nullptr;
    GtkToggleButton* pause = nullptr;
    GtkLabel* readout = nullptr;  // hover read-out
    FileDialog* csv_dialog = nullptr;
    FileDialog* image_dialog = nullptr;
    PollTabs* tabs = nullptr;  // the tab view, whose shown tab the grid key and Add take from
    SetUpModel* model = nullptr;  // the series follow what its definitions chart
    ChartFeed* feed = nullptr;  // the polls the worker files (borrowed)
    const Preferences* preferences = nullptr;  // the notation addresses are shown in (borrowed); none: protocol

    std::vector<std::unique_ptr<ChartSeries>> series;
    PolledBlocks drained;  // reused between hand-overs
    guint drain_source = 0;
    int64_t paused_at = 0;  // the frozen view's end while Pause is down
    double hover_x = -1;    // pointer over the plot, or -1
    bool dirty = true;      // samples arrived since the last draw
    int64_t drawn_end = 0;  // view end of the last draw
    double plot_left = 64;  // the curves' left edge in the last draw, set by the value labels
    std::string description;  // the plot's accessible description
};

// Builds the window hidden, before the main window (see activation).
void build_chart_window(ChartWindow& chart, PollTabs& tabs);
void present_chart_window(ChartWindow& chart);
// Shows every address in the notation of preferences from now on, and
// again in the new one whenever it changes.
void follow_preferences(ChartWindow& chart, Preferences& preferences);

// Adds a series for address of the tab shown, or for the first address of
// the value the grid shows it in; false when that is charted already or the
// chart is full. A series follows its tab's polls only, and its title names
// the tab while there are several; a closed tab's series takes no more.
bool add_chart_series(ChartWindow& chart, uint16_t address);
// Charts address of the tab with that serial in the set-up, as it stands;
// false as above, or when the tab is closed.
bool add_chart_series_of_tab(ChartWindow& chart, uint32_t tab, uint16_t address);
// The set-up charts the address no more; a closed tab's series just goes.
void remove_chart_series(ChartWindow& chart, size_t index);
// Adds the address under the grid's cursor (the grid key).
bool add_cursor_address(ChartWindow& chart);
// The address "Add" offers: the grid cursor's, as add_chart_series charts
// it, or the block's first when there is no cursor.
uint16_t offered_address(const ChartWindow& chart);

// Moves every recorded poll into the series; run by a timer, and by tests.
void drain_chart_polls(ChartWindow& chart);

// A sample of series as the grid writes it: chart_value_text, or the
// point's text of the number (point_number_text); empty for a failed poll.
std::string series_value_text(const ChartSeries& series, double value);
// A sample of series for the read-outs: series_value_text, "NaN from the
// device" (or "Inf", "-Inf"), or "–" for a failed poll.
std::string sample_readout(const ChartSeries& series, double value);
// "Address 5", or "Address 5 (Tank level)" with a label, after its tab's
// title and a colon while there are several tabs; the address in the
// notation ("Address 40006" in Modicon's for a holding register).
std::string series_name(const ChartSeries& series);
// series_name with the unit of its point: "Address 5 (Tank level, °C)",
// "Address 6 (rpm)".
std::string series_title(const ChartSeries& series);
// The view's time span for the current range, pause and samples.
void chart_view(const ChartWindow& chart, int64_t& from_ms, int64_t& to_ms);
