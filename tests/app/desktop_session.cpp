#include "desktop_session.hpp"

#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr int call_timeout_ms = 5000;
const std::string dbus = "org.freedesktop.DBus";
const std::string root_path = "/org/a11y/atspi/accessible/root";

GVariant* call(GDBusConnection* bus, const AccessibleRef& object, const char* interface, const char* method,
               GVariant* args, const char* reply, std::string* error = nullptr)
{
    g_autoptr(GError) failure = nullptr;
    GVariant* result = g_dbus_connection_call_sync(bus, object.name.c_str(), object.path.c_str(), interface, method,
                                                   args, G_VARIANT_TYPE(reply), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                                   call_timeout_ms, nullptr, &failure);
    if (!result && error)
        *error = failure ? failure->message : "no reply";
    return result;
}

// A property of org.a11y.atspi.Accessible, unboxed; null when unanswered.
GVariant* property(GDBusConnection* bus, const AccessibleRef& object, const char* which)
{
    g_autoptr(GVariant) reply = call(bus, object, "org.freedesktop.DBus.Properties", "Get",
                                     g_variant_new("(ss)", "org.a11y.atspi.Accessible", which), "(v)");
    GVariant* value = nullptr;
    if (reply)
        g_variant_get(reply, "(v)", &value);
    return value;
}

// The process behind a name on the bus; 0 when unknown.
pid_t owner_pid(GDBusConnection* bus, const char* name)
{
    g_autoptr(GVariant) reply = call(bus, {dbus, "/org/freedesktop/DBus"}, dbus.c_str(), "GetConnectionUnixProcessID",
                                     g_variant_new("(s)", name), "(u)");
    guint32 pid = 0;
    if (reply)
        g_variant_get(reply, "(u)", &pid);
    return pid_t(pid);
}

GDBusConnection* connect_bus(const char* address, std::string& error)
{
    g_autoptr(GError) failure = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address,
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &failure);
    if (!bus)
        error = failure->message;
    return bus;
}

// Starts a server that writes one line to descriptor 3 once it serves
// (Xvfb its display number, dbus-daemon its address) and returns the line.
std::string spawn_for_line(const char* const* argv, gchar** environment, pid_t& pid)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    int source[] = {fds[1]};
    int target[] = {3};
    GPid child = 0;
    bool started = g_spawn_async_with_pipes_and_fds(
        nullptr, argv, environment,
        GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDERR_TO_DEV_NULL), nullptr, nullptr,
        -1, -1, -1, source, target, 1, &child, nullptr, nullptr, nullptr, nullptr);
    close(fds[1]);
    if (started)
        pid = child;
    std::string line;
    pollfd wait{fds[0], POLLIN, 0};
    char c = 0;
    while (started && poll(&wait, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(fds[0]);
    return line;
}

void stop_process(pid_t pid, int signal)
{
    if (pid <= 0)
        return;
    kill(pid, signal);
    waitpid(pid, nullptr, 0);
}

}  // namespace

DesktopSession::DesktopSession(const std::string& folder)
{
    if (start_display() && start_session_bus())
        start_program(folder);
}

DesktopSession::~DesktopSession()
{
    if (program_ > 0 && exit_status_ < 0)
        stop_process(program_, SIGKILL);
    if (display_)
        XCloseDisplay(display_);
    stop_process(xvfb_, SIGTERM);
    g_clear_object(&a11y_bus_);
    // The session bus started the accessibility bus launcher on demand; it
    // is ended here so that no process of the test outlives it.
    std::string ignored;
    g_autoptr(GDBusConnection) session = bus_address_.empty() ? nullptr : connect_bus(bus_address_.c_str(), ignored);
    pid_t launcher = session ? owner_pid(session, "org.a11y.Bus") : 0;
    if (launcher > 0)
        kill(launcher, SIGTERM);
    stop_process(session_bus_, SIGTERM);
    if (!runtime_dir_.empty())
        std::filesystem::remove_all(runtime_dir_);
}

bool DesktopSession::start_session_bus()
{
    g_autofree char* folder = g_dir_make_tmp("brenvaldor-run-XXXXXX", nullptr);
    if (!folder)
        return false;
    runtime_dir_ = folder;
    g_auto(GStrv) environment = g_get_environ();
    environment = g_environ_setenv(environment, "XDG_RUNTIME_DIR", runtime_dir_.c_str(), TRUE);
    environment = g_environ_unsetenv(environment, "DISPLAY");
    const char* argv[] = {"dbus-daemon", "--session", "--nofork", "--print-address=3", nullptr};
    bus_address_ = spawn_for_line(argv, environment, session_bus_);
    return !bus_address_.empty();
}

bool DesktopSession::start_display()
{
    const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr};
    std::string number = spawn_for_line(argv, nullptr, xvfb_);
    if (number.empty())
        return false;
    display_name_ = ":" + number;
    display_ = XOpenDisplay(display_name_.c_str());
    return display_ != nullptr;
}

