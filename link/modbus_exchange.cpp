#include "link/modbus_exchange.hpp"

#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

// The gap the library allows between two bytes by default; here it is
// allowed once for the whole reply.
constexpr int reply_gap_ms = 500;
constexpr size_t rtu_checksum_size = 2;

unsigned quantity_of(const Frame& request)
{
    return unsigned(request.bytes[4]) << 8 | request.bytes[5];
}

// The library's own limits per request.
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

// The time the rest of a reply may take after its first byte.
int reply_allowance_ms(const ConnectionSettings& settings, size_t frame_size)
{
    if (settings.use_tcp || settings.baud_or_port == 0)
        return reply_gap_ms;
    unsigned bits = 1 + settings.data_bits + (settings.parity == 'N' ? 0 : 1) + settings.stop_bits;
    size_t bytes = frame_size + rtu_checksum_size;
    return static_cast<int>(bytes * bits * 1000 / settings.baud_or_port) + reply_gap_ms;
}

// On a serial line a reply that comes too late, or the rest of a damaged
// one, would be taken for the answer to the next request: what arrives is
// discarded until the line has been quiet for a whole response time-out
// (for at most three of them, should the line never fall quiet).
void let_line_settle(LinkChannel& link)
{
    if (link.settings.use_tcp || link.guard.cancelled())
        return;
    int saved = errno;
    int fd = modbus_get_socket(link.context);
    auto limit = std::chrono::steady_clock::now() + 3 * std::chrono::milliseconds(link.response_timeout_ms);
    uint8_t scrap[256];
    while (std::chrono::steady_clock::now() < limit && link.guard.wait_readable(fd, link.response_timeout_ms) == 0)
        if (read(fd, scrap, sizeof scrap) <= 0)
            break;
    errno = saved;
}

int fail(int error)
{
    errno = error;
    return -1;
}

int receive_reply(LinkChannel& link, const Frame& request, Reply& reply)
{
    if (link.guard.wait_readable(modbus_get_socket(link.context), link.response_timeout_ms) == -1)
        return -1;
    // With the byte time-out switched off at open, the response time-out
    // bounds the whole rest of the reply.
    int allowance = reply_allowance_ms(link.settings, expected_reply_size(request.bytes.data(), request.size));
    modbus_set_response_timeout(link.context, allowance / 1000, (allowance % 1000) * 1000);
    int size = modbus_receive_confirmation(link.context, reply.bytes.data());
    if (link.guard.cancelled())
        return fail(ECANCELED);
    if (size == -1)
        return -1;
    // 0: on a serial line, a reply of another unit, which the library drops.
    if (size == 0)
        return fail(EMBBADDATA);
    reply.size = static_cast<size_t>(size);
    reply.check = check_reply(link.settings.use_tcp, request.bytes.data(), request.size, reply.bytes.data(),
                              reply.size);
    return reply.check.error ? fail(reply.check.error) : 0;
}

}  // namespace

bool can_address(LinkChannel& link, uint8_t unit)
{
    return link.settings.use_tcp || modbus_set_slave(link.context, unit) == 0;
}

int exchange(LinkChannel& link, const Frame& request, Reply& reply)
{
    reply = Reply{};
    if (too_large(request))
        return fail(EMBMDATA);
    if (!can_address(link, request.bytes[0]))
        return -1;
    modbus_flush(link.context);
    if (modbus_send_raw_request(link.context, request.bytes.data(), static_cast<int>(request.size)) == -1)
        return link.guard.cancelled() ? fail(ECANCELED) : -1;
    if (receive_reply(link, request, reply) == 0)
        return 0;
    let_line_settle(link);
    return -1;
}
