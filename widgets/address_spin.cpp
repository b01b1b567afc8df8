#include "widgets/address_spin.hpp"

#include <string>
#include <utility>

namespace {

AddressSpin& address_of(gpointer data)
{
    return *static_cast<AddressSpin*>(data);
}

// The spin's own reading of its text would take "40001" for 40001 and
// "0x10" for 0; this one reads the notation.
gint on_input(GtkSpinButton*, gdouble* value, gpointer data)
{
    AddressSpin& address = address_of(data);
    ParsedAddress parsed = typed_address(address);
    address.keep_text = !parsed.address;
    if (!parsed.address)
        return GTK_INPUT_ERROR;
    *value = *parsed.address;
    return TRUE;
}

gboolean on_output(GtkSpinButton* spin, gpointer data)
{
    AddressSpin& address = address_of(data);
    // The spin writes its old value back right after a refused reading;
    // that would hide from the user what was wrong.
    if (std::exchange(address.keep_text, false))
        return TRUE;
    auto value = uint16_t(gtk_spin_button_get_value_as_int(spin));
    std::string text = format_address(address.notation, address.table, value);
    if (text != gtk_editable_get_text(GTK_EDITABLE(spin)))
        gtk_editable_set_text(GTK_EDITABLE(spin), text.c_str());
    return TRUE;
}

}  // namespace

void make_address_spin(AddressSpin& address)
{
    address.spin = GTK_SPIN_BUTTON(gtk_spin_button_new_with_range(0, 65535, 1));
    // "0x0000" and "465536" are wider than the spin's own guess from 65535.
    gtk_editable_set_width_chars(GTK_EDITABLE(address.spin), 7);
    // A spin made with a range takes digits only; "0x1F" must get through.
    gtk_spin_button_set_numeric(address.spin, FALSE);
    // Text that is no address leaves the value as it was, rather than
    // whatever the failed reading left.
    gtk_spin_button_set_update_policy(address.spin, GTK_UPDATE_IF_VALID);
    g_signal_connect(address.spin, "input", G_CALLBACK(on_input), &address);
    g_signal_connect(address.spin, "output", G_CALLBACK(on_output), &address);
    on_output(address.spin, &address);
}

void show_address_in(AddressSpin& address, AddressNotation notation, ModbusTable table)
{
    gtk_spin_button_update(address.spin);
    address.keep_text = false;  // a refused text goes: the address is written anew
    address.notation = notation;
    address.table = table;
    on_output(address.spin, &address);
}

ParsedAddress typed_address(const AddressSpin& address)
{
    return parse_address(address.notation, address.table, gtk_editable_get_text(GTK_EDITABLE(address.spin)));
}
