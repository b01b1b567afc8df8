#include "app/about_text.hpp"

namespace {

struct Component {
    const char* name;
    const char* address;
    const char* licence;
};

// The libraries the program is built on, in the order the dialog names them.
constexpr Component components[] = {
    {"GTK 4", "https://www.gtk.org", "GNU LGPL v2.1"},
    {"libmodbus", "https://libmodbus.org", "GNU LGPL v2.1"},
};

constexpr const char* description_lines[] = {
    "Brenvaldor is a lightweight, user-friendly Modbus client for RTU and TCP connections.",
    "It allows you to scan register addresses and coils, write values, and monitor communication in real-time.",
    "Features:",
    "- Connection to Modbus devices via Serial (RTU) or TCP/IP.",
    "- Query settings for reading coils, input coils, holding registers, input registers.",
    "- Write single/multiple registers or bits.",
    "- Real-time data display.",
    "- Debug logging with TX/RX frames. Log to File",
    "- Save and load configurations.",
    "- Cross-platform GUI using GTK.",
    "",
    "",
    "Open-Source Components:",
};

}  // namespace

std::string build_about_comments()
{
    std::string text;
    const char* separator = "";
    for (const char* line : description_lines) {
        text += separator;
        text += line;
        separator = "\n";
    }
    for (const Component& component : components) {
        text += "\n\u2022 ";
        text += component.name;
        text += " \u2013 ";
        text += component.address;
        text += " \u2013 ";
        text += component.licence;
    }
    return text;
}
