#include "link/modbus_context.hpp"

#include <cerrno>
#include <chrono>
#include <utility>

#include "link/link_statistics.hpp"

namespace {

// The library refuses these texts too (and says so on stderr, which the
// program must not do): it keeps at most 15 characters of an IPv4 text.
constexpr size_t max_ip_text = 15;

modbus_t* new_context(const ConnectionSettings& settings, OpenResult& result)
{
    const std::string& device = settings.device;
    if (settings.use_tcp) {
        if (device.empty() || device.size() > max_ip_text) {
            errno = EINVAL;
            return nullptr;
        }
        return modbus_new_tcp(device.c_str(), static_cast<int>(settings.baud_or_port));
    }
    if (device.empty()) {
        result.outcome = OpenOutcome::no_device;
        errno = EINVAL;  // what modbus_new_rtu gives for an empty name
        return nullptr;
    }
    return modbus_new_rtu(device.c_str(), static_cast<int>(settings.baud_or_port), settings.parity,
                          settings.data_bits, settings.stop_bits);
}

int response_timeout_in_force(modbus_t* context)
{
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
    modbus_get_response_timeout(context, &seconds, &microseconds);
    return static_cast<int>(seconds * 1000 + microseconds / 1000);
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
    OpenResult result;
    ModbusContext context(new_context(settings, result));
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
    record_connect(std::chrono::steady_clock::now() - started);
    modbus_flush(context.get());
    if (settings.use_tcp)
        context.watch_with(guard);
    result.response_timeout_ms = response_timeout_in_force(context.get());
    result.outcome = OpenOutcome::opened;
    result.context = std::move(context);
    return result;
}
