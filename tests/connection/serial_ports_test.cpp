#include <gtest/gtest.h>

#include <glib.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <fstream>
#include <string>
#include <vector>

#include "connection/serial_ports.hpp"
#include "connection/tcp_port.hpp"
#include "link/link_state.hpp"

namespace fs = std::filesystem;

namespace {

// A fake root with the parts of /sys and /dev that the port list reads.
class FakeTree {
public:
    FakeTree()
    {
        g_autofree char* made = g_dir_make_tmp("ports-XXXXXX", nullptr);
        root_ = made;
        fs::create_directories(root_ / "sys/class/tty");
        fs::create_directories(root_ / "sys/devices/platform/serial8250");
        fs::create_directories(root_ / "dev");
    }
    ~FakeTree() { fs::remove_all(root_); }

    // A tty with a device link and a node in /dev; uart_type < 0: no "type" attribute.
    void add_port(const std::string& name, int uart_type = -1)
    {
        fs::path tty = add_tty(name);
        fs::create_directory_symlink(root_ / "sys/devices/platform/serial8250", tty / "device");
        if (uart_type >= 0)
            std::ofstream(tty / "type") << uart_type << "\n";
        add_node(name);
    }
    fs::path add_tty(const std::string& name)
    {
        fs::path tty = root_ / "sys/class/tty" / name;
        fs::create_directories(tty);
        return tty;
    }
    void add_node(const std::string& name) { std::ofstream(root_ / "dev" / name) << ""; }
    const fs::path& root() const { return root_; }

private:
    fs::path root_;
};

using Names = std::vector<std::string>;

}  // namespace

TEST(SerialPorts, ListsRealDevicesInNaturalOrder)
{
    FakeTree tree;
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyUSB0", "rfcomm0", "ttyAMA0"})
        tree.add_port(name);
    tree.add_port("ttyS10", 4);
    tree.add_port("ttyS2", 4);
    EXPECT_EQ(list_serial_ports(tree.root()),
              (Names{"/dev/rfcomm0", "/dev/ttyACM0", "/dev/ttyAMA0", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0",
                     "/dev/ttyUSB2", "/dev/ttyUSB10"}));
}

TEST(SerialPorts, LeavesOutVirtualTtysDeadLegacyPortsAndMissingNodes)
{
    FakeTree tree;
    tree.add_port("ttyS0", 4);  // a 16550A
    for (int n = 1; n < 32; ++n)
        tree.add_port("ttyS" + std::to_string(n), 0);  // placeholders of the 8250 driver
    tree.add_tty("tty0");                              // virtual consoles: no device behind them
    tree.add_node("tty0");
    tree.add_tty("ptmx");
    tree.add_node("ptmx");
    fs::path gone = tree.add_tty("ttyUSB3");  // unplugged: sysfs lags, the node is gone
    fs::create_directory_symlink(tree.root() / "sys/devices/platform/serial8250", gone / "device");
    tree.add_port("ttyACM1");
    std::ofstream(tree.add_tty("ttyS40") / "type") << "garbage";  // unreadable type
    fs::create_directory_symlink(tree.root() / "sys/devices/platform/serial8250", tree.root() / "sys/class/tty/ttyS40/device");
    tree.add_node("ttyS40");

    EXPECT_EQ(list_serial_ports(tree.root()), (Names{"/dev/ttyACM1", "/dev/ttyS0"}));
}

TEST(SerialPorts, MissingSysfsGivesAnEmptyList)
{
    EXPECT_TRUE(list_serial_ports("/nonexistent-root-for-ports").empty());
}

TEST(SerialPorts, NaturalOrderComparesDigitRunsByValue)
{
    Names names{"ttyS10", "ttyS2", "ttyS1", "ttyUSB1", "ttyUSB0", "ttyS01", "ttyACM9", "ttyACM10", "tty", ""};
    std::sort(names.begin(), names.end(), natural_less);
    EXPECT_EQ(names, (Names{"", "tty", "ttyACM9", "ttyACM10", "ttyS01", "ttyS1", "ttyS2", "ttyS10", "ttyUSB0",
                            "ttyUSB1"}));
    EXPECT_FALSE(natural_less("ttyS2", "ttyS2"));
}

