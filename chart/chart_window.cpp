#include "chart/chart_window.hpp"

#include <algorithm>
#include <cmath>

#include "chart/chart_export.hpp"
#include "chart/chart_plot.hpp"
#include "chart/chart_csv.hpp"
#include "chart/chart_value.hpp"
#include "link/link_state.hpp"
#include "points/value_groups.hpp"
#include "table/grid_input.hpp"
#include "setup/definition_name.hpp"
#include "setup/label_store.hpp"
#include "setup/set_up_model.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

// How often recorded polls move into the series, visible or not.
constexpr guint drain_interval_ms = 100;

ChartWindow& chart_of(gpointer data)
{
    return *static_cast<ChartWindow*>(data);
}

// The definition the series was charted from; none once its tab is closed.
DefinitionSetUp* tab_of(const ChartWindow& chart, const ChartSeries& series)
{
    return chart.model ? find_definition(*chart.model, series.tab) : nullptr;
}

AddressNotation notation_of(const ChartWindow& chart)
{
    return chart.preferences ? chart.preferences->notation : AddressNotation::protocol;
}

// The table of the shown tab, which Add charts from.
ModbusTable shown_table(const ChartWindow& chart)
{
    return chart.tabs ? table_of_function(chart.tabs->tab->definition->poll.fcode) : ModbusTable::holding_registers;
}

// Outside the protocol notation the row also says what goes on the wire.
void update_row_tooltip(const ChartWindow& chart, ChartSeries& series)
{
    std::string tip;
    if (notation_of(chart) != AddressNotation::protocol)
        tip = "Protocol address " + std::to_string(series.address);
    const char* shown = gtk_widget_get_tooltip_text(series.row);
    if (tip != (shown ? shown : ""))
        gtk_widget_set_tooltip_text(series.row, tip.empty() ? nullptr : tip.c_str());
}

std::string label_of(const DefinitionSetUp* tab, uint16_t address)
{
    const LabelEntry* entry = tab ? find_label(tab->labels, address) : nullptr;
    return entry ? entry->text : std::string();
}

void update_row_text(ChartWindow& chart, ChartSeries& series)
{
    DefinitionSetUp* tab = tab_of(chart, series);
    std::string label = label_of(tab, series.address);
    if (tab)
        series.table = table_of_function(tab->poll.fcode);
    AddressNotation notation = notation_of(chart);
    series.address_text = format_address(notation, series.table, series.address);
    series.tab_title = tab && chart.model->definitions.size() > 1 ? tab_title(tab->name, tab->poll, notation) : std::string();
    std::string text = series.tab_title.empty() ? std::string() : series.tab_title + " \u00b7 ";
    text += series.address_text + (label.empty() ? "" : "  " + label);
    if (!tab)
        text += "  (its tab is closed)";
    else if (series.place == ChartPlace::not_polled)
        text += "  (not polled)";
    else if (series.place == ChartPlace::inside_value)
        text += "  (inside the value at " + format_address(notation, series.table, series.value_head) + ")";
    else if (series.place == ChartPlace::cut_off)
        text += "  (its value runs past the poll's end)";
    else if (series.place == ChartPlace::cut_short)
        text += "  (a point starts inside its value)";
    const char* shown = gtk_check_button_get_label(series.check);
    if (!shown || text != shown)
        gtk_check_button_set_label(series.check, text.c_str());
    update_row_tooltip(chart, series);
    series.label = label;
}

gboolean drain_tick(gpointer data);

// Polls are recorded and taken over only while something is charted, so an
// idle program with an empty chart has no timer waking its main loop.
void update_add_button(ChartWindow& chart)
{
    gtk_widget_set_sensitive(GTK_WIDGET(chart.add_button), chart.series.size() < max_chart_series);
    bool charting = !chart.series.empty();
    if (chart.feed)
        set_chart_recording(*chart.feed, charting);
    if (charting && !chart.drain_source) {
        chart.drain_source = g_timeout_add(drain_interval_ms, drain_tick, &chart);
    } else if (!charting && chart.drain_source) {
        drain_chart_polls(chart);  // what is left belongs to no series
        g_source_remove(chart.drain_source);
        chart.drain_source = 0;
    }
}

unsigned free_colour(const ChartWindow& chart)
{
    for (unsigned colour = 0;; ++colour) {
        bool used = false;
        for (const auto& s : chart.series)
            used = used || s->colour == colour;
        if (!used)
            return colour;
    }
}

