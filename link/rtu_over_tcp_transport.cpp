#include "link/rtu_over_tcp_transport.hpp"

#include "link/rtu_transport.hpp"
#include "link/serial_timing.hpp"

namespace {

int send_rtu_over_tcp(Wire& wire, const Frame& request)
{
    uint8_t framed[max_frame_size + 2];
    size_t total = frame_rtu(request, framed);
    if (pass_over_pending(wire) == -1)
        return -1;
    return write_all(wire, framed, total);
}

}  // namespace

const Transport rtu_over_tcp_transport{send_rtu_over_tcp, receive_rtu_frame, settle_line};
