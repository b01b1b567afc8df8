#pragma once
// The serial device names the Connection dialog offers, and the rules by
// which a list of them is put into the port combo box. No GTK here.

#include <filesystem>
#include <string>
#include <vector>

struct ConnectionSettings;

// The machine's serial devices as the paths a user would type ("/dev/ttyUSB0"),
// in natural order. root is the file system to look in ("/" on a real
// machine): a tty counts when root/sys/class/tty/<name> has a device behind
// it, its node root/dev/<name> exists, and, for a port of the kernel's serial
// core, the driver reports a real UART. Touches nothing else; any thread.
std::vector<std::string> list_serial_ports(const std::filesystem::path& root);

// Orders texts with their digit runs compared as numbers: ttyS2 before ttyS10.
bool natural_less(const std::string& a, const std::string& b);

// The name a fresh list is matched against: the serial device, or the empty
// text while TCP is chosen (device then holds an address).
std::string stored_port_name(const ConnectionSettings& settings);

// What the port combo box shows after a fill.
struct PortComboContent {
    std::vector<std::string> items;
    int active = -1;          // index into items; -1: no active item
    std::string entry_text;   // put into the entry when no item is active
};

// Fill on delivery of a refreshed list: the item equal to the stored name
// (exactly, case-sensitive) becomes active; with no stored name the first.
PortComboContent match_port_list(const std::vector<std::string>& ports, const std::string& stored);
// Fill when the dialog is built: the first item only when nothing is stored.
PortComboContent simple_port_fill(const std::vector<std::string>& ports, const std::string& stored);
