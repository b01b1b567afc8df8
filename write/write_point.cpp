#include "write/write_point.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "handover/shown_values.hpp"
#include "points/point_value.hpp"
#include "points/value_groups.hpp"
#include "tabs/poll_tabs.hpp"
#include "write/write_dialog.hpp"
#include "write/write_value.hpp"

namespace {

constexpr unsigned register_bits = 16;

const DefinitionSetUp& shown_definition(const WriteDialog& dialog)
{
    return *dialog.tabs->tab->definition;
}

uint16_t aimed_address(const WriteDialog& dialog)
{
    return static_cast<uint16_t>(gtk_spin_button_get_value_as_int(dialog.address_spin));
}

TabFormat tab_format(const DefinitionSetUp& definition)
{
    bool bits = is_bit_poll(definition.poll.fcode);
    return {bits ? ValueFormat::UINT : definition.format, definition.order};
}

// The registers of the point as last polled for the block now defined;
// none when they are not all polled.
std::vector<uint16_t> polled_registers(const WriteDialog& dialog, const Point& point)
{
    const DefinitionSetUp& definition = shown_definition(dialog);
    if (!dialog.tabs->grid_context.shown)
        return {};
    PublishedValues published = copy_values_for(*dialog.tabs->grid_context.shown, definition.key, definition.poll);
    unsigned width = point_width(point, tab_format(definition), is_bit_poll(definition.poll.fcode));
    uint16_t address = aimed_address(dialog);
    if (address < definition.poll.address || address - definition.poll.address + width > published.value_count)
        return {};
    auto first = published.values.begin() + (address - definition.poll.address);
    return {first, first + width};
}

void set_entry_text(WriteDialog& dialog, const std::string& text)
{
    gtk_editable_set_text(GTK_EDITABLE(dialog.value_entry), text.c_str());
    dialog.value_edited = false;
}

std::vector<std::string> bit_entries(const Point& point)
{
    std::vector<std::string> entries;
    for (unsigned bit = 0; bit < register_bits; ++bit) {
        auto name = point.bit_names.find(uint8_t(bit));
        entries.push_back("Bit " + std::to_string(bit) + (name == point.bit_names.end() ? "" : " " + name->second));
    }
    return entries;
}

void fill_drop_down(GtkDropDown* drop_down, const std::vector<std::string>& entries)
{
    std::vector<const char*> texts;
    for (const std::string& entry : entries)
        texts.push_back(entry.c_str());
    texts.push_back(nullptr);
    g_autoptr(GtkStringList) list = gtk_string_list_new(texts.data());
    gtk_drop_down_set_model(drop_down, G_LIST_MODEL(list));
}

void show_row(GtkWidget* caption, GtkWidget* widget, bool shown)
{
    if (caption)
        gtk_widget_set_visible(caption, shown);
    gtk_widget_set_visible(widget, shown);
}

unsigned chosen_bit(const WriteDialog& dialog)
{
    return std::min(gtk_drop_down_get_selected(dialog.bit_choice), register_bits - 1);
}

// One bit by function 22, or the whole register with the bit changed as
// last polled, when the user chose that.
void send_bit_write(WriteDialog& dialog, const Point& point, uint8_t slave, uint16_t address)
{
    std::optional<bool> on = parse_coil_value(gtk_editable_get_text(GTK_EDITABLE(dialog.value_entry)),
                                              ValueFormat::UINT);
    if (!on)
        return refuse_write(dialog, "A bit takes On or Off (or 1, 0)");
    unsigned bit = chosen_bit(dialog);
    if (!gtk_check_button_get_active(dialog.read_change_write))
        return submit_write(dialog, bit_write_request(slave, address, bit, *on));
    std::vector<uint16_t> polled = polled_registers(dialog, point);
    if (polled.empty())
        return refuse_write(dialog, "No polled value of the register to change");
    BitMask mask = bit_mask(uint8_t(bit), *on);
    WriteRequest request;
    request.slave = slave;
    request.fcode = 6;
    request.address = address;
    request.value = uint16_t((polled[0] & mask.and_mask) | (mask.or_mask & ~mask.and_mask));
    request.words[0] = request.value;
    submit_write(dialog, request);
}

}  // namespace

