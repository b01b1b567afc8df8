#include "link/modbus_exchange.hpp"

#include <modbus.h>

#include <cerrno>
#include <chrono>

#include "link/open_link.hpp"

namespace {

constexpr uint8_t highest_serial_unit = 247;
constexpr uint8_t exception_mark = 0x80;

unsigned quantity_of(const Frame& request)
{
    return unsigned(request.bytes[4]) << 8 | request.bytes[5];
}

int fail(int error)
{
    errno = error;
    return -1;
}

template <typename Tell>
void tell(LinkChannel& channel, Tell&& what)
{
    channel.guard.while_current(what);
}

void log_frame(LinkChannel& channel, const uint8_t* bytes, size_t size, LogDirection direction)
{
    if (size)
        tell(channel, [&] { channel.reports.frame_logged(bytes, size, direction); });
}

// Opens the line anew with the channel's settings; the wire keeps where
// its passed-over bytes go.
int reopen(LinkChannel& channel)
{
    OpenResult fresh = open_link(channel.settings, channel.guard);
    if (fresh.outcome != OpenOutcome::opened) {
        if (channel.guard.cancelled())
            return fail(ECANCELED);
        // A resolver's code is no errno: the name that resolved before no longer does.
        bool unresolved = fresh.outcome == OpenOutcome::unresolved || fresh.error == 0;
        return fail(unresolved ? EHOSTUNREACH : fresh.error);
    }
    PassedOver passed_over = std::move(channel.wire.passed_over);
    channel.wire = std::move(fresh.wire);
    channel.wire.passed_over = std::move(passed_over);
    if (channel.statistics)
        tell(channel, [&] { record_connect(*channel.statistics, fresh.connect_time); });
    return 0;
}

int receive_reply(LinkChannel& channel, const Frame& request, Reply& reply, WireClock::time_point first_byte)
{
    Wire& wire = channel.wire;
    for (;;) {
        reply.received = ReplyFrame{};
        if (wire.transport->receive(wire, request, reply.received, first_byte) == -1)
            return channel.guard.cancelled() ? fail(ECANCELED) : -1;
        log_frame(channel, reply.frame(), reply.received.size, LogDirection::rx);
        if (!reply.received.stale)
            break;
        // The reply to an earlier request: shown, counted, and never taken for this one's.
        if (channel.statistics)
            tell(channel, [&] { record_stale_reply(*channel.statistics); });
    }
    reply.check = check_reply(request.bytes.data(), request.size, reply.frame(), reply.received.size);
    return reply.check.error ? fail(reply.check.error) : 0;
}

}  // namespace

uint8_t Reply::exception_code() const
{
    // The check names an exception only for one of this request's unit and function.
    bool checked = check.error != 0 && check.error != EMBBADDATA;
    bool exception = checked && received.size == 3 && (received.bytes[1] & exception_mark);
    return exception ? received.bytes[2] : 0;
}

bool too_large(const Frame& request)
{
    if (request.size == 0)
        return true;  // could not be framed at all
    if (request.size < 6)
        return false;
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

bool can_address(const ConnectionSettings& settings, uint8_t unit)
{
    if (settings.use_tcp || unit <= highest_serial_unit)
        return true;
    errno = EINVAL;  // as the library has always refused them
    return false;
}

PassedOver log_passed_over(LinkReports& reports, CallGuard& guard)
{
    return [&reports, &guard](const uint8_t* bytes, size_t count) {
        if (count)
            guard.while_current([&] { reports.frame_logged(bytes, count, LogDirection::rx); });
    };
}

int exchange(LinkChannel& channel, const Frame& request, Reply& reply)
{
    reply = Reply{};
    if (too_large(request))
        return fail(EMBMDATA);
    if (!can_address(channel.settings, request.bytes[0]))
        return -1;
    if (!channel.wire && reopen(channel) == -1)
        return -1;
    Wire& wire = channel.wire;
    // Logged before it goes, under the guard: a frame on the wire is in the
    // log even when a Disconnect comes while it is under way, and after a
    // Disconnect no frame goes out at all.
    if (!channel.guard.while_current(
            [&] { channel.reports.frame_logged(request.bytes.data(), request.size, LogDirection::tx); }))
        return fail(ECANCELED);
    if (wire.transport->send(wire, request) == -1) {
        int error = channel.guard.cancelled() ? ECANCELED : errno;
        wire.transport->recover(wire, error, false);
        return fail(error);
    }
    reply.sent = true;
    auto first_byte = WireClock::now() + std::chrono::milliseconds(wire.response_timeout_ms);
    if (receive_reply(channel, request, reply, first_byte) == 0)
        return 0;
    int error = errno;
    // An exception reply is this request's answer, whole and in step; after
    // anything else something of the exchange may still be on its way.
    if (reply.exception_code() == 0)
        wire.transport->recover(wire, error, channel.quick_after_silence);
    return fail(error);
}
