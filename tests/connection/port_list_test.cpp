#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/application.hpp"
#include "connection/connection_dialog.hpp"
#include "connection/dialog_helpers.hpp"
#include "connection/port_list.hpp"
#include "connection/connect.hpp"
#include "link/link_state.hpp"
#include "support/gtk_test_env.hpp"

namespace {


const Names listed{"/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/ttyUSB10"};

// The dialog of the one app, looking at a fake tree that holds the listed ports.
ConnectionDialog& dialog_on(const FakePortTree& ports)
{
    ConnectionDialog& d = activate_app().connection;
    d.port_root = ports.root();
    return d;
}

void store_device(const char* device, bool use_tcp = false)
{
    ConnectionSettings settings;
    settings.device = device;
    settings.use_tcp = use_tcp;
    store_connection_settings(settings);
}

}  // namespace

TEST(PortList, EveryOpeningListsTheDevicesAndMatchesTheStoredName)
{
    REQUIRE_DISPLAY();
    FakePortTree ports({"ttyUSB10", "ttyS1", "ttyUSB2", "ttyACM0"});
    ConnectionDialog& d = dialog_on(ports);
    struct Case {
        const char* device;
        bool use_tcp;
        int active;
        const char* entry;
    };
    const Case cases[] = {
        {"", false, 0, "/dev/ttyACM0"},
        {"/dev/ttyUSB2", false, 2, "/dev/ttyUSB2"},
        {"/dev/pts/4", false, -1, "/dev/pts/4"},     // typed, not listed: kept, nothing active
        {"127.0.0.1", true, 0, "/dev/ttyACM0"},      // TCP: device is an address
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        store_device(c.device, c.use_tcp);
        gtk_combo_box_text_remove_all(d.port_combo);
        ASSERT_TRUE(open_and_wait_for_ports(d, listed.size()));
        EXPECT_EQ(combo_items(d), listed);
        EXPECT_EQ(combo_active(d), c.active);
        EXPECT_EQ(combo_entry_text(d), c.entry);
    }
}

TEST(PortList, OverlappingRefreshesEndWithTheLastDelivery)
{
    REQUIRE_DISPLAY();
    FakePortTree ports({"ttyUSB10", "ttyS1", "ttyUSB2", "ttyACM0"});
    ConnectionDialog& d = dialog_on(ports);
    store_device("/dev/ttyUSB10");
    for (int i = 0; i < 5; ++i)
        open_connection_dialog(d);
    ASSERT_TRUE(run_until([&] { return combo_items(d).size() == listed.size(); }, 5000));
    run_for(300);  // let every late delivery arrive: none may add items
    EXPECT_EQ(combo_items(d), listed);
    EXPECT_EQ(combo_active(d), 3);

    // Two deliveries of different lists: the second decides what is shown.
    fill_port_combo(new PortListJob{&d, ports.root(), {"/dev/ttyS1", "/dev/ttyUSB10"}});
    fill_port_combo(new PortListJob{&d, ports.root(), {"/dev/ttyACM0"}});
    EXPECT_EQ(combo_items(d), (Names{"/dev/ttyACM0"}));
    EXPECT_EQ(combo_active(d), -1);
    EXPECT_EQ(combo_entry_text(d), "/dev/ttyUSB10");
}

TEST(PortList, ConfirmingBeforeTheListArrivesUsesTheEntryText)
{
    REQUIRE_DISPLAY();
    FakePortTree ports({"ttyUSB10", "ttyS1", "ttyUSB2", "ttyACM0"});
    ConnectionDialog& d = dialog_on(ports);
    open_connection_dialog(d);  // no main-loop turn: the list has not arrived
    type_port_name(d, "/dev/ttyUSB2");
    click(d.ok_button);
    EXPECT_EQ(copy_connection_settings().device, "/dev/ttyUSB2");
    ASSERT_TRUE(run_until([&] { return combo_items(d).size() == listed.size(); }, 5000));
    EXPECT_EQ(combo_active(d), 2);
    disconnect_link();
}

TEST(PortList, FillsAtOnceByTheSimpleRuleWhenNoThreadCanStart)
{
    REQUIRE_DISPLAY();
    FakePortTree ports({"ttyUSB10", "ttyS1", "ttyUSB2", "ttyACM0"});
    ConnectionDialog& d = dialog_on(ports);
    // A listed stored name stays text only; with no name the first is chosen.
    for (const char* stored : {"/dev/ttyS1", ""}) {
        SCOPED_TRACE(stored);
        store_device(stored);
        gtk_combo_box_text_remove_all(d.port_combo);
        refresh_port_list(d, [](void (*)(PortListJob*), PortListJob*) { return false; });  // fills at once
        EXPECT_EQ(combo_items(d), listed);
        EXPECT_EQ(combo_active(d), *stored ? -1 : 0);
        EXPECT_EQ(combo_entry_text(d), *stored ? stored : "/dev/ttyACM0");
    }
}
