// The real program under its own X server, driven by key presses as a user
// would drive it, against a real Modbus server on 127.0.0.1. The
// accessibility bus only tells the test where the keyboard focus is and
// what the window shows.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "desktop_session.hpp"
#include "support/modbus_test_server.hpp"

namespace {

namespace fs = std::filesystem;

// The main window on the bus, or the visible window other than it.
AccessibleRef window_on_bus(DesktopSession& session, bool main)
{
    // The main window's title names the set-up file and marks its changes
    // ("*plant.dat — Brenvaldor"); it always ends in the program's name.
    for (const AccessibleRef& window : children_of(session.bus(), application_root(session)))
        if (std::string_view(accessible_name(session.bus(), window)).ends_with("Brenvaldor") == main)
            return window;
    return {};
}

bool wait_for_text(DesktopSession& session, const std::string& text, int timeout_ms)
{
    return wait_until([&] { return shows_text(session.bus(), window_on_bus(session, true), text); }, timeout_ms,
                      200);
}

}  // namespace

TEST(EndToEnd, ConnectPollChangeBlockSaveAndQuit)
{
    std::unique_ptr<ModbusTestServer> server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    for (uint16_t i = 0; i < 20; ++i) {
        server->set_holding(i, uint16_t(4100 + i));
        server->set_holding(uint16_t(300 + i), uint16_t(7300 + i));
    }
    SessionFolder folder;
    DesktopSession session(folder.path.string());
    std::string error;
    ASSERT_TRUE(session.ready(error)) << error;

    // F3: TCP/IP, address and port, Ok.
    session.keys({"F3"});
    ASSERT_TRUE(session.wait_for_window_count(2, 8000)) << "no Connection dialog";
    AccessibleRef connection = window_on_bus(session, false);
    // The two choices are one radio group: Tab reaches only its selected
    // member, and an arrow key moves the selection within the group.
    ASSERT_TRUE(tab_to(session, connection, "Serial Port"));
    session.keys({"Right"});
    ASSERT_EQ(focus_after_key(session, connection, "Serial Port"), "TCP/IP");
    ASSERT_TRUE(tab_to(session, connection, "IP"));
    session.type_text("127.0.0.1");
    ASSERT_TRUE(tab_to(session, connection, "PORT"));
    session.type_text(std::to_string(server->port()));
    ASSERT_TRUE(tab_to(session, connection, "Ok"));
    session.keys({"Return"});
    ASSERT_TRUE(session.wait_for_window_count(1, 8000)) << "the Connection dialog stayed open";

    // The first poll comes a second after connecting.
    EXPECT_TRUE(wait_for_text(session, "4100", 8000));
    EXPECT_TRUE(wait_for_text(session, "4119", 2000));
    EXPECT_GT(server->request_count(), 0u);

    // F5: the block moves to address 300; Enter in the address applies.
    session.keys({"F5"});
    ASSERT_TRUE(session.wait_for_window_count(2, 8000)) << "no Query Settings dialog";
    ASSERT_TRUE(tab_to(session, window_on_bus(session, false), "Address:"));
    session.keys({"ctrl+a"});
    session.type_text("300");
    session.keys({"Return"});
    ASSERT_TRUE(session.wait_for_window_count(1, 8000)) << "the Query Settings dialog stayed open";
    EXPECT_TRUE(wait_for_text(session, "7300", 8000));

    // Ctrl+S: the file chooser offers Brenvaldor.dat in the working folder.
    session.keys({"ctrl+s"});
    ASSERT_TRUE(session.wait_for_window_count(2, 8000)) << "no file chooser";
    session.keys({"Return"});
    ASSERT_TRUE(session.wait_for_window_count(1, 8000)) << "the file chooser stayed open";
    fs::path saved = folder.path / "Brenvaldor.dat";
    ASSERT_TRUE(wait_until([&] { return fs::exists(saved); }, 5000));
    std::ifstream in(saved);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("address=300"), std::string::npos) << text;

    // Closing the window ends the program at once, the worker still polling.
    gint64 before = g_get_monotonic_time();
    session.close_window(session.main_window());
    EXPECT_EQ(session.wait_exit(5000), 0);
    EXPECT_LT(g_get_monotonic_time() - before, 2 * G_USEC_PER_SEC);
}