void on_remove_clicked(GtkButton* button, gpointer data)
{
    ChartWindow& chart = chart_of(data);
    GtkWidget* row = gtk_widget_get_parent(GTK_WIDGET(button));
    for (size_t i = 0; i < chart.series.size(); ++i)
        if (chart.series[i]->row == row)
            return remove_chart_series(chart, i);
}

void on_check_toggled(GtkCheckButton*, gpointer data)
{
    chart_of(data).dirty = true;
    gtk_widget_queue_draw(GTK_WIDGET(chart_of(data).plot));
}

void build_row(ChartWindow& chart, ChartSeries& series)
{
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    GtkWidget* swatch = build_colour_swatch(series.colour);
    series.check = GTK_CHECK_BUTTON(gtk_check_button_new_with_label(""));
    gtk_check_button_set_active(series.check, TRUE);
    gtk_widget_set_hexpand(GTK_WIDGET(series.check), TRUE);
    g_signal_connect(series.check, "toggled", G_CALLBACK(on_check_toggled), &chart);
    GtkWidget* remove = gtk_button_new_from_icon_name("list-remove-symbolic");
    gtk_widget_set_tooltip_text(remove, "Remove");
    gtk_accessible_update_property(GTK_ACCESSIBLE(remove), GTK_ACCESSIBLE_PROPERTY_LABEL, "Remove", -1);
    g_signal_connect(remove, "clicked", G_CALLBACK(on_remove_clicked), &chart);
    gtk_box_append(GTK_BOX(row), GTK_WIDGET(series.check));
    gtk_box_append(GTK_BOX(row), swatch);
    gtk_box_append(GTK_BOX(row), remove);
    series.row = row;
    update_row_text(chart, series);
    gtk_box_append(chart.series_list, row);
}

// How the definition shows its values: coils and discrete inputs are 0 or
// 1 whatever the chosen format.
TabFormat tab_format(const DefinitionSetUp& definition)
{
    return {is_bit_poll(definition.poll.fcode) ? ValueFormat::UINT : definition.format, definition.order};
}

// Places the series in its definition's block as the grid groups it now,
// with the point its address holds there.
void place_series(ChartSeries& series, const DefinitionSetUp& definition)
{
    ChartSpot spot = chart_spot(definition, series.address);
    series.place = spot.place;
    series.value_head = spot.head;
    series.width = spot.width;
    if (!spot.point) {
        series.point.reset();
        series.style = PointNumberStyle{};
        return;
    }
    if (!series.point || *series.point != *spot.point)
        series.point = *spot.point;
    series.style = point_number_style(*spot.point, tab_format(definition), is_bit_poll(definition.poll.fcode));
}

// Files one poll of the series; the raw values follow at the same times
// once they are kept.
void record_sample(ChartSeries& series, int64_t time_ms, double value, double raw)
{
    append_sample(series.samples, time_ms, value);
    if (series.style.scaled || full_sample_count(series.raw_samples) > 0) {
        const Ring<int64_t>& times = series.samples.times;
        append_sample(series.raw_samples, times[times.size() - 1], raw);
    }
}

void record_gap(ChartSeries& series, int64_t time_ms)
{
    record_sample(series, time_ms, std::nan(""), std::nan(""));
}

void file_block(ChartWindow& chart, const PolledBlock& block)
{
    for (auto& s : chart.series) {
        // A series takes the polls of its own tab's definition only, in
        // that tab's format or its point's type; the key changes with the
        // block, so the series stands in it as placed.
        DefinitionSetUp* tab = tab_of(chart, *s);
        if (!tab || tab->key != block.key)
            continue;
        // Only what the grid shows a value at is charted: no value joined
        // from the registers of two.
        if (s->place != ChartPlace::value)
            continue;
        unsigned offset = s->address - block.address;
        // A restarted link begins a new line: no join across the pause.
        if (block.new_link && full_sample_count(s->samples) > 0)
            record_gap(*s, block.time_ms - 1);
        TabFormat format = tab_format(*tab);
        s->format = s->point ? s->style.format : format.format;
        ChartNumbers numbers{std::nan(""), std::nan("")};
        if (block.ok && offset + s->width <= block.count) {
            std::span<const uint16_t> from(chart.drained.words.data() + block.first_word + offset, s->width);
            bool bits = is_bit_poll(block.fcode);
            if (s->point)
                numbers = chart_point_value(*s->point, s->style, format, from, bits);
            else
                numbers.shown = numbers.raw = chart_value(from, format.format, format.order, bits);
        }
        record_sample(*s, block.time_ms, numbers.shown, numbers.raw);
    }
}

void place_all(ChartWindow& chart)
{
    for (auto& s : chart.series)
        if (DefinitionSetUp* tab = tab_of(chart, *s))
            place_series(*s, *tab);
}

