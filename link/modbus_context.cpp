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

}  // namespace

ModbusContext& ModbusContext::operator=(ModbusContext&& other) noexcept
{
    if (this != &other) {
        reset();
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
    modbus_close(context_);
    modbus_free(context_);
    context_ = nullptr;
    errno = saved;
}

modbus_t* ModbusContext::release()
{
    return std::exchange(context_, nullptr);
}

OpenResult open_modbus(const ConnectionSettings& settings)
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
    modbus_set_debug(context.get(), FALSE);
    auto started = std::chrono::steady_clock::now();
    if (modbus_connect(context.get()) == -1) {
        result.outcome = OpenOutcome::connect_failed;
        result.error = errno;
        return result;
    }
    record_connect(std::chrono::steady_clock::now() - started);
    modbus_flush(context.get());
    result.outcome = OpenOutcome::opened;
    result.context = std::move(context);
    return result;
}
