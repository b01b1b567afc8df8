#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/application.hpp"
#include "connection/connection_dialog.hpp"
#include "connection/dialog_helpers.hpp"
#include "connection/port_list.hpp"
#include "link/connect.hpp"
#include "link/link_state.hpp"
#include "support/gtk_test_env.hpp"

namespace {

using Names = std::vector<std::string>;

const Names fake_names{"ttyUSB10", "ttyS1", "ttyUSB2", "ttyACM0"};
const Names listed{"/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/ttyUSB10"};

void store_device(const char* device, bool use_tcp)
{
    ConnectionSettings settings;
    settings.device = device;
    settings.use_tcp = use_tcp;
    store_connection_settings(settings);
}

bool refuse_thread(void (*)(PortListJob*), PortListJob*)
{
    return false;
}

}  // namespace

TEST(PortList, EveryOpeningListsTheDevicesAndMatchesTheStoredName)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    FakePortTree ports(fake_names);
    d.port_root = ports.root();

    ASSERT_TRUE(open_and_wait_for_ports(d, listed.size()));
    EXPECT_EQ(combo_items(d), listed);
    EXPECT_EQ(combo_active(d), 0);

    store_device("/dev/ttyUSB2", false);
    ASSERT_TRUE(open_and_wait_for_ports(d, listed.size()));
    EXPECT_EQ(combo_active(d), 2);
    EXPECT_EQ(combo_entry_text(d), "/dev/ttyUSB2");

    // given a typed pty that is not listed, expect it kept with nothing active
    store_device("/dev/pts/4", false);
    ASSERT_TRUE(open_and_wait_for_ports(d, listed.size()));
    EXPECT_EQ(combo_items(d), listed);
    EXPECT_EQ(combo_active(d), -1);
    EXPECT_EQ(combo_entry_text(d), "/dev/pts/4");

    // TCP mode: device is an address, so the first port is chosen again
    store_device("127.0.0.1", true);
    ASSERT_TRUE(open_and_wait_for_ports(d, listed.size()));
    EXPECT_EQ(combo_active(d), 0);
    EXPECT_EQ(combo_entry_text(d), "/dev/ttyACM0");
}

TEST(PortList, MatchingIsCaseSensitive)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    FakePortTree ports({"ttyS7", "COM7"});
    d.port_root = ports.root();
    store_device("com7", false);
    ASSERT_TRUE(open_and_wait_for_ports(d, 2));
    EXPECT_EQ(combo_active(d), -1);
    EXPECT_EQ(combo_entry_text(d), "com7");
}

TEST(PortList, OverlappingRefreshesEndWithTheLastDelivery)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    FakePortTree ports(fake_names);
    d.port_root = ports.root();
    store_device("/dev/ttyUSB10", false);
    for (int i = 0; i < 5; ++i)
        open_connection_dialog(d);
    ASSERT_TRUE(run_until([&] { return combo_items(d).size() == listed.size(); }, 5000));
    run_for(300);  // let every late delivery arrive: none may add items
    EXPECT_EQ(combo_items(d), listed);
    EXPECT_EQ(combo_active(d), 3);

    // Two deliveries of different lists: the second decides what is shown.
    PortListJob* first = new PortListJob{&d, ports.root(), {"/dev/ttyS1", "/dev/ttyUSB10"}};
    PortListJob* second = new PortListJob{&d, ports.root(), {"/dev/ttyACM0"}};
    fill_port_combo(first);
    fill_port_combo(second);
    EXPECT_EQ(combo_items(d), (Names{"/dev/ttyACM0"}));
    EXPECT_EQ(combo_active(d), -1);
    EXPECT_EQ(combo_entry_text(d), "/dev/ttyUSB10");
}

TEST(PortList, ConfirmingBeforeTheListArrivesUsesTheEntryText)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    FakePortTree ports(fake_names);
    d.port_root = ports.root();
    open_connection_dialog(d);  // no main-loop turn: the list has not arrived
    gtk_editable_set_text(GTK_EDITABLE(gtk_combo_box_get_child(GTK_COMBO_BOX(d.port_combo))), "/dev/ttyUSB2");
    click(d.ok_button);
    EXPECT_EQ(copy_connection_settings().device, "/dev/ttyUSB2");
    ASSERT_TRUE(run_until([&] { return combo_items(d).size() == listed.size(); }, 5000));
    EXPECT_EQ(combo_active(d), 2);
    disconnect_link();
}

TEST(PortList, FillsAtOnceWhenNoThreadCanStart)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    FakePortTree ports(fake_names);
    d.port_root = ports.root();
    store_device("/dev/ttyS1", false);
    gtk_combo_box_text_remove_all(d.port_combo);
    refresh_port_list(d, refuse_thread);
    // filled before any main-loop turn, by the simple rule: text, no active item
    EXPECT_EQ(combo_items(d), listed);
    EXPECT_EQ(combo_active(d), -1);
    EXPECT_EQ(combo_entry_text(d), "/dev/ttyS1");

    store_device("", false);
    refresh_port_list(d, refuse_thread);
    EXPECT_EQ(combo_items(d), listed);
    EXPECT_EQ(combo_active(d), 0);
}

TEST(PortList, NoPortsLeaveTheStoredNameInTheEntry)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    FakePortTree ports({});
    d.port_root = ports.root();
    store_device("/dev/pts/3", false);
    open_connection_dialog(d);
    ASSERT_TRUE(run_until([&] { return combo_entry_text(d) == "/dev/pts/3"; }, 5000));
    EXPECT_TRUE(combo_items(d).empty());
}
