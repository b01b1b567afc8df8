// Modbus TCP frames: each request carries a transaction id of its own, and
// a reply that carries another is the answer to an earlier request, which
// the exchange passes over.

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "link/line_frames.hpp"
#include "link/serial_line.hpp"
#include "link/wire.hpp"

namespace {

constexpr auto reply_gap = std::chrono::milliseconds(500);
// Unit id and the longest protocol data unit.
constexpr size_t max_tcp_frame = 254;

int fail(int error)
{
    errno = error;
    return -1;
}

unsigned word_at(const uint8_t* bytes)
{
    return unsigned(bytes[0]) << 8 | bytes[1];
}

int send_tcp_frame(Wire& wire, const Frame& request)
{
    uint8_t framed[tcp_header_size + max_frame_size];
    ++wire.transaction;  // wraps at 65535 to 0, as transaction ids may
    write_tcp_header(wire.transaction, request.size, framed);
    std::memcpy(framed + tcp_header_size, request.bytes.data(), request.size);
    return write_all(wire, framed, tcp_header_size + request.size);
}

int receive_tcp_frame(Wire& wire, const Frame&, ReplyFrame& reply, WireClock::time_point first_byte)
{
    WireClock::time_point deadline = first_byte;
    bool started = wire.input.size > 0;
    if (started)
        deadline = WireClock::now() + reply_gap;
    for (;;) {
        const uint8_t* bytes = wire.input.bytes.data();
        if (wire.input.size >= tcp_header_size) {
            size_t length = word_at(bytes + 4);
            if (word_at(bytes + 2) != 0 || length < 2 || length > max_tcp_frame)
                return fail(EMBBADDATA);  // the stream is not Modbus TCP
            // A length that its function code contradicts is told at once,
            // not after waiting for bytes that will never come.
            size_t implied = reply_length_so_far(bytes + tcp_header_size, wire.input.size - tcp_header_size, 0);
            if (implied != 0 && implied != length)
                return fail(EMBBADDATA);
            if (wire.input.size >= tcp_header_size + length) {
                reply.size = length;
                reply.stale = word_at(bytes) != wire.transaction;
                std::memcpy(reply.bytes.data(), bytes + tcp_header_size, length);
                consume_input(wire, tcp_header_size + length);
                return 0;
            }
        }
        if (read_some(wire, deadline) == -1)
            return -1;
        if (!started) {
            started = true;
            deadline = WireClock::now() + reply_gap;
        }
    }
}

}  // namespace

const Transport tcp_transport{send_tcp_frame, receive_tcp_frame};
const Transport rtu_over_tcp_transport{send_rtu_frame, receive_rtu_frame};
