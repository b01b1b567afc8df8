#include "desktop_session.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

namespace {

constexpr int call_timeout_ms = 5000;

GVariant* call(GDBusConnection* bus, const std::string& name, const std::string& path, const char* interface,
               const char* method, GVariant* args, const char* reply, std::string& error)
{
    g_autoptr(GError) failure = nullptr;
    GVariant* result = g_dbus_connection_call_sync(bus, name.c_str(), path.c_str(), interface, method, args,
                                                   G_VARIANT_TYPE(reply), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                                   call_timeout_ms, nullptr, &failure);
    if (!result)
        error = failure ? failure->message : "no reply";
    return result;
}

bool run_tool(gchar** environment, std::vector<std::string> argv)
{
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    int status = 0;
    g_autoptr(GError) error = nullptr;
    if (!g_spawn_sync(nullptr, args.data(), environment, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr,
                      &status, &error))
        return false;
    return g_spawn_check_wait_status(status, nullptr);
}

bool exited(pid_t pid, int& status)
{
    int raw = 0;
    if (waitpid(pid, &raw, WNOHANG) != pid)
        return false;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
}

void stop_process(pid_t pid, int signal)
{
    if (pid <= 0)
        return;
    kill(pid, signal);
    waitpid(pid, nullptr, 0);
}

}  // namespace

DesktopSession::DesktopSession(const std::string& folder, bool accessibility) : accessibility_(accessibility)
{
    if (start_display() && start_session_bus())
        start_program(folder, accessibility);
}

DesktopSession::~DesktopSession()
{
    if (program_ > 0 && exit_status_ < 0)
        stop_process(program_, SIGKILL);
    if (display_)
        XCloseDisplay(display_);
    stop_process(xvfb_, SIGTERM);
    g_clear_object(&a11y_bus_);
    stop_bus_launcher();
    stop_process(session_bus_, SIGTERM);
    if (!runtime_dir_.empty())
        std::filesystem::remove_all(runtime_dir_);
}

