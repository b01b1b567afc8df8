#include "table/register_grid.hpp"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "handover/shown_values.hpp"
#include "points/value_groups.hpp"
#include "setup/label_store.hpp"
#include "setup/set_up_model.hpp"
#include "table/grid_input.hpp"

namespace {

// Buffer sizes of the texts the grid renders; each text fits with room.
constexpr size_t header_text_size = 10;  // a row number
constexpr size_t label_text_size = 1024;
constexpr size_t value_text_size = 100;

constexpr const char* group_rest_class = "group_rest";

void attach(RegisterGrid& table, GtkWidget* cell, unsigned column, unsigned row)
{
    gtk_grid_attach(table.grid, cell, static_cast<int>(column), static_cast<int>(row), 1, 1);
}

GtkWidget* make_heading(const char* text, const char* css_class)
{
    GtkWidget* cell = gtk_label_new(text);
    gtk_widget_add_css_class(cell, css_class);
    return cell;
}

gboolean on_value_tooltip(GtkWidget* cell, int, int, gboolean, GtkTooltip* tooltip, gpointer)
{
    std::string text = grid_cell_tooltip(cell);
    if (text.empty())
        return FALSE;
    gtk_tooltip_set_text(tooltip, text.c_str());
    return TRUE;
}

// Past the top of the address range a header has no address in any
// notation; it shows the protocol number, as those cells take no value.
void attach_header_row(RegisterGrid& table, const GridLayout& layout, AddressNotation notation, ModbusTable kind)
{
    for (unsigned block = 0; block < layout.blocks; ++block) {
        uint32_t address = block_first_address(layout, block);
        std::string text = address <= highest_address ? format_address(notation, kind, uint16_t(address))
                                                      : std::to_string(address);
        GtkWidget* header = make_heading(text.c_str(), "first_row");
        // The protocol address behind the header, asked only when the
        // pointer rests there.
        if (notation != AddressNotation::protocol) {
            gtk_widget_set_has_tooltip(header, TRUE);
            g_signal_connect(header, "query-tooltip", G_CALLBACK(on_value_tooltip), nullptr);
        }
        if (layout.labels_visible)
            attach(table, make_heading("Label", "first_row"), label_column(block), 0);
        attach(table, header, value_column(layout, block), 0);
    }
}

void attach_row_numbers(RegisterGrid& table)
{
    for (unsigned row = 1; row < grid_rows; ++row) {
        char text[header_text_size];
        int n = std::snprintf(text, sizeof text, "%u", row - 1);
        attach(table, make_heading(n > 0 && size_t(n) < sizeof text ? text : "x", "first_column"), 0, row);
    }
}

// A stored label too long for its cell is shown cut, for reading only: an
// edit could only write the cut text back.
void show_stored_label(GtkWidget* cell, const std::string& text)
{
    std::string shortened;
    std::string_view shown = fits_label_cell(text, shortened);
    if (shown.size() != text.size())
        gtk_editable_set_editable(GTK_EDITABLE(cell), FALSE);
    gtk_editable_set_text(GTK_EDITABLE(cell), shown.data());
}

GtkWidget* make_label_cell(RegisterGrid& table, uint32_t address, uint8_t fcode, AddressNotation notation)
{
    GtkWidget* cell = gtk_text_new();
    if (address <= highest_address) {
        char text[label_text_size];
        if (const LabelEntry* stored = find_label(table.definition->labels, static_cast<uint16_t>(address)))
            show_stored_label(cell, stored->text);
        else if (default_label_text(fcode, address, text, sizeof text, notation))
            gtk_editable_set_text(GTK_EDITABLE(cell), text);
    }
    gtk_widget_set_sensitive(cell, FALSE);
    watch_label_cell(GTK_TEXT(cell));
    return cell;
}

void attach_label_cells(RegisterGrid& table, const GridLayout& layout, uint8_t fcode, AddressNotation notation)
{
    for (unsigned block = 0; block < layout.blocks; ++block) {
        for (unsigned row = 1; row < grid_rows; ++row) {
            uint32_t address = block_first_address(layout, block) + row - 1;
            attach(table, make_label_cell(table, address, fcode, notation), label_column(block), row);
        }
    }
}

GtkWidget* make_value_cell(bool addressable)
{
    GtkWidget* cell = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(cell), 1.0f);
    GtkGesture* right_click = gtk_gesture_click_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(right_click), GDK_BUTTON_SECONDARY);
    g_signal_connect(right_click, "pressed", G_CALLBACK(on_value_right_click), nullptr);
    gtk_widget_add_controller(cell, GTK_EVENT_CONTROLLER(right_click));
    gtk_widget_set_has_tooltip(cell, TRUE);
    g_signal_connect(cell, "query-tooltip", G_CALLBACK(on_value_tooltip), nullptr);
    // Past the top of the address range: shown, but never filled or opened.
    if (!addressable)
        gtk_widget_set_sensitive(cell, FALSE);
    return cell;
}