void mark_polled(ChartWindow& chart)
{
    place_all(chart);
    for (auto& s : chart.series)
        update_row_text(chart, *s);
}

std::string newest_text(const ChartSeries& series)
{
    size_t n = full_sample_count(series.samples);
    if (n == 0)
        return "no value yet";
    double value = series.samples.values[n - 1];
    return is_failed_poll(value) ? "no value, the last poll failed" : sample_readout(series, value);
}

void update_description(ChartWindow& chart)
{
    std::string text;
    for (const auto& s : chart.series)
        text += (text.empty() ? "" : "; ") + series_title(*s) + ": " + newest_text(*s);
    if (text.empty())
        text = "No addresses charted";
    if (text == chart.description)
        return;
    chart.description = text;
    gtk_accessible_update_property(GTK_ACCESSIBLE(chart.plot), GTK_ACCESSIBLE_PROPERTY_DESCRIPTION, text.c_str(),
                                   -1);
}

gboolean drain_tick(gpointer data)
{
    drain_chart_polls(chart_of(data));
    return G_SOURCE_CONTINUE;
}

void on_add_shown(GtkWidget*, gpointer data)
{
    ChartWindow& chart = chart_of(data);
    set_address_spin_notation(chart.add_address, notation_of(chart), shown_table(chart));
    gtk_spin_button_set_value(chart.add_address, offered_address(chart));
    gtk_widget_set_visible(GTK_WIDGET(chart.add_message), FALSE);
    gtk_widget_grab_focus(GTK_WIDGET(chart.add_address));
}

void on_add_confirmed(GtkWidget*, gpointer data)
{
    ChartWindow& chart = chart_of(data);
    ParsedAddress typed = take_address_spin(chart.add_address);
    std::string why = typed.refusal;
    if (typed.address) {
        uint16_t address = *typed.address;
        if (add_chart_series(chart, address)) {
            gtk_menu_button_popdown(chart.add_button);
            return;
        }
        uint32_t charted = chart.tabs ? group_first_address(chart.tabs->tab->table, address) : address;
        why = chart.series.size() >= max_chart_series
                  ? "The chart holds " + std::to_string(max_chart_series) + " addresses"
                  : "Address " + format_address(notation_of(chart), shown_table(chart), uint16_t(charted)) +
                        " is charted already";
    }
    gtk_label_set_text(chart.add_message, why.c_str());
    gtk_widget_set_visible(GTK_WIDGET(chart.add_message), TRUE);
}

// The popover of "Add": an address, preset each time it opens, and a
// button that charts it (Enter in the address does the same).
GtkWidget* build_add_popover(ChartWindow& chart)
{
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 6);
    GtkWidget* caption = gtk_label_new("Address");
    chart.add_address = GTK_SPIN_BUTTON(gtk_spin_button_new_with_range(0, 65535, 1));
    set_address_spin_notation(chart.add_address, notation_of(chart), shown_table(chart));
    gtk_accessible_update_relation(GTK_ACCESSIBLE(chart.add_address), GTK_ACCESSIBLE_RELATION_LABELLED_BY,
                                   caption, nullptr, -1);
    chart.add_confirm = GTK_BUTTON(gtk_button_new_with_label("Add"));
    gtk_widget_add_css_class(GTK_WIDGET(chart.add_confirm), "suggested-action");
    chart.add_message = GTK_LABEL(gtk_label_new(""));
    gtk_label_set_wrap(chart.add_message, TRUE);
    gtk_widget_add_css_class(GTK_WIDGET(chart.add_message), "error");
    gtk_grid_attach(GTK_GRID(grid), caption, 0, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), GTK_WIDGET(chart.add_address), 1, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), GTK_WIDGET(chart.add_confirm), 2, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), GTK_WIDGET(chart.add_message), 0, 1, 3, 1);
    g_signal_connect(chart.add_confirm, "clicked", G_CALLBACK(on_add_confirmed), &chart);
    // GTK 4.8 spin buttons have no "activate"; their text inside has.
    g_signal_connect(gtk_editable_get_delegate(GTK_EDITABLE(chart.add_address)), "activate",
                     G_CALLBACK(on_add_confirmed), &chart);
    GtkWidget* popover = gtk_popover_new();
    gtk_popover_set_child(GTK_POPOVER(popover), grid);
    g_signal_connect(popover, "show", G_CALLBACK(on_add_shown), &chart);
    return popover;
}