gchar** DesktopSession::child_environment()
{
    gchar** environment = g_get_environ();
    environment = g_environ_setenv(environment, "DISPLAY", display_name_.c_str(), TRUE);
    environment = g_environ_setenv(environment, "DBUS_SESSION_BUS_ADDRESS", bus_address_.c_str(), TRUE);
    environment = g_environ_setenv(environment, "XDG_RUNTIME_DIR", runtime_dir_.c_str(), TRUE);
    environment = g_environ_unsetenv(environment, "GTK_A11Y");
    return g_environ_unsetenv(environment, "NO_AT_BRIDGE");
}

bool DesktopSession::run_tool(std::vector<std::string> argv)
{
    g_auto(GStrv) environment = child_environment();
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    int status = 0;
    return g_spawn_sync(nullptr, args.data(), environment, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr,
                        &status, nullptr) &&
           g_spawn_check_wait_status(status, nullptr);
}

void DesktopSession::start_program(const std::string& folder)
{
    std::string program = std::string(BRENVALDOR_BINARY_DIR) + "/brenvaldor";
    const char* argv[] = {program.c_str(), nullptr};
    g_auto(GStrv) environment = child_environment();
    GPid pid = 0;
    if (g_spawn_async(folder.c_str(), const_cast<char**>(argv), environment, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                      nullptr, &pid, nullptr))
        program_ = pid;
}

bool DesktopSession::ready(std::string& error)
{
    if (!display_ || program_ <= 0) {
        error = "the X server or the program did not start";
        return false;
    }
    // The hidden dialogs are never mapped, so the first window is the main window.
    wait_until([&] {
        std::vector<unsigned long> mapped = windows();
        main_window_ = mapped.empty() ? 0 : mapped.front();
        return main_window_ || !running();
    }, 20000);
    if (!main_window_) {
        error = "the main window did not appear";
        return false;
    }
    return find_bus_name(error);
}

bool DesktopSession::find_bus_name(std::string& error)
{
    g_autoptr(GDBusConnection) session = connect_bus(bus_address_.c_str(), error);
    g_autoptr(GVariant) address =
        session ? call(session, {"org.a11y.Bus", "/org/a11y/bus"}, "org.a11y.Bus", "GetAddress", nullptr, "(s)", &error)
                : nullptr;
    const char* text = nullptr;
    if (address)
        g_variant_get(address, "(&s)", &text);
    a11y_bus_ = text ? connect_bus(text, error) : nullptr;
    if (!a11y_bus_)
        return false;
    bool found = wait_until([&] {
        g_autoptr(GVariant) names =
            call(a11y_bus_, {dbus, "/org/freedesktop/DBus"}, dbus.c_str(), "ListNames", nullptr, "(as)");
        g_autoptr(GVariantIter) iter = nullptr;
        const char* name = nullptr;
        if (names)
            g_variant_get(names, "(as)", &iter);
        while (iter && g_variant_iter_next(iter, "&s", &name))
            if (name[0] == ':' && owner_pid(a11y_bus_, name) == program_)
                bus_name_ = name;
        // The program joins the bus before it exports its root object.
        g_autoptr(GVariant) count = bus_name_.empty() ? nullptr : property(a11y_bus_, {bus_name_, root_path}, "ChildCount");
        return count && g_variant_is_of_type(count, G_VARIANT_TYPE_INT32) && g_variant_get_int32(count) > 0;
    }, 15000, 100);
    if (!found)
        error = "the program did not appear on the accessibility bus";
    return found;
}

bool DesktopSession::running()
{
    int raw = 0;
    if (exit_status_ >= 0 || waitpid(program_, &raw, WNOHANG) != program_)
        return exit_status_ < 0;
    exit_status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return false;
}

int DesktopSession::wait_exit(int timeout_ms)
{
    wait_until([&] { return !running(); }, timeout_ms, 20);
    return exit_status_;
}

bool DesktopSession::keys(const std::vector<std::string>& names)
{
    std::vector<std::string> argv = {"xdotool", "key", "--delay", "80"};
    argv.insert(argv.end(), names.begin(), names.end());
    bool done = run_tool(argv);
    g_usleep(100000);
    return done;
}

bool DesktopSession::type_text(const std::string& text)
{
    return run_tool({"xdotool", "type", "--delay", "40", text});
}

std::vector<unsigned long> DesktopSession::windows()
{
    std::vector<unsigned long> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count))
        return found;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display_, children[i], &attributes) && attributes.map_state == IsViewable &&
            !attributes.override_redirect)
            found.push_back(children[i]);
    }
    if (children)
        XFree(children);
    return found;
}

void DesktopSession::close_window(unsigned long window)
{
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
}

