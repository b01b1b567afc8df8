#include "link/modbus_context.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <utility>

#include "link/host_address.hpp"

namespace {

bool is_ipv4(const std::string& address)
{
    in_addr parsed{};
    return inet_pton(AF_INET, address.c_str(), &parsed) == 1;
}

// address: a numeric text from the resolver over TCP, the device name on a
// serial line.
modbus_t* new_context(const ConnectionSettings& settings, const std::string& address, OpenResult& result)
{
    if (settings.use_tcp) {
        if (address.empty()) {
            errno = EINVAL;  // the library's answer, without its words on stderr
            return nullptr;
        }
        // The name-taking context asks the resolver again at every connect,
        // with a check of the machine's interfaces that costs a tenth of a
        // short poll cycle; an IPv4 address needs neither.
        if (is_ipv4(address))
            return modbus_new_tcp(address.c_str(), static_cast<int>(settings.baud_or_port));
        return modbus_new_tcp_pi(address.c_str(), std::to_string(settings.baud_or_port).c_str());
    }
    if (address.empty()) {
        result.outcome = OpenOutcome::no_device;
        errno = EINVAL;  // what modbus_new_rtu gives for an empty name
        return nullptr;
    }
    return modbus_new_rtu(address.c_str(), static_cast<int>(settings.baud_or_port), settings.parity,
                          settings.data_bits, settings.stop_bits);
}

// The library sets no delay for IPv4 only; a request must never wait for
// the acknowledgement of the one before over IPv6 either.
void send_without_delay(modbus_t* context, const std::string& address)
{
    if (is_ipv4(address))
        return;
    int on = 1;
    setsockopt(modbus_get_socket(context), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int response_timeout_in_force(modbus_t* context)
{
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
    modbus_get_response_timeout(context, &seconds, &microseconds);
    return static_cast<int>(seconds * 1000 + microseconds / 1000);
}

OpenResult open_at(const ConnectionSettings& settings, const std::string& address, CallGuard& guard)
{
    OpenResult result;
    ModbusContext context(new_context(settings, address, result));
    if (!context) {
        result.error = errno;
        return result;
    }
    // A time-out of 0 makes the library refuse the call, which keeps its
    // default in force.
    modbus_set_response_timeout(context.get(), settings.response_timeout_ms / 1000,
                                (settings.response_timeout_ms % 1000) * 1000);
    // Each reply gets one deadline of its own (link/modbus_exchange.cpp)
    // instead of half a second for every byte.
    modbus_set_byte_timeout(context.get(), 0, 0);
    modbus_set_debug(context.get(), FALSE);
    auto started = std::chrono::steady_clock::now();
    if (modbus_connect(context.get()) == -1) {
        result.outcome = OpenOutcome::connect_failed;
        result.error = errno;
        return result;
    }
    result.connect_time = std::chrono::steady_clock::now() - started;
    modbus_flush(context.get());
    if (settings.use_tcp) {
        send_without_delay(context.get(), address);
        context.watch_with(guard);
    }
    result.response_timeout_ms = response_timeout_in_force(context.get());
    result.outcome = OpenOutcome::opened;
    result.context = std::move(context);
    return result;
}

}  // namespace

ModbusContext& ModbusContext::operator=(ModbusContext&& other) noexcept
{
    if (this != &other) {
        reset();
        guard_ = std::exchange(other.guard_, nullptr);
        context_ = other.release();
    }
    return *this;
}

void ModbusContext::reset()
{
    if (!context_)
        return;
    // Keeps the errno of the call that failed: close may touch it.
    int saved = errno;
    if (guard_)
        std::exchange(guard_, nullptr)->unwatch_socket();
    modbus_close(context_);
    modbus_free(context_);
    context_ = nullptr;
    errno = saved;
}

void ModbusContext::watch_with(CallGuard& guard)
{
    guard_ = &guard;
    guard.watch_socket(modbus_get_socket(context_));
}

modbus_t* ModbusContext::release()
{
    return std::exchange(context_, nullptr);
}

OpenResult open_modbus(const ConnectionSettings& settings, CallGuard& guard)
{
    // An empty server text is refused as before, without asking the resolver.
    if (!settings.use_tcp || settings.device.empty())
        return open_at(settings, settings.device, guard);
    HostAddresses host = resolve_host(settings.device, settings.baud_or_port);
    if (host.resolve_error != 0) {
        OpenResult result;
        result.outcome = OpenOutcome::unresolved;
        result.error = host.resolve_error;
        return result;
    }
    OpenResult result;
    for (const std::string& address : host.numeric) {
        result = open_at(settings, address, guard);
        if (result.outcome == OpenOutcome::opened)
            break;
    }
    return result;
}