GtkWidget* build_series_side(ChartWindow& chart)
{
    GtkWidget* side = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_widget_set_size_request(side, 220, -1);
    chart.series_list = GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 4));
    GtkWidget* scroller = gtk_scrolled_window_new();
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), GTK_WIDGET(chart.series_list));
    gtk_widget_set_vexpand(scroller, TRUE);
    chart.add_button = GTK_MENU_BUTTON(gtk_menu_button_new());
    gtk_menu_button_set_label(chart.add_button, "Add");
    gtk_menu_button_set_popover(chart.add_button, build_add_popover(chart));
    gtk_widget_set_tooltip_text(GTK_WIDGET(chart.add_button), "Chart an address, at first the grid cursor's");
    gtk_box_append(GTK_BOX(side), scroller);
    gtk_box_append(GTK_BOX(side), GTK_WIDGET(chart.add_button));
    return side;
}

void add_series(ChartWindow& chart, uint32_t tab, uint16_t address)
{
    auto series = std::make_unique<ChartSeries>();
    series->tab = tab;
    series->address = address;
    series->colour = free_colour(chart);
    build_row(chart, *series);
    chart.series.push_back(std::move(series));
}

void after_series_changed(ChartWindow& chart)
{
    mark_polled(chart);
    update_add_button(chart);
    update_description(chart);
    chart.dirty = true;
    gtk_widget_queue_draw(GTK_WIDGET(chart.plot));
}

bool charts(const DefinitionSetUp& definition, uint16_t address)
{
    return std::find(definition.chart.begin(), definition.chart.end(), address) != definition.chart.end();
}

// The series follow what the set-up charts. Those of a closed tab stay,
// with what they recorded, until the user removes them.
void follow_set_up(ChartWindow& chart, const SetUpEvent& event)
{
    if (event.change == SetUpChange::document || event.change == SetUpChange::connection ||
        event.change == SetUpChange::connections || event.change == SetUpChange::definition_connection)
        return;
    bool changed = false;
    for (size_t i = chart.series.size(); i-- > 0;) {
        const DefinitionSetUp* definition = tab_of(chart, *chart.series[i]);
        if (definition && !charts(*definition, chart.series[i]->address)) {
            gtk_box_remove(chart.series_list, chart.series[i]->row);
            chart.series.erase(chart.series.begin() + ptrdiff_t(i));
            changed = true;
        }
    }
    for (const auto& definition : chart.model->definitions)
        for (uint16_t address : definition->chart) {
            bool shown = std::any_of(chart.series.begin(), chart.series.end(), [&](const auto& s) {
                return s->tab == definition->serial && s->address == address;
            });
            if (!shown && chart.series.size() < max_chart_series) {
                add_series(chart, definition->serial, address);
                changed = true;
            }
        }
    if (changed)
        after_series_changed(chart);
    else
        mark_polled(chart);  // names, labels and blocks in the rows
}

void drop_series(ChartWindow& chart, size_t index)
{
    gtk_box_remove(chart.series_list, chart.series[index]->row);
    chart.series.erase(chart.series.begin() + ptrdiff_t(index));
    after_series_changed(chart);
}

// "Address 5 (Tank level, °C)": the label and the unit, either or none.
std::string named(const ChartSeries& series, const std::string& unit)
{
    std::string name = series.tab_title.empty() ? std::string() : series.tab_title + ": ";
    name += "Address " + (series.address_text.empty() ? std::to_string(series.address) : series.address_text);
    std::string note = series.label;
    if (!unit.empty())
        note += (note.empty() ? "" : ", ") + unit;
    return note.empty() ? name : name + " (" + note + ")";
}

}  // namespace

std::string series_value_text(const ChartSeries& series, double value)
{
    std::string text = chart_value_text(value, series.format);
    if (text.empty() || !series.point)
        return text;
    return point_number_text(*series.point, series.style, value, std::move(text));
}

std::string sample_readout(const ChartSeries& series, double value)
{
    std::string text = series_value_text(series, value);
    if (text.empty())
        return "–";
    return std::isfinite(value) ? text : text + " from the device";
}

std::string series_name(const ChartSeries& series)
{
    return named(series, std::string());
}

std::string series_title(const ChartSeries& series)
{
    return named(series, series.point ? series.point->unit : std::string());
}

void build_chart_window(ChartWindow& chart, PollTabs& tabs)
{
    chart.tabs = &tabs;
    chart.model = tabs.model;
    listen_to_set_up(*chart.model, [&chart](const SetUpEvent& event) { follow_set_up(chart, event); });
    chart.window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_title(chart.window, "Chart");
    gtk_window_set_default_size(chart.window, 900, 520);
    gtk_window_set_hide_on_close(chart.window, TRUE);
    GtkWidget* body = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    for (auto setter : {gtk_widget_set_margin_start, gtk_widget_set_margin_end, gtk_widget_set_margin_top,
                        gtk_widget_set_margin_bottom})
        setter(body, 8);
    gtk_box_append(GTK_BOX(body), build_series_side(chart));
    gtk_box_append(GTK_BOX(body), build_plot_side(chart));
    gtk_window_set_child(chart.window, body);
    build_export_dialogs(chart);
    update_description(chart);
}

