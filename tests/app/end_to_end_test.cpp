// The real program under its own X server, driven by key presses as a user
// would drive it, against a real Modbus server on 127.0.0.1. The
// accessibility bus only tells the test where the keyboard focus is and
// what the window shows.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "desktop_session.hpp"
#include "support/modbus_test_server.hpp"

namespace {

namespace fs = std::filesystem;
// The visible window other than the main window, on the bus.
AccessibleRef dialog_window(DesktopSession& session)
{
    for (const AccessibleRef& window : children_of(session.bus(), application_root(session)))
        if (accessible_name(session.bus(), window) != "Brenvaldor")
            return window;
    return {};
}

AccessibleRef main_window(DesktopSession& session)
{
    for (const AccessibleRef& window : children_of(session.bus(), application_root(session)))
        if (accessible_name(session.bus(), window) == "Brenvaldor")
            return window;
    return {};
}

// The keyboard focus after a key press. Keys travel over X and the answer
// over the accessibility bus, so the program may answer before it has
// taken the key: the change is waited for.
std::string focus_after_key(DesktopSession& session, const AccessibleRef& window, const std::string& before)
{
    gint64 deadline = g_get_monotonic_time() + G_USEC_PER_SEC;
    std::string now = focused_name(session.bus(), window);
    while (now == before && g_get_monotonic_time() < deadline) {
        g_usleep(20000);
        now = focused_name(session.bus(), window);
    }
    return now;
}

// Tab through the window until the named control has the keyboard focus.
bool tab_to(DesktopSession& session, const AccessibleRef& window, const std::string& name)
{
    std::string focus = focused_name(session.bus(), window);
    for (int presses = 0; presses < 30 && focus != name; ++presses) {
        session.keys({"Tab"});
        focus = focus_after_key(session, window, focus);
    }
    return focus == name;
}

bool shows_text(DesktopSession& session, const AccessibleRef& window, const std::string& text)
{
    for (const AccessibleRef& object : descendants(session.bus(), window))
        if (accessible_name(session.bus(), object) == text)
            return true;
    return false;
}

bool wait_for_text(DesktopSession& session, const std::string& text, int timeout_ms)
{
    gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    while (g_get_monotonic_time() < deadline) {
        if (shows_text(session, main_window(session), text))
            return true;
        g_usleep(200000);
    }
    return false;
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
    TempFolder folder;
    DesktopSession session(folder.path.string(), true);
    std::string error;
    ASSERT_TRUE(session.ready(error)) << error;

    // F3: TCP/IP, address and port, Ok.
    session.keys({"F3"});
    ASSERT_TRUE(session.wait_for_window_count(2, 8000)) << "no Connection dialog";
    AccessibleRef connection = dialog_window(session);
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
    ASSERT_TRUE(tab_to(session, dialog_window(session), "Address:"));
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
    for (int i = 0; i < 50 && !fs::exists(saved); ++i)
        g_usleep(100000);
    ASSERT_TRUE(fs::exists(saved));
    std::ifstream in(saved);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("address=300"), std::string::npos) << text;

    // Closing the window ends the program at once, the worker still polling.
    gint64 before = g_get_monotonic_time();
    session.close_window(session.main_window());
    EXPECT_EQ(session.wait_exit(5000), 0);
    EXPECT_LT(g_get_monotonic_time() - before, 2 * G_USEC_PER_SEC);
}
