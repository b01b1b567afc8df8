#include "link/open_link.hpp"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "link/ascii_transport.hpp"
#include "link/host_address.hpp"
#include "link/rtu_over_tcp_transport.hpp"
#include "link/rtu_transport.hpp"
#include "link/tcp_transport.hpp"

namespace {

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

// A name's resolution, shared by the worker that waits and the thread that
// asks the resolver: whoever lets go last frees it, so a cancelled worker
// need not wait for the resolver to give up.
struct Resolution {
    std::mutex lock;
    HostAddresses result;  // under lock
    int done_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ~Resolution()
    {
        if (done_fd >= 0)
            close(done_fd);
    }
};

// Reads text as a numeric address, which needs no resolver, no thread and
// no system call (but a scope given by name, looked up among the
// interfaces); anything else is a name.
ServerAddress read_server_text(const std::string& text, uint32_t port)
{
    ServerAddress server;
    server.text = text;
    server.port = port;
    server.read = true;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(text.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return server;  // a name
    AddrInfoList list(found);
    server.numeric = found->ai_addrlen <= sizeof server.address;
    if (server.numeric) {
        std::memcpy(&server.address, found->ai_addr, found->ai_addrlen);
        server.length = found->ai_addrlen;
    }
    return server;
}

// A name, looked up anew at every connect. -1 with errno ECANCELED when the
// worker was cancelled meanwhile.
int resolve(const ConnectionSettings& settings, CallGuard& guard, HostAddresses& into)
{
    auto resolution = std::make_shared<Resolution>();
    try {
        std::thread([resolution, host = settings.device, port = settings.baud_or_port] {
            HostAddresses found = resolve_host(host, port);
            std::lock_guard hold(resolution->lock);
            resolution->result = std::move(found);
            uint64_t one = 1;
            [[maybe_unused]] ssize_t written = write(resolution->done_fd, &one, sizeof one);
        }).detach();
    } catch (const std::system_error&) {
        into = resolve_host(settings.device, settings.baud_or_port);
        return 0;
    }
    if (guard.wait_until(resolution->done_fd, POLLIN, WireClock::time_point::max()) == -1)
        return -1;
    std::lock_guard hold(resolution->lock);
    into = resolution->result;
    return 0;
}

// One address: a connect that a cancel or the deadline ends. The socket is
// the guard's from its creation, so a cancel shuts it down at once.
int connect_to(Wire& wire, const ServerAddress& server, WireClock::time_point deadline)
{
    int fd = socket(server.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    wire.fd = fd;
    wire.guard->watch_socket(fd);
    wire.watched = true;
    const auto* address = reinterpret_cast<const sockaddr*>(&server.address);
    if (connect(fd, address, server.length) == 0)
        return 0;
    if (errno != EINPROGRESS)
        return -1;
    if (wire.guard->wait_until(fd, POLLOUT, deadline) == -1)
        return -1;
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == -1)
        return -1;
    errno = error;
    return error == 0 ? 0 : -1;
}

// Opens result's line to server, the connect ending at deadline at the
// latest: false with result.error set when it could not.
bool open_at(const ServerAddress& server, CallGuard& guard, WireClock::time_point started,
             WireClock::time_point deadline, OpenResult& result)
{
    Wire wire;
    wire.guard = &guard;
    if (!server.numeric || connect_to(wire, server, deadline) == -1) {
        result.error = server.numeric ? errno : ECONNREFUSED;
        return false;
    }
    int on = 1;
    setsockopt(wire.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    result.outcome = OpenOutcome::opened;
    result.wire = std::move(wire);
    result.connect_time = WireClock::now() - started;
    return true;
}

// A name's addresses in the resolver's order, all within one deadline.
void open_by_name(const ConnectionSettings& settings, CallGuard& guard, int timeout_ms, OpenResult& result)
{
    HostAddresses host;
    if (resolve(settings, guard, host) == -1) {
        result.outcome = OpenOutcome::connect_failed;
        result.error = errno;
        return;
    }
    if (host.resolve_error != 0) {
        result.outcome = OpenOutcome::unresolved;
        result.error = host.resolve_error;
        return;
    }
    auto started = WireClock::now();
    auto deadline = started + std::chrono::milliseconds(timeout_ms);
    result.outcome = OpenOutcome::connect_failed;
    result.error = ECONNREFUSED;
    for (const std::string& text : host.numeric) {
        if (open_at(read_server_text(text, settings.baud_or_port), guard, started, deadline, result))
            return;
        if (result.error == ECANCELED || WireClock::now() >= deadline)
            return;  // the one deadline covers every address
    }
}

OpenResult open_tcp(const ConnectionSettings& settings, CallGuard& guard, int timeout_ms, ServerAddress& server)
{
    OpenResult result;
    if (settings.device.empty()) {
        result.error = EINVAL;  // nothing to connect to, as the library says
        return result;
    }
    if (!server.read || server.text != settings.device || server.port != settings.baud_or_port)
        server = read_server_text(settings.device, settings.baud_or_port);
    if (!server.numeric) {
        open_by_name(settings, guard, timeout_ms, result);
        return result;
    }
    auto started = WireClock::now();
    result.outcome = OpenOutcome::connect_failed;
    open_at(server, guard, started, started + std::chrono::milliseconds(timeout_ms), result);
    return result;
}

OpenResult open_serial(const ConnectionSettings& settings, CallGuard& guard)
{
    OpenResult result;
    if (settings.device.empty()) {
        result.outcome = OpenOutcome::no_device;
        result.error = EINVAL;
        return result;
    }
    Wire wire;
    wire.guard = &guard;
    auto started = WireClock::now();
    wire.serial = modbus_new_rtu(settings.device.c_str(), static_cast<int>(settings.baud_or_port), settings.parity,
                                 settings.data_bits, settings.stop_bits);
    if (!wire.serial) {
        result.error = errno;
        return result;
    }
    modbus_set_debug(wire.serial, FALSE);
    if (modbus_connect(wire.serial) == -1) {
        result.outcome = OpenOutcome::connect_failed;
        result.error = errno;
        return result;  // the context is freed with wire
    }
    wire.fd = modbus_get_socket(wire.serial);
    wire.quiet_since = WireClock::now();
    result.connect_time = WireClock::now() - started;
    result.outcome = OpenOutcome::opened;
    result.wire = std::move(wire);
    return result;
}

}  // namespace

OpenResult open_link(const ConnectionSettings& settings, CallGuard& guard, ServerAddress* known)
{
    int timeout_ms = settings.response_timeout_ms > 0 ? int(settings.response_timeout_ms) : default_response_timeout_ms;
    ServerAddress here;
    ServerAddress& server = known ? *known : here;
    OpenResult result =
        settings.use_tcp ? open_tcp(settings, guard, timeout_ms, server) : open_serial(settings, guard);
    if (result.outcome != OpenOutcome::opened)
        return result;
    Wire& wire = result.wire;
    wire.settings = settings;
    wire.response_timeout_ms = timeout_ms;
    if (!settings.use_tcp)
        wire.transport = settings.serial_framing == SerialFraming::ascii ? &ascii_transport : &rtu_transport;
    else
        wire.transport = settings.tcp_framing == TcpFraming::rtu ? &rtu_over_tcp_transport : &tcp_transport;
    return result;
}