GDBusConnection* DesktopSession::session_bus()
{
    return g_dbus_connection_new_for_address_sync(
        bus_address_.c_str(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
}

void DesktopSession::stop_bus_launcher()
{
    // The session bus started the accessibility bus launcher on demand; it
    // is ended here so that no process of the test outlives it.
    if (bus_address_.empty())
        return;
    g_autoptr(GDBusConnection) session = session_bus();
    std::string error;
    g_autoptr(GVariant) pid = session ? call(session, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                             "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                             g_variant_new("(s)", "org.a11y.Bus"), "(u)", error)
                                      : nullptr;
    guint32 value = 0;
    if (pid)
        g_variant_get(pid, "(u)", &value);
    if (value > 0)
        kill(pid_t(value), SIGTERM);
}

bool DesktopSession::start_session_bus()
{
    g_autofree char* folder = g_dir_make_tmp("brenvaldor-run-XXXXXX", nullptr);
    if (!folder)
        return false;
    runtime_dir_ = folder;
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    g_auto(GStrv) environment = g_get_environ();
    environment = g_environ_setenv(environment, "XDG_RUNTIME_DIR", runtime_dir_.c_str(), TRUE);
    environment = g_environ_unsetenv(environment, "DISPLAY");
    const char* argv[] = {"dbus-daemon", "--session", "--nofork", "--print-address=3", nullptr};
    int source[] = {fds[1]};
    int target[] = {3};
    GPid pid = 0;
    bool started = g_spawn_async_with_pipes_and_fds(
        nullptr, argv, environment,
        GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDERR_TO_DEV_NULL), nullptr, nullptr,
        -1, -1, -1, source, target, 1, &pid, nullptr, nullptr, nullptr, nullptr);
    close(fds[1]);
    if (started)
        session_bus_ = pid;
    pollfd wait{fds[0], POLLIN, 0};
    char c = 0;
    while (started && poll(&wait, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
        bus_address_ += c;
    close(fds[0]);
    return !bus_address_.empty();
}

bool DesktopSession::start_display()
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr};
    int source[] = {fds[1]};
    int target[] = {3};
    GPid pid = 0;
    g_autoptr(GError) error = nullptr;
    bool started = g_spawn_async_with_pipes_and_fds(
        nullptr, argv, nullptr, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDERR_TO_DEV_NULL),
        nullptr, nullptr, -1, -1, -1, source, target, 1, &pid, nullptr, nullptr, nullptr, &error);
    close(fds[1]);
    if (started)
        xvfb_ = pid;
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    char c = 0;
    while (started && poll(&wait, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty())
        return false;
    display_name_ = ":" + number;
    display_ = XOpenDisplay(display_name_.c_str());
    return display_ != nullptr;
}

gchar** DesktopSession::child_environment(bool accessibility)
{
    gchar** environment = g_get_environ();
    environment = g_environ_setenv(environment, "DISPLAY", display_name_.c_str(), TRUE);
    environment = g_environ_setenv(environment, "DBUS_SESSION_BUS_ADDRESS", bus_address_.c_str(), TRUE);
    environment = g_environ_setenv(environment, "XDG_RUNTIME_DIR", runtime_dir_.c_str(), TRUE);
    if (accessibility) {
        environment = g_environ_unsetenv(environment, "GTK_A11Y");
        environment = g_environ_unsetenv(environment, "NO_AT_BRIDGE");
    } else {
        environment = g_environ_setenv(environment, "GTK_A11Y", "none", TRUE);
    }
    return environment;
}

void DesktopSession::start_program(const std::string& folder, bool accessibility)
{
    std::string program = std::string(BRENVALDOR_BINARY_DIR) + "/brenvaldor";
    const char* argv[] = {program.c_str(), nullptr};
    g_auto(GStrv) environment = child_environment(accessibility);
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
    gint64 deadline = g_get_monotonic_time() + 20 * G_USEC_PER_SEC;
    while (!main_window_ && g_get_monotonic_time() < deadline && running()) {
        for (unsigned long window : windows())
            if (window_title(window) == "Brenvaldor")
                main_window_ = window;
        g_usleep(50000);
    }
    if (!main_window_) {
        error = "the main window did not appear";
        return false;
    }
    return !accessibility_ || find_bus_name(error);
}

bool DesktopSession::find_bus_name(std::string& error)
{
    g_autoptr(GDBusConnection) session = session_bus();
    if (!session) {
        error = "no D-Bus session bus";
        return false;
    }
    g_autoptr(GVariant) address = call(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                       nullptr, "(s)", error);
    if (!address)
        return false;
    const char* text = nullptr;
    g_variant_get(address, "(&s)", &text);
    g_autoptr(GError) failure = nullptr;
    a11y_bus_ = g_dbus_connection_new_for_address_sync(
        text, GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &failure);
    if (!a11y_bus_) {
        error = failure->message;
        return false;
    }
    gint64 deadline = g_get_monotonic_time() + 15 * G_USEC_PER_SEC;
    while (g_get_monotonic_time() < deadline) {
        g_autoptr(GVariant) names = call(a11y_bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus", "ListNames", nullptr, "(as)", error);
        g_autoptr(GVariantIter) iter = nullptr;
        const char* name = nullptr;
        if (names)
            g_variant_get(names, "(as)", &iter);
        while (iter && g_variant_iter_next(iter, "&s", &name)) {
            if (name[0] != ':')
                continue;
            std::string ignored;
            g_autoptr(GVariant) pid = call(a11y_bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                           "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                           g_variant_new("(s)", name), "(u)", ignored);
            guint32 value = 0;
            if (pid)
                g_variant_get(pid, "(u)", &value);
            if (pid && pid_t(value) == program_)
                bus_name_ = name;
        }
        if (!bus_name_.empty() && root_has_window())
            return true;
        g_usleep(100000);
    }
    error = "the program did not appear on the accessibility bus";
    return false;
}

bool DesktopSession::root_has_window()
{
    // The program joins the bus before it exports its root object.
    std::string error;
    g_autoptr(GVariant) reply =
        call(a11y_bus_, bus_name_, "/org/a11y/atspi/accessible/root", "org.freedesktop.DBus.Properties", "Get",
             g_variant_new("(ss)", "org.a11y.atspi.Accessible", "ChildCount"), "(v)", error);
    if (!reply)
        return false;
    g_autoptr(GVariant) count = nullptr;
    g_variant_get(reply, "(v)", &count);
    return g_variant_is_of_type(count, G_VARIANT_TYPE_INT32) && g_variant_get_int32(count) > 0;
}

bool DesktopSession::running()
{
    if (exit_status_ >= 0)
        return false;
    return !exited(program_, exit_status_);
}

int DesktopSession::wait_exit(int timeout_ms)
{
    gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    while (running() && g_get_monotonic_time() < deadline)
        g_usleep(20000);
    return exit_status_;
}

bool DesktopSession::keys(const std::vector<std::string>& names)
{
    g_auto(GStrv) environment = child_environment(false);
    std::vector<std::string> argv = {"xdotool", "key", "--delay", "80"};
    argv.insert(argv.end(), names.begin(), names.end());
    bool done = run_tool(environment, argv);
    g_usleep(100000);
    return done;
}

bool DesktopSession::type_text(const std::string& text)
{
    g_auto(GStrv) environment = child_environment(false);
    return run_tool(environment, {"xdotool", "type", "--delay", "40", text});
}

bool DesktopSession::click(int x, int y)
{
    g_auto(GStrv) environment = child_environment(false);
    return run_tool(environment, {"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"});
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

std::string DesktopSession::window_title(unsigned long window)
{
    Atom name = XInternAtom(display_, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display_, window, name, 0, 1024, False, utf8, &type, &format, &items, &remaining, &data) ==
            Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), items);
        XFree(data);
    }
    return title;
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
    gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    while (windows().size() != count) {
        if (g_get_monotonic_time() >= deadline || !running())
            return false;
        g_usleep(30000);
    }
    return true;
}

bool child_at_index(GDBusConnection* bus, const AccessibleRef& parent, int index, AccessibleRef& child,
                    std::string& error)
{
    g_autoptr(GVariant) reply = call(bus, parent.name, parent.path, "org.a11y.atspi.Accessible", "GetChildAtIndex",
                                     g_variant_new("(i)", index), "((so))", error);
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
    std::string error;
    g_autoptr(GVariant) reply =
        call(bus, parent.name, parent.path, "org.a11y.atspi.Accessible", "GetChildren", nullptr, "(a(so))", error);
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
    std::string error;
    g_autoptr(GVariant) reply = call(bus, object.name, object.path, "org.freedesktop.DBus.Properties", "Get",
                                     g_variant_new("(ss)", "org.a11y.atspi.Accessible", "Name"), "(v)", error);
    if (!reply)
        return "";
    g_autoptr(GVariant) value = nullptr;
    g_variant_get(reply, "(v)", &value);
    return g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ? g_variant_get_string(value, nullptr) : "";
}

std::string role_name(GDBusConnection* bus, const AccessibleRef& object)
{
    std::string error;
    g_autoptr(GVariant) reply =
        call(bus, object.name, object.path, "org.a11y.atspi.Accessible", "GetRoleName", nullptr, "(s)", error);
    const char* text = "";
    if (reply)
        g_variant_get(reply, "(&s)", &text);
    return text;
}

bool do_default_action(GDBusConnection* bus, const AccessibleRef& object)
{
    std::string error;
    g_autoptr(GVariant) reply = call(bus, object.name, object.path, "org.a11y.atspi.Action", "DoAction",
                                     g_variant_new("(i)", 0), "(b)", error);
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

bool has_focus(GDBusConnection* bus, const AccessibleRef& object)
{
    constexpr guint32 focused_bit = 1u << 12;  // ATSPI_STATE_FOCUSED
    std::string error;
    g_autoptr(GVariant) reply =
        call(bus, object.name, object.path, "org.a11y.atspi.Accessible", "GetState", nullptr, "(au)", error);
    if (!reply)
        return false;
    g_autoptr(GVariant) words = g_variant_get_child_value(reply, 0);
    guint32 first = 0;
    if (g_variant_n_children(words) > 0)
        g_variant_get_child(words, 0, "u", &first);
    return (first & focused_bit) != 0;
}

AccessibleRef parent_of(GDBusConnection* bus, const AccessibleRef& object)
{
    std::string error;
    g_autoptr(GVariant) reply = call(bus, object.name, object.path, "org.freedesktop.DBus.Properties", "Get",
                                     g_variant_new("(ss)", "org.a11y.atspi.Accessible", "Parent"), "(v)", error);
    if (!reply)
        return {};
    g_autoptr(GVariant) value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const char* name = nullptr;
    const char* path = nullptr;
    g_variant_get(value, "(&s&o)", &name, &path);
    return {name, path};
}

std::string focused_name(GDBusConnection* bus, const AccessibleRef& root)
{
    for (const AccessibleRef& object : descendants(bus, root)) {
        if (!has_focus(bus, object))
            continue;
        AccessibleRef named = object;
        for (int up = 0; up < 3 && !named.path.empty(); ++up) {
            std::string name = accessible_name(bus, named);
            if (!name.empty())
                return name;
            named = parent_of(bus, named);
        }
        return "";
    }
    return "";
}

AccessibleRef application_root(const DesktopSession& session)
{
    return {session.bus_name(), "/org/a11y/atspi/accessible/root"};
}

TempFolder::TempFolder() : path(g_dir_make_tmp("brenvaldor-XXXXXX", nullptr)) {}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}
