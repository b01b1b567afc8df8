#include "link/serial_line.hpp"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/line_frames.hpp"
#include "link/reply_check.hpp"

namespace {

using std::chrono::microseconds;

constexpr auto reply_gap = std::chrono::milliseconds(500);
// The longest ASCII frame: ":", two digits per byte of frame and LRC, CR LF.
constexpr size_t max_ascii_length = 2 * (MODBUS_MAX_ADU_LENGTH + 1) + 3;

// 3.5 character times; above 19200 baud the protocol fixes it at 1750 us.
microseconds silent_interval(const ConnectionSettings& settings)
{
    if (settings.baud_or_port > 19200)
        return microseconds(1750);
    return line_time(settings, 1) * 7 / 2;
}

int fail(int error)
{
    errno = error;
    return -1;
}

int send_ascii_frame(Wire& wire, const Frame& request)
{
    char text[max_ascii_length];
    size_t length = encode_ascii(request.bytes.data(), request.size, text);
    if (before_serial_send(wire) == -1 || write_all(wire, reinterpret_cast<const uint8_t*>(text), length) == -1)
        return -1;
    return after_serial_send(wire, length);
}

// A frame runs from ':' to LF; what comes before the ':' is noise.
int receive_ascii_frame(Wire& wire, const Frame& request, ReplyFrame& reply, WireClock::time_point first_byte)
{
    size_t expected = 2 * (expected_reply_size(request.bytes.data(), request.size) + 1) + 3;
    WireClock::time_point deadline = first_byte;
    bool started = false;
    for (;;) {
        LineInput& in = wire.input;
        const uint8_t* colon = static_cast<const uint8_t*>(std::memchr(in.bytes.data(), ':', in.size));
        consume_input(wire, colon ? size_t(colon - in.bytes.data()) : in.size);
        const void* end = std::memchr(in.bytes.data(), '\n', in.size);
        if (end) {
            size_t length = size_t(static_cast<const uint8_t*>(end) - in.bytes.data()) + 1;
            bool good = decode_ascii(reinterpret_cast<const char*>(in.bytes.data()), length, reply.bytes.data(),
                                     reply.size);
            consume_input(wire, length);
            return good ? 0 : fail(EMBBADCRC);
        }
        if (in.size > max_ascii_length)
            return fail(EMBBADCRC);
        if (read_some(wire, deadline) == -1)
            return -1;
        wire.quiet_since = WireClock::now();
        if (!started) {
            started = true;
            deadline = WireClock::now() + line_time(wire.settings, expected) + reply_gap;
        }
    }
}

}  // namespace

int before_serial_send(Wire& wire)
{
    if (wire.guard->pause_until(wire.quiet_since + silent_interval(wire.settings)) == -1)
        return -1;
    // Input only: a frame still being sent is never cut off.
    tcflush(wire.fd, TCIFLUSH);
    wire.input.size = 0;
    return 0;
}

int after_serial_send(Wire& wire, size_t count)
{
    // Waited here, where a cancel ends the wait, rather than in tcdrain.
    if (wire.guard->pause_until(WireClock::now() + line_time(wire.settings, count)) == -1)
        return -1;
    tcdrain(wire.fd);
    wire.quiet_since = WireClock::now();
    return 0;
}

void let_line_settle(Wire& wire, WireClock::time_point deadline)
{
    if (wire.guard->cancelled())
        return;
    int saved = errno;
    microseconds gap = std::max(silent_interval(wire.settings) * 3, microseconds(5000));
    wire.input.size = 0;
    while (WireClock::now() < deadline) {
        auto quiet_until = std::min(WireClock::now() + gap, deadline);
        if (wire.guard->wait_until(wire.fd, POLLIN, quiet_until) == -1)
            break;  // quiet for the whole gap, cancelled, or out of time
        uint8_t scrap[256];
        if (read(wire.fd, scrap, sizeof scrap) <= 0)
            break;
        wire.quiet_since = WireClock::now();
    }
    errno = saved;
}

const Transport rtu_transport{send_rtu_frame, receive_rtu_frame};
const Transport ascii_transport{send_ascii_frame, receive_ascii_frame};