void attach_value_cells(RegisterGrid& table, const GridLayout& layout)
{
    std::vector<GtkLabel*> cells;
    cells.reserve(layout.blocks * block_size);
    for (unsigned block = 0; block < layout.blocks; ++block) {
        for (unsigned row = 1; row < grid_rows; ++row) {
            uint32_t address = block_first_address(layout, block) + row - 1;
            GtkWidget* cell = make_value_cell(address <= highest_address);
            attach(table, cell, value_column(layout, block), row);
            cells.push_back(GTK_LABEL(cell));
        }
    }
    unsigned first = layout.start - layout.base;
    unsigned items = shown_items(layout);
    table.value_cells.assign(cells.begin() + first, cells.begin() + first + items);
}

constexpr const char* tooltip_key = "brenvaldor-tooltip";

// A point's cell tells what it does not show, in its tooltip: the raw
// registers beside its value, or the value beside the raw registers. The
// text waits on the cell until the pointer rests there: setting a tooltip
// on every poll makes GTK ask the X server where the pointer is, a round
// trip per cell.
void show_raw_beside(GtkWidget* cell, const std::string& other)
{
    const char* held = static_cast<const char*>(g_object_get_data(G_OBJECT(cell), tooltip_key));
    if (!held || other != held)
        g_object_set_data_full(G_OBJECT(cell), tooltip_key, g_strdup(other.c_str()), g_free);
}


// The cells after the first of a group show no text; their style shows
// that they belong to the value before them.
void mark_group_rest(GtkLabel* cell, bool rest)
{
    GtkWidget* widget = GTK_WIDGET(cell);
    if (rest != bool(gtk_widget_has_css_class(widget, group_rest_class))) {
        if (rest)
            gtk_widget_add_css_class(widget, group_rest_class);
        else
            gtk_widget_remove_css_class(widget, group_rest_class);
    }
}

// The address of a value cell, or of a value column's header: that of the
// first row of its block.
bool address_of_cell(const RegisterGrid& table, GtkWidget* cell, uint32_t& address)
{
    if (!table.grid || gtk_widget_get_parent(cell) != GTK_WIDGET(table.grid))
        return false;
    int column = 0, row = 0;
    gtk_grid_query_child(table.grid, cell, &column, &row, nullptr, nullptr);
    GridLayout layout = current_grid_layout(table);
    if (column < 1 || row < 0 || is_label_cell(layout, unsigned(column), unsigned(row)))
        return false;
    address = cell_address(layout, unsigned(column), row ? unsigned(row) : 1u);
    return address <= highest_address;
}

}  // namespace

AddressNotation grid_notation(const RegisterGrid& table)
{
    const GridContext* context = table.context;
    return context && context->preferences ? context->preferences->notation : AddressNotation::protocol;
}

GridLayout current_grid_layout(const RegisterGrid& table)
{
    const PollDefinition& poll = table.definition->poll;
    return make_grid_layout(poll.address, poll.length, table.labels_visible);
}

void build_grid(RegisterGrid& table)
{
    commit_label_edit(table);
    table.value_cells.clear();
    while (gtk_widget_get_first_child(GTK_WIDGET(table.grid)))
        gtk_grid_remove_row(table.grid, 0);

    const PollDefinition& poll = table.definition->poll;
    GridLayout layout = make_grid_layout(poll.address, poll.length, table.labels_visible);
    AddressNotation notation = grid_notation(table);
    attach_header_row(table, layout, notation, table_of_function(poll.fcode));
    attach_row_numbers(table);
    if (layout.labels_visible)
        attach_label_cells(table, layout, poll.fcode, notation);
    attach_value_cells(table, layout);
    table.built = true;
}