bool DesktopSession::wait_for_window_count(size_t count, int timeout_ms)
{
    return wait_until([&] { return windows().size() == count || !running(); }, timeout_ms, 30) &&
           windows().size() == count;
}

bool child_at_index(GDBusConnection* bus, const AccessibleRef& parent, int index, AccessibleRef& child,
                    std::string& error)
{
    g_autoptr(GVariant) reply = call(bus, parent, "org.a11y.atspi.Accessible", "GetChildAtIndex",
                                     g_variant_new("(i)", index), "((so))", &error);
    if (!reply)
        return false;
    const char* name = nullptr;
    const char* path = nullptr;
    g_variant_get(reply, "((&s&o))", &name, &path);
    child = {name, path};
    return true;
}

std::vector<AccessibleRef> children_of(GDBusConnection* bus, const AccessibleRef& parent)
{
    std::vector<AccessibleRef> list;
    g_autoptr(GVariant) reply = call(bus, parent, "org.a11y.atspi.Accessible", "GetChildren", nullptr, "(a(so))");
    if (!reply)
        return list;
    g_autoptr(GVariantIter) iter = nullptr;
    g_variant_get(reply, "(a(so))", &iter);
    const char* name = nullptr;
    const char* path = nullptr;
    while (g_variant_iter_next(iter, "(&s&o)", &name, &path))
        list.push_back({name, path});
    return list;
}

std::string accessible_name(GDBusConnection* bus, const AccessibleRef& object)
{
    g_autoptr(GVariant) value = property(bus, object, "Name");
    return value && g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ? g_variant_get_string(value, nullptr) : "";
}

std::string role_name(GDBusConnection* bus, const AccessibleRef& object)
{
    g_autoptr(GVariant) reply = call(bus, object, "org.a11y.atspi.Accessible", "GetRoleName", nullptr, "(s)");
    const char* text = "";
    if (reply)
        g_variant_get(reply, "(&s)", &text);
    return text;
}

bool do_default_action(GDBusConnection* bus, const AccessibleRef& object)
{
    g_autoptr(GVariant) reply =
        call(bus, object, "org.a11y.atspi.Action", "DoAction", g_variant_new("(i)", 0), "(b)");
    return reply != nullptr;
}

std::vector<AccessibleRef> descendants(GDBusConnection* bus, const AccessibleRef& root, size_t limit)
{
    std::vector<AccessibleRef> found;
    std::vector<AccessibleRef> pending = children_of(bus, root);
    while (!pending.empty() && found.size() < limit) {
        AccessibleRef next = pending.back();
        pending.pop_back();
        std::vector<AccessibleRef> below = children_of(bus, next);
        pending.insert(pending.end(), below.rbegin(), below.rend());
        found.push_back(next);
    }
    return found;
}

bool shows_text(GDBusConnection* bus, const AccessibleRef& window, const std::string& text)
{
    for (const AccessibleRef& object : descendants(bus, window))
        if (accessible_name(bus, object) == text)
            return true;
    return false;
}

std::string focused_name(GDBusConnection* bus, const AccessibleRef& root)
{
    constexpr guint32 focused_bit = 1u << 12;  // ATSPI_STATE_FOCUSED
    for (const AccessibleRef& object : descendants(bus, root)) {
        g_autoptr(GVariant) state = call(bus, object, "org.a11y.atspi.Accessible", "GetState", nullptr, "(au)");
        g_autoptr(GVariant) words = state ? g_variant_get_child_value(state, 0) : nullptr;
        guint32 first = 0;
        if (words && g_variant_n_children(words) > 0)
            g_variant_get_child(words, 0, "u", &first);
        if (!(first & focused_bit))
            continue;
        AccessibleRef named = object;
        for (int up = 0; up < 3 && !named.path.empty(); ++up) {
            std::string name = accessible_name(bus, named);
            if (!name.empty())
                return name;
            g_autoptr(GVariant) parent = property(bus, named, "Parent");
            const char* owner = "";
            const char* path = "";
            if (parent)
                g_variant_get(parent, "(&s&o)", &owner, &path);
            named = {owner, path};
        }
        return "";
    }
    return "";
}

std::string focus_after_key(DesktopSession& session, const AccessibleRef& window, const std::string& before)
{
    std::string now;
    wait_until([&] { return (now = focused_name(session.bus(), window)) != before; }, 1000, 20);
    return now;
}

bool tab_to(DesktopSession& session, const AccessibleRef& window, const std::string& name)
{
    std::string focus = focused_name(session.bus(), window);
    for (int presses = 0; presses < 40 && focus != name; ++presses) {
        session.keys({"Tab"});
        focus = focus_after_key(session, window, focus);
    }
    return focus == name;
}

AccessibleRef application_root(const DesktopSession& session)
{
    return {session.bus_name(), root_path};
}

SessionFolder::SessionFolder() : path(g_dir_make_tmp("brenvaldor-XXXXXX", nullptr)) {}

SessionFolder::~SessionFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}
