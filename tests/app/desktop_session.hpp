#pragma once
// The real program on an X server of its own, as a user and an
// accessibility client meet it: key presses, window closes and calls on
// the accessibility bus.

#include <gio/gio.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

// Polls until done() holds; false when timeout_ms passed first.
template <typename Done>
bool wait_until(Done done, int timeout_ms, int step_ms = 50)
{
    gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    while (!done()) {
        if (g_get_monotonic_time() >= deadline)
            return false;
        g_usleep(gulong(step_ms) * 1000);
    }
    return true;
}

class DesktopSession {
public:
    // Starts Xvfb, a D-Bus session bus (which starts the AT-SPI bus on
    // demand) and the program in the folder given.
    explicit DesktopSession(const std::string& folder);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // True once the main window is mapped and the program is on the
    // accessibility bus; the reason is in error otherwise.
    bool ready(std::string& error);
    bool running();
    // The program's exit status, or -1 if it did not end in time.
    int wait_exit(int timeout_ms);

    // Presses keys with xdotool, in the syntax of "xdotool key".
    bool keys(const std::vector<std::string>& names);
    bool type_text(const std::string& text);
    // Mapped toplevel windows of the program, oldest first.
    std::vector<unsigned long> windows();
    unsigned long main_window() const { return main_window_; }
    // Asks the window to close as a window manager would (WM_DELETE_WINDOW).
    void close_window(unsigned long window);
    bool wait_for_window_count(size_t count, int timeout_ms);

    GDBusConnection* bus() const { return a11y_bus_; }
    const std::string& bus_name() const { return bus_name_; }

private:
    bool start_display();
    bool start_session_bus();
    void start_program(const std::string& folder);
    bool find_bus_name(std::string& error);
    gchar** child_environment();
    bool run_tool(std::vector<std::string> argv);

    pid_t xvfb_ = -1;
    pid_t session_bus_ = -1;
    std::string bus_address_;
    std::string runtime_dir_;  // private, so the accessibility bus socket is ours alone
    pid_t program_ = -1;
    int exit_status_ = -1;
    std::string display_name_;
    Display* display_ = nullptr;
    unsigned long main_window_ = 0;
    GDBusConnection* a11y_bus_ = nullptr;
    std::string bus_name_;
};

// An accessible object on the bus: the owner's name and the object path.
struct AccessibleRef {
    std::string name;
    std::string path;
};

// The application's root object; its children are the visible windows.
AccessibleRef application_root(const DesktopSession& session);

// org.a11y.atspi.Accessible calls; false/empty and error set on failure.
bool child_at_index(GDBusConnection* bus, const AccessibleRef& parent, int index, AccessibleRef& child,
                    std::string& error);
std::vector<AccessibleRef> children_of(GDBusConnection* bus, const AccessibleRef& parent);
std::string accessible_name(GDBusConnection* bus, const AccessibleRef& object);
std::string role_name(GDBusConnection* bus, const AccessibleRef& object);
// org.a11y.atspi.Action.DoAction(0): what a screen reader's "activate" does.
bool do_default_action(GDBusConnection* bus, const AccessibleRef& object);
// Every object below root, depth first (bounded, for a window of this program).
std::vector<AccessibleRef> descendants(GDBusConnection* bus, const AccessibleRef& root, size_t limit = 2000);
bool shows_text(GDBusConnection* bus, const AccessibleRef& window, const std::string& text);
// The name of the object with keyboard focus below root, or of its nearest
// named ancestor (a spin button's text field speaks for its spin button).
std::string focused_name(GDBusConnection* bus, const AccessibleRef& root);
// The focus once it has left before (keys travel over X, answers over the
// bus, so the program may answer before it has taken the key).
std::string focus_after_key(DesktopSession& session, const AccessibleRef& window, const std::string& before);
// Tabs through the window until the named control has the keyboard focus.
bool tab_to(DesktopSession& session, const AccessibleRef& window, const std::string& name);

// A working folder of the test's own, removed with its contents at the end.
struct SessionFolder {
    std::filesystem::path path;
    SessionFolder();
    ~SessionFolder();
    SessionFolder(const SessionFolder&) = delete;
    SessionFolder& operator=(const SessionFolder&) = delete;
};
