#include "link/tcp_transport.hpp"

#include <cerrno>
#include <cstring>

#include "link/line_frames.hpp"
#include "link/reply_check.hpp"

namespace {

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

int send_tcp(Wire& wire, const Frame& request)
{
    uint8_t framed[tcp_header_size + max_frame_size];
    ++wire.transaction;  // wraps at 65535 to 0, as transaction ids may
    write_tcp_header(wire.transaction, request.size, framed);
    std::memcpy(framed + tcp_header_size, request.bytes.data(), request.size);
    return write_all(wire, framed, tcp_header_size + request.size);
}

// The length of the frame the header at bytes announces; 0 when the header
// cannot be a Modbus TCP reply's.
size_t announced_length(const uint8_t* bytes, size_t have)
{
    size_t length = word_at(bytes + 4);
    if (word_at(bytes + 2) != 0 || length < 2 || length > max_tcp_frame)
        return 0;
    // A length that its function code contradicts is told at once, not
    // after waiting for bytes that will never come.
    size_t implied = reply_length_so_far(bytes + tcp_header_size, have - tcp_header_size, 0);
    return implied != 0 && implied != length ? 0 : length;
}

int receive_tcp(Wire& wire, const Frame&, ReplyFrame& reply, WireClock::time_point first_byte)
{
    ReplyDeadline deadline{first_byte};
    for (;;) {
        const uint8_t* bytes = wire.input.bytes.data();
        size_t length = 0;
        if (wire.input.size >= tcp_header_size) {
            length = announced_length(bytes, wire.input.size);
            if (length == 0)
                return fail(EMBBADDATA);  // the stream is not Modbus TCP
            if (wire.input.size >= tcp_header_size + length) {
                reply.size = length;
                reply.stale = word_at(bytes) != wire.transaction;
                std::memcpy(reply.bytes.data(), bytes + tcp_header_size, length);
                consume_input(wire, tcp_header_size + length);
                return 0;
            }
        }
        // A server sends its reply whole: however long, it has one gap from
        // its first byte to its last, as if its length were known from the start.
        if (wire.input.size > 0)
            deadline.bytes_came(wire, length ? tcp_header_size + length : tcp_header_size);
        if (read_some(wire, deadline.now_due()) == -1)
            return -1;
    }
}

// Silence and a whole reply leave the stream in step: a late reply will
// carry its own transaction id. A byte left over is part of a frame whose
// start or end is lost, so nothing after it can be trusted; and a line
// that failed is of no more use.
void recover_tcp(Wire& wire, int error, bool)
{
    if (error == ECANCELED)
        return;
    if (wire.input.size > 0 || !(error == ETIMEDOUT || is_reply_failure(error)))
        wire.close_line();
}

}  // namespace

const Transport tcp_transport{send_tcp, receive_tcp, recover_tcp};