TEST(PortMatching, ExactMatchBecomesActive)
{
    Names ports{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"};
    PortComboContent content = match_port_list(ports, "/dev/ttyUSB0");
    EXPECT_EQ(content.items, ports);
    EXPECT_EQ(content.active, 1);
}

TEST(PortMatching, TypedNameStaysInTheEntryWithNoItemActive)
{
    Names ports{"/dev/ttyS0", "/dev/ttyUSB0"};
    // given a stored name that differs from a listed one only in case or
    // prefix, expect no selection and the stored text kept
    for (const char* stored : {"/dev/pts/7", "/DEV/TTYUSB0", "/dev/ttyUSB", "ttyUSB0", "/dev/ttyUSB0 "}) {
        PortComboContent content = match_port_list(ports, stored);
        EXPECT_EQ(content.items, ports) << stored;
        EXPECT_EQ(content.active, -1) << stored;
        EXPECT_EQ(content.entry_text, stored);
    }
}

TEST(PortMatching, Com7SelectsNoDevicePathOrUpperCaseName)
{
    Names ports{"COM7", "/dev/com7x", "/dev/ttyS7"};
    PortComboContent content = match_port_list(ports, "com7");
    EXPECT_EQ(content.active, -1);
    EXPECT_EQ(content.entry_text, "com7");
}

TEST(PortMatching, EmptyStoredNameSelectsTheFirstAndSkipsEmptyNames)
{
    PortComboContent content = match_port_list({"", "/dev/ttyS0", "/dev/ttyS1"}, "");
    EXPECT_EQ(content.items, (Names{"/dev/ttyS0", "/dev/ttyS1"}));
    EXPECT_EQ(content.active, 0);

    PortComboContent none = match_port_list({}, "/dev/ttyUSB0");
    EXPECT_TRUE(none.items.empty());
    EXPECT_EQ(none.active, -1);
    EXPECT_EQ(none.entry_text, "/dev/ttyUSB0");
}

TEST(PortMatching, TcpModeStoresNoPortName)
{
    ConnectionSettings settings;
    settings.device = "127.0.0.1";
    settings.use_tcp = true;
    EXPECT_EQ(stored_port_name(settings), "");
    EXPECT_EQ(match_port_list({"/dev/ttyS0", "/dev/ttyS1"}, stored_port_name(settings)).active, 0);
    settings.use_tcp = false;
    settings.device = "/dev/ttyS1";
    EXPECT_EQ(stored_port_name(settings), "/dev/ttyS1");
}

TEST(PortMatching, SimpleRuleSelectsOnlyWithoutAStoredName)
{
    Names ports{"/dev/ttyS0", "/dev/ttyS1"};
    PortComboContent fresh = simple_port_fill(ports, "");
    EXPECT_EQ(fresh.active, 0);
    // the simple rule leaves the text in the entry, even for a listed name
    PortComboContent stored = simple_port_fill(ports, "/dev/ttyS1");
    EXPECT_EQ(stored.items, ports);
    EXPECT_EQ(stored.active, -1);
    EXPECT_EQ(stored.entry_text, "/dev/ttyS1");
}

TEST(TcpPort, ReadsTheTextForgivinglyAndRefusesOutOfRange)
{
    struct Case {
        const char* text;
        std::optional<uint32_t> port;
    };
    const Case cases[] = {
        {"", 0u},           {"502abc", 502u},    {"  502", 502u}, {"+502", 502u},     {"abc", 0u},
        {"-", 0u},          {"-0", 0u},          {"0", 0u},       {"65535", 65535u},  {"\t8080 ", 8080u},
        {"-1", std::nullopt}, {"70000", std::nullopt}, {"65536", std::nullopt}, {"99999999999", std::nullopt},
        {"-99999999999", std::nullopt}, {"4294967297", std::nullopt}, {"+-5", 0u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_tcp_port(c.text), c.port) << '"' << c.text << '"';
}
