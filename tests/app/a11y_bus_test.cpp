// An accessibility client walks the program's windows over the AT-SPI bus
// at start and after every dialog and alert has been shown and closed. GTK
// 4.8 answers an index past the visible windows with the last-made
// toplevel; were that a hidden dialog, the program would crash.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "desktop_session.hpp"

namespace {

// Every index from -1 to 10 on the application root: each call answered,
// the program alive after each.
void probe_root(DesktopSession& session, const std::string& moment)
{
    SCOPED_TRACE(moment);
    AccessibleRef root = application_root(session);
    for (int index = -1; index <= 10; ++index) {
        AccessibleRef child;
        std::string error;
        EXPECT_TRUE(child_at_index(session.bus(), root, index, child, error))
            << "index " << index << ": " << error;
        ASSERT_TRUE(session.running()) << "the program died at index " << index;
    }
}

// Opens a window with the action, probes, closes the newest window as a
// window manager would, and probes again.
void open_and_close(DesktopSession& session, const std::string& what, const std::function<void()>& open,
                    size_t shown = 2)
{
    SCOPED_TRACE(what);
    open();
    ASSERT_TRUE(session.wait_for_window_count(shown, 8000)) << what << " did not appear";
    probe_root(session, what + " shown");
    session.close_window(session.windows().back());
    ASSERT_TRUE(session.wait_for_window_count(shown - 1, 8000)) << what << " did not close";
    probe_root(session, what + " closed");
}

// The button itself, not the label inside it that speaks the same text:
// only the button acts on DoAction.
AccessibleRef find_button(DesktopSession& session, const AccessibleRef& root, const std::string& name)
{
    for (const AccessibleRef& object : descendants(session.bus(), root))
        if (accessible_name(session.bus(), object) == name && role_name(session.bus(), object) == "button")
            return object;
    return {};
}

}  // namespace

TEST(AccessibilityBus, WalkingTheWindowsNeverKillsTheProgram)
{
    SessionFolder folder;
    DesktopSession session(folder.path.string());
    std::string error;
    ASSERT_TRUE(session.ready(error)) << error;
    probe_root(session, "start");

    open_and_close(session, "Query Settings (F5)", [&] { session.keys({"F5"}); });
    open_and_close(session, "Connection (F3)", [&] { session.keys({"F3"}); });
    open_and_close(session, "Write Settings (F6)", [&] { session.keys({"F6"}); });
    open_and_close(session, "Shortcuts (Ctrl+?)", [&] { session.keys({"ctrl+shift+question"}); });
    open_and_close(session, "About (menu)", [&] {
        // The menu button sits at the start of the header bar; the last
        // entry of its menu is "_About".
        session.keys({"F10"});
        session.keys({"Up", "Return"});
    });
    open_and_close(session, "file chooser (Ctrl+S)", [&] { session.keys({"ctrl+s"}); });

    // The Write dialog's alert: "_Send" while not connected reports at once.
    session.keys({"F6"});
    ASSERT_TRUE(session.wait_for_window_count(2, 8000));
    open_and_close(session, "alert", [&] {
        AccessibleRef send = find_button(session, application_root(session), "Send");
        EXPECT_TRUE(do_default_action(session.bus(), send)) << "no Send button on the bus";
    }, 3);
    session.close_window(session.windows().back());
    ASSERT_TRUE(session.wait_for_window_count(1, 8000));
    probe_root(session, "everything closed");
}

TEST(AccessibilityBus, ControlsHaveNamesAScreenReaderSpeaksAndTheKeyboardReaches)
{
    SessionFolder folder;
    DesktopSession session(folder.path.string());
    std::string error;
    ASSERT_TRUE(session.ready(error)) << error;
    AccessibleRef window;
    ASSERT_TRUE(child_at_index(session.bus(), application_root(session), 0, window, error)) << error;

    std::map<std::string, std::string> roles;  // accessible name -> role name
    for (const AccessibleRef& object : descendants(session.bus(), window))
        roles.emplace(accessible_name(session.bus(), object), role_name(session.bus(), object));
    EXPECT_EQ(roles["Status"], "status");
    EXPECT_EQ(roles.count("Format:"), 1u) << "labels speak their text";
    EXPECT_NE(roles["Main Menu"].find("button"), std::string::npos) << roles["Main Menu"];
    for (const char* name : {"Connect", "Query Settings", "Write Settings", "Save configuration",
                             "Load configuration"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(roles[name].find("button"), std::string::npos) << roles[name];
        EXPECT_TRUE(tab_to(session, window, name));
    }
}
