#include "link/wire.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

// The longest a reply's next byte may be in coming once it has begun.
constexpr auto byte_gap = std::chrono::milliseconds(500);

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

Wire& Wire::operator=(Wire&& other) noexcept
{
    if (this != &other) {
        close_line();
        transport = other.transport;
        fd = std::exchange(other.fd, -1);
        serial = std::exchange(other.serial, nullptr);
        guard = std::exchange(other.guard, nullptr);
        watched = std::exchange(other.watched, false);
        settings = other.settings;
        response_timeout_ms = other.response_timeout_ms;
        transaction = other.transaction;
        quiet_since = other.quiet_since;
        input = other.input;
        other.input.size = 0;
        passed_over = std::move(other.passed_over);
    }
    return *this;
}

void Wire::close_line()
{
    // Keeps the errno of the call that failed: closing may touch it.
    int saved = errno;
    pass_over_input(*this);
    if (guard && std::exchange(watched, false))
        guard->unwatch_socket();
    if (serial) {
        modbus_close(serial);  // closes fd too
        modbus_free(std::exchange(serial, nullptr));
    } else if (fd >= 0) {
        close(fd);
    }
    fd = -1;
    errno = saved;
}

std::chrono::microseconds line_time(const ConnectionSettings& settings, size_t count)
{
    if (settings.use_tcp || settings.baud_or_port == 0)
        return std::chrono::microseconds(0);
    unsigned bits = 1 + settings.data_bits + (settings.parity == 'N' ? 0 : 1) + settings.stop_bits;
    return std::chrono::microseconds(uint64_t(count) * bits * 1'000'000 / settings.baud_or_port);
}

WireClock::time_point ReplyDeadline::now_due() const
{
    if (!started)
        return first_byte;
    return whole == WireClock::time_point{} ? next_byte : whole;
}

void ReplyDeadline::bytes_came(const Wire& wire, size_t known_size)
{
    auto now = WireClock::now();
    if (!started) {
        started = true;
        whole = {};
    }
    // Counted from the read that told the length: a trickle of a known
    // length ends within its own time, whatever its pace.
    if (known_size && whole == WireClock::time_point{})
        whole = now + line_time(wire.settings, known_size) + byte_gap;
    next_byte = now + line_time(wire.settings, 1) + byte_gap;
}

int read_some(Wire& wire, WireClock::time_point deadline)
{
    LineInput& in = wire.input;
    for (;;) {
        if (in.size == in.bytes.size()) {
            errno = EMBBADDATA;  // more than any frame: not Modbus
            return -1;
        }
        if (wire.guard->wait_until(wire.fd, POLLIN, deadline) == -1)
            return -1;
        ssize_t got = read(wire.fd, in.bytes.data() + in.size, in.bytes.size() - in.size);
        if (got > 0) {
            in.size += size_t(got);
            wire.quiet_since = WireClock::now();
            return 0;
        }
        if (got == 0) {
            // The peer closed the connection; on a serial line, the device is gone.
            errno = wire.settings.use_tcp ? ECONNRESET : EIO;
            return -1;
        }
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
    }
}

int write_all(Wire& wire, const uint8_t* bytes, size_t count)
{
    if (!wire) {
        errno = ENOTCONN;
        return -1;
    }
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

void consume_input(Wire& wire, size_t count)
{
    LineInput& in = wire.input;
    if (count >= in.size) {
        in.size = 0;
        return;
    }
    std::copy(in.bytes.begin() + long(count), in.bytes.begin() + long(in.size), in.bytes.begin());
    in.size -= count;
}

void pass_over_input(Wire& wire)
{
    if (wire.input.size > 0 && wire.passed_over)
        wire.passed_over(wire.input.bytes.data(), wire.input.size);
    wire.input.size = 0;
}

int pass_over_pending(Wire& wire)
{
    if (!wire) {
        errno = ENOTCONN;
        return -1;
    }
    size_t passed = wire.input.size;
    pass_over_input(wire);
    for (;;) {
        LineInput& in = wire.input;
        ssize_t got = wire.settings.use_tcp ? recv(wire.fd, in.bytes.data(), in.bytes.size(), MSG_DONTWAIT)
                                            : read(wire.fd, in.bytes.data(), in.bytes.size());
        if (got > 0) {
            in.size = size_t(got);
            passed += size_t(got);
            wire.quiet_since = WireClock::now();
            pass_over_input(wire);
            continue;
        }
        // A serial port in raw mode reads 0 when nothing waits; a socket
        // reads 0 only when the peer closed it.
        if (got == 0 && !wire.settings.use_tcp)
            return int(passed);
        if (got == 0) {
            errno = ECONNRESET;
            return -1;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? int(passed) : -1;
    }
}
