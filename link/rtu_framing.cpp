// RTU frames on any line: a serial port, or a TCP socket to a gateway that
// passes them through. The unit id and protocol data unit go out with their
// checksum; a reply is taken whole by its function code and byte count.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/line_frames.hpp"
#include "link/reply_check.hpp"
#include "link/serial_line.hpp"
#include "link/wire.hpp"

namespace {

constexpr size_t checksum_size = 2;
constexpr auto reply_gap = std::chrono::milliseconds(500);

int fail(int error)
{
    errno = error;
    return -1;
}

void drain_socket(Wire& wire)
{
    wire.input.size = 0;
    uint8_t scrap[256];
    while (recv(wire.fd, scrap, sizeof scrap, MSG_DONTWAIT) > 0) {
    }
}

// A socket the peer closed, or that a cancel shut down, fails the send
// with EPIPE; without MSG_NOSIGNAL it would also raise SIGPIPE, which ends
// the whole program. A serial port has no such signal.
ssize_t put_on_line(const Wire& wire, const uint8_t* bytes, size_t count)
{
    if (wire.settings.use_tcp)
        return send(wire.fd, bytes, count, MSG_NOSIGNAL);
    return write(wire.fd, bytes, count);
}

}  // namespace

int write_all(Wire& wire, const uint8_t* bytes, size_t count)
{
    while (count > 0) {
        ssize_t sent = put_on_line(wire, bytes, count);
        if (sent > 0) {
            bytes += sent;
            count -= size_t(sent);
        } else if (sent == -1 && errno == EINTR) {
            continue;
        } else if (sent == -1 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            auto patience = WireClock::now() + std::chrono::milliseconds(wire.response_timeout_ms);
            if (wire.guard->wait_until(wire.fd, POLLOUT, patience) == -1)
                return -1;
        } else {
            return -1;
        }
    }
    return 0;
}

int send_rtu_frame(Wire& wire, const Frame& request)
{
    uint8_t framed[max_frame_size + checksum_size];
    std::memcpy(framed, request.bytes.data(), request.size);
    uint16_t crc = rtu_checksum(request.bytes.data(), request.size);
    framed[request.size] = uint8_t(crc & 0xFF);
    framed[request.size + 1] = uint8_t(crc >> 8);
    size_t total = request.size + checksum_size;
    if (wire.settings.use_tcp) {
        // Without a transaction id, what a gateway sent late is told from
        // the next reply only by being dropped before the request.
        drain_socket(wire);
        return write_all(wire, framed, total);
    }
    if (before_serial_send(wire) == -1 || write_all(wire, framed, total) == -1)
        return -1;
    return after_serial_send(wire, total);
}

int receive_rtu_frame(Wire& wire, const Frame& request, ReplyFrame& reply, WireClock::time_point first_byte)
{
    size_t expected = expected_reply_size(request.bytes.data(), request.size) + checksum_size;
    WireClock::time_point deadline = first_byte;
    bool started = wire.input.size > 0;
    if (started)
        deadline = WireClock::now() + line_time(wire.settings, expected) + reply_gap;
    for (;;) {
        const uint8_t* bytes = wire.input.bytes.data();
        size_t length = reply_length_so_far(bytes, wire.input.size, checksum_size);
        if (length == SIZE_MAX || length > MODBUS_RTU_MAX_ADU_LENGTH)
            return fail(EMBBADDATA);
        if (length != 0 && wire.input.size >= length) {
            uint16_t crc = rtu_checksum(bytes, length - checksum_size);
            if (bytes[length - 2] != (crc & 0xFF) || bytes[length - 1] != (crc >> 8))
                return fail(EMBBADCRC);
            reply.size = length - checksum_size;
            std::memcpy(reply.bytes.data(), bytes, reply.size);
            consume_input(wire, length);
            return 0;
        }
        if (read_some(wire, deadline) == -1)
            return -1;
        if (!wire.settings.use_tcp)
            wire.quiet_since = WireClock::now();
        if (!started) {
            started = true;
            deadline = WireClock::now() + line_time(wire.settings, expected) + reply_gap;
        }
    }
}