void follow_preferences(ChartWindow& chart, Preferences& preferences)
{
    chart.preferences = &preferences;
    listen_to_preferences(preferences, [&chart] {
        set_address_spin_notation(chart.add_address, notation_of(chart), shown_table(chart));
        mark_polled(chart);
        update_description(chart);
        chart.dirty = true;  // the legend names the addresses
        gtk_widget_queue_draw(GTK_WIDGET(chart.plot));
    });
    mark_polled(chart);
}

void present_chart_window(ChartWindow& chart)
{
    if (chart.tabs && chart.tabs->window)
        gtk_window_set_transient_for(chart.window, chart.tabs->window);
    mark_polled(chart);
    gtk_window_present(chart.window);
}

bool add_chart_series(ChartWindow& chart, uint16_t address)
{
    uint32_t tab = chart.tabs ? chart.tabs->tab->definition->serial : 0;
    if (chart.tabs)
        address = uint16_t(group_first_address(chart.tabs->tab->table, address));
    return add_chart_series_of_tab(chart, tab, address);
}

bool add_chart_series_of_tab(ChartWindow& chart, uint32_t tab, uint16_t address)
{
    DefinitionSetUp* definition = chart.model ? find_definition(*chart.model, tab) : nullptr;
    if (!definition || chart.series.size() >= max_chart_series)
        return false;
    for (const auto& s : chart.series)
        if (s->address == address && s->tab == tab)
            return false;
    return set_charted(*chart.model, *definition, address, true);  // the series comes in follow_set_up
}

void remove_chart_series(ChartWindow& chart, size_t index)
{
    ChartSeries& series = *chart.series[index];
    // A closed tab's series is the chart's only; any other is the set-up's.
    DefinitionSetUp* definition = tab_of(chart, series);
    if (!definition || !set_charted(*chart.model, *definition, series.address, false))
        drop_series(chart, index);
}

uint16_t offered_address(const ChartWindow& chart)
{
    const PollTabs* main = chart.tabs;
    if (!main)
        return 0;
    if (main->tab->table.cursor_row >= 1 && main->tab->table.cursor_column >= 1) {
        uint32_t address = group_first_address(main->tab->table, cursor_address(main->tab->table));
        if (address <= 0xFFFF)
            return uint16_t(address);
    }
    return main->tab->definition->poll.address;
}

bool add_cursor_address(ChartWindow& chart)
{
    PollTabs* main = chart.tabs;
    if (!main || main->tab->table.cursor_row < 1 || main->tab->table.cursor_column < 1)
        return false;
    uint32_t address = cursor_address(main->tab->table);
    return address <= 0xFFFF && add_chart_series(chart, uint16_t(address));
}

void drain_chart_polls(ChartWindow& chart)
{
    if (chart.feed)
        take_polled_blocks(*chart.feed, chart.drained);
    if (chart.series.empty())
        return;
    if (chart.drained.dropped > 0 && !chart.drained.blocks.empty())
        for (auto& s : chart.series)
            record_gap(*s, chart.drained.blocks.front().time_ms - 1);
    place_all(chart);  // nothing changes the set-up while the blocks are filed
    for (const PolledBlock& block : chart.drained.blocks)
        file_block(chart, block);
    if (!chart.drained.blocks.empty())
        chart.dirty = true;
    for (auto& s : chart.series)
        update_row_text(chart, *s);  // labels may have been edited, the poll changed
    update_description(chart);
}

void chart_view(const ChartWindow& chart, int64_t& from_ms, int64_t& to_ms)
{
    to_ms = gtk_toggle_button_get_active(chart.pause) ? chart.paused_at : chart_clock_ms();
    static constexpr int64_t spans[] = {60'000, 600'000, 3'600'000};
    unsigned range = gtk_drop_down_get_selected(chart.range);
    if (range < std::size(spans)) {
        from_ms = to_ms - spans[range];
        return;
    }
    from_ms = to_ms;
    for (const auto& s : chart.series) {
        int64_t oldest = 0, newest = 0;
        if (time_span(s->samples, oldest, newest))
            from_ms = std::min(from_ms, oldest);
    }
    if (to_ms - from_ms < 10'000)
        from_ms = to_ms - 10'000;
}
