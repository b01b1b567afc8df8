#include "link/link_reports.hpp"

#include <modbus.h>

#include <array>
#include <cstdio>
#include <string>

#include "link/host_address.hpp"

namespace {

// The device's own word for what it refused, as the protocol names it.
const char* exception_name(uint8_t code)
{
    switch (code) {
    case 0x01:
        return "Illegal function";
    case 0x02:
        return "Illegal data address";
    case 0x03:
        return "Illegal data value";
    case 0x04:
        return "Server device failure";
    case 0x05:
        return "Acknowledge";
    case 0x06:
        return "Server device busy";
    case 0x07:
        return "Negative acknowledge";
    case 0x08:
        return "Memory parity error";
    case 0x0A:
        return "Gateway path unavailable";
    case 0x0B:
        return "Gateway target device failed to respond";
    default:
        return nullptr;
    }
}

// "Exception 02: Illegal data address", made once for every code.
const char* exception_text(uint8_t code)
{
    static const std::array<std::string, 256> texts = [] {
        std::array<std::string, 256> made;
        for (unsigned c = 0; c < made.size(); ++c) {
            char head[32];
            std::snprintf(head, sizeof head, "Exception %02X", c);
            const char* name = exception_name(uint8_t(c));
            made[c] = name ? std::string(head) + ": " + name : head;
        }
        return made;
    }();
    return texts[code].c_str();
}

}  // namespace

const char* link_status_text(const LinkStatus& status)
{
    switch (status.kind) {
    case StatusKind::no_device:
        return "No device selected";
    case StatusKind::rtu_id_refused:
        return "Modbus ID 255 not allowed for RTU";
    case StatusKind::no_response:
        return "Response error / No communication";
    case StatusKind::link_error:
        return modbus_strerror(status.error);
    case StatusKind::resolve_error:
        // The resolver's own reason: the library would only say "Connection refused".
        return resolve_error_text(status.error);
    case StatusKind::not_connected:
        return "Not connected";
    case StatusKind::exception:
        return exception_text(uint8_t(status.error));
    case StatusKind::cleared:
        break;
    }
    return " ";
}

const char* write_failure_text(const WriteResult& result)
{
    if (result.unanswered)
        return "Disconnected before the device answered; the write may have been carried out";
    if (result.exception)
        return exception_text(result.exception);
    return result.error == 0 ? "Not connected" : modbus_strerror(result.error);
}

bool is_error_status(StatusKind kind)
{
    return kind != StatusKind::not_connected && kind != StatusKind::cleared;
}
