#include "link/serial_timing.hpp"

#include <poll.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>

namespace {

using std::chrono::microseconds;

// A line that never falls silent (a device that chatters) is settled this
// many settle intervals at most; the reply check still guards the next one.
constexpr int most_settle_intervals = 8;

}  // namespace

microseconds silent_interval(const ConnectionSettings& settings)
{
    if (settings.use_tcp || settings.baud_or_port > 19200)
        return microseconds(1750);
    return line_time(settings, 1) * 7 / 2;
}

microseconds settle_interval(const Wire& wire)
{
    microseconds half_timeout = std::chrono::milliseconds(wire.response_timeout_ms) / 2;
    return std::max(half_timeout, silent_interval(wire.settings));
}

int wait_for_silence(Wire& wire, microseconds interval, WireClock::time_point give_up)
{
    for (;;) {
        auto quiet_until = std::min(wire.quiet_since + interval, give_up);
        if (wire.guard->wait_until(wire.fd, POLLIN, quiet_until) == -1)
            return errno == ETIMEDOUT ? 0 : -1;
        int passed = pass_over_pending(wire);
        if (passed == -1)
            return -1;
        if (passed == 0) {
            // Readable with nothing to read: the port hung up.
            errno = EIO;
            return -1;
        }
        if (WireClock::now() >= give_up)
            return 0;
    }
}

int before_serial_send(Wire& wire)
{
    // Whatever came since the last exchange is shown, and a byte that came
    // restarts the silence.
    return wait_for_silence(wire, silent_interval(wire.settings), WireClock::time_point::max());
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

void settle_line(Wire& wire, int error, bool quick)
{
    if (!wire || error == ECANCELED || wire.guard->cancelled())
        return;
    int saved = errno;
    bool silence = error == ETIMEDOUT && wire.input.size == 0;
    pass_over_input(wire);
    if (!(quick && silence)) {
        microseconds interval = settle_interval(wire);
        // The silence counts from the failure: a reply that comes just after
        // its request's time-out is the one that must not pass for the next.
        wire.quiet_since = WireClock::now();
        wait_for_silence(wire, interval, WireClock::now() + interval * most_settle_intervals);
    }
    errno = saved;
}
