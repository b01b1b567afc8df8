#include "connection/serial_ports.hpp"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string_view>
#include <system_error>

#include "link/link_state.hpp"

namespace fs = std::filesystem;

namespace {

bool entry_exists(const fs::path& path)
{
    std::error_code error;
    // symlink_status: sysfs's "device" is a link, and a dangling one still
    // says that a driver once bound the port.
    return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

// Ports of the serial core (8250 ttyS*, ttyAMA*, ...) carry a "type"
// attribute: 0 is PORT_UNKNOWN, the legacy placeholders that the 8250
// driver registers whether or not a UART answers at their address.
// ttys of other drivers (usb-serial, cdc-acm, rfcomm) have no such
// attribute and count as soon as a device is behind them.
bool reports_real_uart(const fs::path& tty)
{
    fs::path type_file = tty / "type";
    if (!entry_exists(type_file))
        return true;
    std::ifstream in(type_file);
    long type = 0;
    if (!(in >> type))
        return false;
    return type != 0;
}

bool is_digit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// A run of digits or a run of other characters.
std::vector<std::string_view> split_runs(std::string_view text)
{
    std::vector<std::string_view> runs;
    size_t start = 0;
    for (size_t i = 1; i <= text.size(); ++i) {
        if (i == text.size() || is_digit(text[i]) != is_digit(text[start])) {
            runs.push_back(text.substr(start, i - start));
            start = i;
        }
    }
    return runs;
}

// Orders two runs: digit runs by value, other runs byte by byte; -1, 0 or 1.
int compare_runs(std::string_view a, std::string_view b)
{
    if (is_digit(a[0]) && is_digit(b[0])) {
        auto strip = [](std::string_view digits) {
            size_t first = digits.find_first_not_of('0');
            return first == std::string_view::npos ? std::string_view{} : digits.substr(first);
        };
        a = strip(a);
        b = strip(b);
        if (a.size() != b.size())
            return a.size() < b.size() ? -1 : 1;
    }
    int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

bool natural_less(const std::string& a, const std::string& b)
{
    std::vector<std::string_view> runs_a = split_runs(a), runs_b = split_runs(b);
    for (size_t i = 0; i < runs_a.size() && i < runs_b.size(); ++i)
        if (int order = compare_runs(runs_a[i], runs_b[i]); order != 0)
            return order < 0;
    if (runs_a.size() != runs_b.size())
        return runs_a.size() < runs_b.size();
    return a < b;  // equal by value ("ttyS01", "ttyS1"): still a total order
}

std::vector<std::string> list_serial_ports(const fs::path& root)
{
    std::vector<std::string> names;
    std::error_code error;
    // The error_code forms only: this runs on a detached thread, where an
    // exception from a tty vanishing mid-listing would end the program.
    fs::directory_iterator ttys(root / "sys/class/tty", error);
    for (; !error && ttys != fs::directory_iterator(); ttys.increment(error)) {
        fs::path tty = ttys->path();
        std::string name = tty.filename().string();
        if (!entry_exists(tty / "device") || !entry_exists(root / "dev" / name))
            continue;
        if (reports_real_uart(tty))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), natural_less);
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const std::string& name : names)
        paths.push_back("/dev/" + name);
    return paths;
}

std::string stored_port_name(const ConnectionSettings& settings)
{
    return settings.use_tcp ? std::string() : settings.device;
}

PortComboContent match_port_list(const std::vector<std::string>& ports, const std::string& stored)
{
    PortComboContent content;
    for (const std::string& name : ports) {
        if (name.empty())
            continue;
        if (content.active < 0 && !stored.empty() && name == stored)
            content.active = static_cast<int>(content.items.size());
        content.items.push_back(name);
    }
    if (stored.empty() && !content.items.empty())
        content.active = 0;
    if (content.active < 0)
        content.entry_text = stored;
    return content;
}

PortComboContent simple_port_fill(const std::vector<std::string>& ports, const std::string& stored)
{
    PortComboContent content;
    for (const std::string& name : ports)
        if (!name.empty())
            content.items.push_back(name);
    if (stored.empty() && !content.items.empty())
        content.active = 0;
    else
        content.entry_text = stored;
    return content;
}
