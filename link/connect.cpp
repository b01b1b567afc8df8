#include "link/connect.hpp"

#include "connection/connection_dialog.hpp"

void connect_link(ConnectionDialog&) {}
void disconnect_link() {}

void toggle_link(ConnectionDialog& dialog)
{
    open_connection_dialog(dialog);
}
