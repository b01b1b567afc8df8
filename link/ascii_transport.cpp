#include "link/ascii_transport.hpp"

#include <cerrno>
#include <cstring>

#include "link/line_frames.hpp"
#include "link/reply_check.hpp"
#include "link/serial_timing.hpp"

namespace {

// The longest ASCII frame: ":", two digits per byte of frame and LRC, CR LF.
constexpr size_t max_ascii_length = 2 * (MODBUS_MAX_ADU_LENGTH + 1) + 3;

int fail(int error)
{
    errno = error;
    return -1;
}

size_t ascii_length(size_t frame_size)
{
    return frame_size ? 2 * (frame_size + 1) + 3 : 0;
}

int send_ascii(Wire& wire, const Frame& request)
{
    char text[max_ascii_length];
    size_t length = encode_ascii(request.bytes.data(), request.size, text);
    if (before_serial_send(wire) == -1 || write_all(wire, reinterpret_cast<const uint8_t*>(text), length) == -1)
        return -1;
    return after_serial_send(wire, length);
}

// Noise before the ':' is passed over; the frame ends at LF.
int receive_ascii(Wire& wire, const Frame& request, ReplyFrame& reply, WireClock::time_point first_byte)
{
    // 0 for a reply whose length only its contents tell.
    size_t expected = ascii_length(expected_reply_size(request.bytes.data(), request.size));
    ReplyDeadline deadline{first_byte};
    for (;;) {
        LineInput& in = wire.input;
        const void* colon = std::memchr(in.bytes.data(), ':', in.size);
        size_t noise = colon ? size_t(static_cast<const uint8_t*>(colon) - in.bytes.data()) : in.size;
        if (noise > 0 && wire.passed_over)
            wire.passed_over(in.bytes.data(), noise);
        consume_input(wire, noise);
        const void* end = std::memchr(in.bytes.data(), '\n', in.size);
        if (end) {
            size_t length = size_t(static_cast<const uint8_t*>(end) - in.bytes.data()) + 1;
            bool good = decode_ascii(reinterpret_cast<const char*>(in.bytes.data()), length, reply.bytes.data(),
                                     reply.size);
            if (!good)
                return fail(EMBBADCRC);  // what the input holds is passed over as the line settles
            consume_input(wire, length);
            return 0;
        }
        if (in.size > max_ascii_length)
            return fail(EMBBADCRC);
        if (in.size > 0)
            deadline.bytes_came(wire, expected);
        if (read_some(wire, deadline.now_due()) == -1)
            return -1;
    }
}

}  // namespace

const Transport ascii_transport{send_ascii, receive_ascii, settle_line};
