#include "link/link_reports.hpp"

#include <modbus.h>

#include "link/host_address.hpp"

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
    case StatusKind::cleared:
        break;
    }
    return " ";
}

bool is_error_status(StatusKind kind)
{
    return kind != StatusKind::not_connected && kind != StatusKind::cleared;
}
