#include "link/wire.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

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
    }
    return *this;
}

void Wire::close_line()
{
    // Keeps the errno of the call that failed: closing may touch it.
    int saved = errno;
    if (guard && std::exchange(watched, false))
        guard->unwatch_socket();
    if (serial) {
        modbus_close(serial);  // closes fd too
        modbus_free(std::exchange(serial, nullptr));
    } else if (fd >= 0) {
        close(fd);
    }
    fd = -1;
    input.size = 0;
    errno = saved;
}

std::chrono::microseconds line_time(const ConnectionSettings& settings, size_t count)
{
    if (settings.use_tcp || settings.baud_or_port == 0)
        return std::chrono::microseconds(0);
    unsigned bits = 1 + settings.data_bits + (settings.parity == 'N' ? 0 : 1) + settings.stop_bits;
    return std::chrono::microseconds(uint64_t(count) * bits * 1'000'000 / settings.baud_or_port);
}

bool peer_still_there(Wire& wire)
{
    if (wire.fd < 0)
        return false;
    uint8_t byte;
    ssize_t got = recv(wire.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    // 0: the peer closed; bytes waiting are a late reply, which its
    // transaction id will tell from the next one.
    return got > 0 || (got == -1 && (errno == EAGAIN || errno == EWOULDBLOCK));
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
