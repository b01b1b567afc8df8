#include "widgets/address_spin.hpp"

#include <optional>
#include <string>
#include <utility>

namespace {

constexpr const char* state_key = "brenvaldor-address-spin";

// Wide enough for "465536" and "0xFFFF" with room for the cursor.
constexpr int address_width_chars = 7;

struct AddressSpin {
    AddressNotation notation = AddressNotation::protocol;
    ModbusTable table = ModbusTable::holding_registers;
    // Set by a refused text: the output that follows the input at once
    // leaves the text as typed.
    bool keep_text = false;
};

AddressSpin* state_of(GtkSpinButton* spin)
{
    return static_cast<AddressSpin*>(g_object_get_data(G_OBJECT(spin), state_key));
}

ParsedAddress read_text(GtkSpinButton* spin, const AddressSpin& state)
{
    return parse_address(state.notation, state.table, gtk_editable_get_text(GTK_EDITABLE(spin)));
}

// The spin button reads its text on Enter, on a loss of focus and before
// a step. A refused text keeps the value; the output that GTK runs right
// after would write the old value over what the user typed.
gint on_input(GtkSpinButton* spin, double* value, gpointer data)
{
    AddressSpin& state = *static_cast<AddressSpin*>(data);
    ParsedAddress parsed = read_text(spin, state);
    state.keep_text = !parsed.address;
    *value = parsed.address ? double(*parsed.address) : gtk_spin_button_get_value(spin);
    return TRUE;
}

gboolean on_output(GtkSpinButton* spin, gpointer data)
{
    AddressSpin& state = *static_cast<AddressSpin*>(data);
    if (std::exchange(state.keep_text, false))
        return TRUE;
    auto address = uint16_t(gtk_spin_button_get_value_as_int(spin));
    std::string text = format_address(state.notation, state.table, address);
    // An equal text set again would move the cursor to the end.
    if (text != gtk_editable_get_text(GTK_EDITABLE(spin)))
        gtk_editable_set_text(GTK_EDITABLE(spin), text.c_str());
    return TRUE;
}

AddressSpin& take_over(GtkSpinButton* spin)
{
    auto* state = new AddressSpin;
    g_object_set_data_full(G_OBJECT(spin), state_key, state,
                           [](gpointer data) { delete static_cast<AddressSpin*>(data); });
    // Letters belong to an address: "0x1F", and Modicon's digits as typed.
    gtk_spin_button_set_numeric(spin, FALSE);
    gtk_editable_set_width_chars(GTK_EDITABLE(spin), address_width_chars);
    g_signal_connect(spin, "input", G_CALLBACK(on_input), state);
    g_signal_connect(spin, "output", G_CALLBACK(on_output), state);
    return *state;
}

}  // namespace

// gtk_spin_button_set_value runs the output even for the value it holds,
// so each value set below shows in the notation.
void set_address_spin_notation(GtkSpinButton* spin, AddressNotation notation, ModbusTable table)
{
    AddressSpin* state = state_of(spin);
    bool first = !state;
    if (first)
        state = &take_over(spin);
    // What the text says in the former notation; a text it refuses stays.
    std::optional<uint16_t> typed = first ? std::nullopt : read_text(spin, *state).address;
    state->notation = notation;
    state->table = table;
    if (first || typed)
        gtk_spin_button_set_value(spin, typed ? double(*typed) : gtk_spin_button_get_value(spin));
}

ParsedAddress take_address_spin(GtkSpinButton* spin)
{
    AddressSpin* state = state_of(spin);
    if (!state)
        return {uint16_t(gtk_spin_button_get_value_as_int(spin)), {}};
    ParsedAddress parsed = read_text(spin, *state);
    if (parsed.address)
        gtk_spin_button_set_value(spin, *parsed.address);
    return parsed;
}
