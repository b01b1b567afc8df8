#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "connection/fake_port_tree.hpp"
#include "connection/serial_ports.hpp"
#include "connection/tcp_port.hpp"

using Names = std::vector<std::string>;

TEST(SerialPorts, ListsRealDevicesInNaturalOrder)
{
    FakePortTree tree({"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyUSB0", "rfcomm0", "ttyAMA0"});
    tree.add_port("ttyS10", "4");
    tree.add_port("ttyS2", "4");
    EXPECT_EQ(list_serial_ports(tree.root()),
              (Names{"/dev/rfcomm0", "/dev/ttyACM0", "/dev/ttyAMA0", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0",
                     "/dev/ttyUSB2", "/dev/ttyUSB10"}));
}

TEST(SerialPorts, LeavesOutVirtualTtysDeadLegacyPortsAndMissingNodes)
{
    FakePortTree tree({"ttyACM1"});
    tree.add_port("ttyS0", "4");  // a 16550A
    for (int n = 1; n < 32; ++n)
        tree.add_port("ttyS" + std::to_string(n), "0");  // placeholders of the 8250 driver
    tree.add_port("ttyS40", "garbage");                  // unreadable type
    for (const char* console : {"tty0", "ptmx"}) {       // no device behind them
        tree.add_tty(console);
        tree.add_node(console);
    }
    tree.add_port("ttyUSB3");  // unplugged: sysfs lags, the node is gone
    std::filesystem::remove(tree.root() + "/dev/ttyUSB3");

    EXPECT_EQ(list_serial_ports(tree.root()), (Names{"/dev/ttyACM1", "/dev/ttyS0"}));
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

TEST(PortMatching, OnlyAnExactStoredNameOrNoNameMakesAnItemActive)
{
    const Names ports{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"};
    struct Case {
        Names ports;
        std::string stored;
        Names items;
        int active;  // the entry keeps the stored text exactly when this is -1
    };
    const Case cases[] = {
        {ports, "/dev/ttyUSB0", ports, 1},
        // differs only in case, prefix, length or space: a typed name
        {ports, "/DEV/TTYUSB0", ports, -1},
        {ports, "/dev/ttyUSB", ports, -1},
        {ports, "ttyUSB0", ports, -1},
        {ports, "/dev/ttyUSB0 ", ports, -1},
        {ports, "/dev/pts/7", ports, -1},
        {{"COM7", "/dev/com7x"}, "com7", {"COM7", "/dev/com7x"}, -1},
        {{"", "/dev/ttyS0", "/dev/ttyS1"}, "", {"/dev/ttyS0", "/dev/ttyS1"}, 0},
        {{}, "/dev/ttyUSB0", {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        PortComboContent content = match_port_list(c.ports, c.stored);
        EXPECT_EQ(content.items, c.items);
        EXPECT_EQ(content.active, c.active);
        EXPECT_EQ(content.entry_text, c.active < 0 ? c.stored : "");
    }
}

TEST(TcpPort, ReadsTheTextForgivinglyAndRefusesOutOfRange)
{
    struct Case {
        const char* text;
        std::optional<uint32_t> port;
    };
    // The dialog's own test covers "", "502abc", "  502", "-1", "70000" and "99999999999".
    const Case cases[] = {{"+502", 502u},  {"abc", 0u},     {"-", 0u},           {"-0", 0u},
                          {"0", 0u},       {"65535", 65535u}, {"\t8080 ", 8080u}, {"+-5", 0u},
                          {"65536", std::nullopt}, {"-99999999999", std::nullopt}, {"4294967297", std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(parse_tcp_port(c.text), c.port) << '"' << c.text << '"';
}