const Point* aimed_point(const WriteDialog& dialog)
{
    if (!dialog.tabs || !dialog.tabs->tab)
        return nullptr;
    const DefinitionSetUp& definition = shown_definition(dialog);
    auto found = definition.points.find(aimed_address(dialog));
    return found == definition.points.end() ? nullptr : &found->second;
}

void follow_aimed_point(WriteDialog& dialog)
{
    const Point* point = aimed_point(dialog);
    bool named = point && !point->value_names.empty() && point->kind != PointKind::bits;
    bool bits = point && point->kind == PointKind::bits;
    dialog.choice_names.clear();
    if (named) {
        for (const auto& [value, name] : point->value_names)
            dialog.choice_names.push_back(name);
        fill_drop_down(dialog.name_choice, dialog.choice_names);
        gtk_drop_down_set_selected(dialog.name_choice, GTK_INVALID_LIST_POSITION);
    }
    if (bits)
        fill_drop_down(dialog.bit_choice, bit_entries(*point));
    show_row(GTK_WIDGET(dialog.name_label), GTK_WIDGET(dialog.name_choice), named);
    show_row(GTK_WIDGET(dialog.bit_label), GTK_WIDGET(dialog.bit_choice), bits);
    show_row(nullptr, GTK_WIDGET(dialog.read_change_write), bits);
    if (!bits)
        gtk_check_button_set_active(dialog.read_change_write, FALSE);
    show_point_value(dialog);
}

bool show_point_value(WriteDialog& dialog)
{
    const Point* point = aimed_point(dialog);
    if (!point)
        return false;
    const DefinitionSetUp& definition = shown_definition(dialog);
    std::vector<uint16_t> polled = polled_registers(dialog, *point);
    if (point->kind == PointKind::bits) {
        bool on = !polled.empty() && (polled[0] >> chosen_bit(dialog) & 1u);
        set_entry_text(dialog, polled.empty() ? "" : on ? "On" : "Off");
        return true;
    }
    if (polled.empty()) {
        set_entry_text(dialog, "");
        return true;
    }
    bool bits = is_bit_poll(definition.poll.fcode);
    set_entry_text(dialog, read_point(*point, tab_format(definition), polled, bits).text);
    return true;
}

bool send_point_write(WriteDialog& dialog, uint8_t fcode)
{
    const Point* point = aimed_point(dialog);
    if (!point)
        return false;
    const DefinitionSetUp& definition = shown_definition(dialog);
    uint8_t slave = static_cast<uint8_t>(gtk_spin_button_get_value_as_int(dialog.slave_spin));
    uint16_t address = aimed_address(dialog);
    if (point->kind == PointKind::bits) {
        send_bit_write(dialog, *point, slave, address);
        return true;
    }
    bool coil = fcode == 5 || fcode == 15;
    PointEncoding encoding = encode_point(*point, tab_format(definition),
                                          gtk_editable_get_text(GTK_EDITABLE(dialog.value_entry)),
                                          is_bit_poll(definition.poll.fcode));
    if (!encoding.refusal.empty()) {
        refuse_write(dialog, encoding.refusal.c_str());
        return true;
    }
    unsigned width = unsigned(encoding.registers.size());
    if (width > 1 && fcode == 6) {
        std::string text = "A value of " + std::to_string(width) + " registers needs \"10 Write Multiple Registers\"";
        refuse_write(dialog, text.c_str());
        return true;
    }
    WriteRequest request;
    request.slave = slave;
    request.fcode = fcode;
    request.address = address;
    request.count = 1;
    request.width = uint8_t(coil ? 1 : width);
    std::copy(encoding.registers.begin(), encoding.registers.end(), request.words.begin());
    request.value = encoding.registers.front();
    submit_write(dialog, request);
    return true;
}
