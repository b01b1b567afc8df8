#include "link/modbus_exchange.hpp"

#include <modbus.h>

#include <cerrno>
#include <chrono>

#include "link/link_statistics.hpp"
#include "link/serial_line.hpp"

namespace {

constexpr uint8_t highest_serial_unit = 247;

unsigned quantity_of(const Frame& request)
{
    return unsigned(request.bytes[4]) << 8 | request.bytes[5];
}


int fail(int error)
{
    errno = error;
    return -1;
}

// The reply to an earlier request: shown as it arrived, counted, and never
// taken for this one's.
void pass_over(LinkChannel& channel, const ReplyFrame& stale)
{
    WorkerContext& worker = channel.worker;
    tell(worker, [&] {
        worker.reports.frame_logged(stale.bytes.data(), stale.size, LogDirection::rx);
        record_stale_reply(worker.link.statistics);
    });
}

int receive_reply(LinkChannel& channel, const Frame& request, Reply& reply, WireClock::time_point first_byte)
{
    Wire& wire = channel.wire;
    for (;;) {
        reply.received = ReplyFrame{};
        if (wire.transport->receive(wire, request, reply.received, first_byte) == -1)
            return channel.worker.guard.cancelled() ? fail(ECANCELED) : -1;
        if (!reply.received.stale)
            break;
        pass_over(channel, reply.received);
    }
    reply.check = check_reply(request.bytes.data(), request.size, reply.frame(), reply.received.size);
    return reply.check.error ? fail(reply.check.error) : 0;
}

}  // namespace

bool too_large(const Frame& request)
{
    if (request.size < 6)
        return true;
    unsigned quantity = quantity_of(request);
    switch (request.bytes[1]) {
    case 1:
    case 2:
        return quantity > MODBUS_MAX_READ_BITS;
    case 3:
    case 4:
        return quantity > MODBUS_MAX_READ_REGISTERS;
    case 15:
        return quantity > MODBUS_MAX_WRITE_BITS;
    case 16:
        return quantity > MODBUS_MAX_WRITE_REGISTERS;
    default:
        return false;
    }
}

bool can_address(const LinkChannel& channel, uint8_t unit)
{
    if (channel.wire.settings.use_tcp || unit <= highest_serial_unit)
        return true;
    errno = EINVAL;  // as the library has always refused them
    return false;
}

int exchange(LinkChannel& channel, const Frame& request, Reply& reply)
{
    reply = Reply{};
    if (too_large(request))
        return fail(EMBMDATA);
    if (!can_address(channel, request.bytes[0]))
        return -1;
    Wire& wire = channel.wire;
    if (wire.transport->send(wire, request) == -1)
        return channel.worker.guard.cancelled() ? fail(ECANCELED) : -1;
    auto sent = WireClock::now();
    auto first_byte = sent + std::chrono::milliseconds(wire.response_timeout_ms);
    if (receive_reply(channel, request, reply, first_byte) == 0)
        return 0;
    if (!wire.settings.use_tcp && errno != ECANCELED)
        let_line_settle(wire, std::max(first_byte, WireClock::now() + line_time(wire.settings, 8)));
    return -1;
}