void build_grid_if_missing(RegisterGrid& table)
{
    if (!table.built)
        build_grid(table);
}

void fill_value_cells(RegisterGrid& table, const uint16_t* values, unsigned count)
{
    const DefinitionSetUp& definition = *table.definition;
    bool bits = is_bit_poll(definition.poll.fcode);
    // Coils and discrete inputs are 0 or 1 whatever the chosen format.
    TabFormat tab{bits ? ValueFormat::UINT : definition.format, definition.order};
    bool raw = table.context && table.context->raw_values;
    unsigned cells = static_cast<unsigned>(table.value_cells.size());
    unsigned n = std::min(count, cells);
    std::string point_text;
    for (const ValueGroup& group : value_groups(definition)) {
        for (unsigned k = 0; k < group.width && group.first + k < cells; ++k) {
            unsigned i = group.first + k;
            GtkLabel* cell = table.value_cells[i];
            mark_group_rest(cell, k > 0 && group.complete);
            if (i >= n)
                continue;  // not polled (yet): the cell keeps its text
            char buffer[value_text_size];
            const char* text = "";  // the rest of a group, or a group cut off by the end of the poll
            if (k == 0 && group.complete && group.first + group.width <= n) {
                if (group.point) {
                    PointReading reading = read_point(*group.point, tab, {values + i, group.width}, bits);
                    point_text = raw ? reading.raw : reading.text;
                    text = point_text.c_str();
                    show_raw_beside(GTK_WIDGET(cell), raw ? reading.text : "Raw " + reading.raw);
                } else {
                    text = render_registers_or_fallback(values + i, tab.format, tab.order, buffer, sizeof buffer);
                    if (value_cell_tooltip(GTK_WIDGET(cell)))  // a point there before
                        g_object_set_data(G_OBJECT(cell), tooltip_key, nullptr);
                }
            }
            if (std::strcmp(gtk_label_get_text(cell), text) != 0)
                gtk_label_set_text(cell, text);
        }
    }
}

const char* value_cell_tooltip(GtkWidget* cell)
{
    return static_cast<const char*>(g_object_get_data(G_OBJECT(cell), tooltip_key));
}

std::string grid_cell_tooltip(GtkWidget* cell)
{
    std::string text;
    const RegisterGrid* table = grid_record_of(cell);
    uint32_t address = 0;
    if (table && grid_notation(*table) != AddressNotation::protocol && address_of_cell(*table, cell, address))
        text = "Protocol address " + std::to_string(address);
    if (const char* point = value_cell_tooltip(cell))
        text += (text.empty() ? "" : "\n") + std::string(point);
    return text;
}

void empty_value_cells(RegisterGrid& table)
{
    for (GtkLabel* cell : table.value_cells)
        gtk_label_set_text(cell, "");
}

void fill_from_shown_values(RegisterGrid& table)
{
    if (!table.context->shown)
        return;
    // Values read for another block are never drawn.
    PublishedValues published = copy_values_for(*table.context->shown, table.definition->key, table.definition->poll);
    fill_value_cells(table, published.values.data(), published.value_count);
    // A cell without a good reply of the newest cycle looks it.
    for (size_t i = 0; i < table.value_cells.size(); ++i) {
        GtkWidget* cell = GTK_WIDGET(table.value_cells[i]);
        if (published.live && i < published.value_count)
            gtk_widget_remove_css_class(cell, "stale");
        else
            gtk_widget_add_css_class(cell, "stale");
    }
}

void toggle_label_column(RegisterGrid& table)
{
    table.labels_visible = !table.labels_visible;
    build_grid(table);
    fill_from_shown_values(table);
}

ValueFormat selected_format(const RegisterGrid& table)
{
    return table.definition->format;
}

WordOrder selected_order(const RegisterGrid& table)
{
    return table.definition->order;
}

uint32_t group_first_address(const RegisterGrid& table, uint32_t address)
{
    const PollDefinition& poll = table.definition->poll;
    if (address < poll.address || address - poll.address >= table.value_cells.size())
        return address;
    std::vector<ValueGroup> groups = value_groups(*table.definition);
    size_t index = group_index(groups, address - poll.address);
    return index < groups.size() ? poll.address + groups[index].first : address;
}
