#pragma once
// The timing of a line that carries frames without a transaction id (RTU
// and ASCII on a serial line, RTU through a gateway): the quiet before each
// request, and the settling after a failed exchange. Nothing on such a line
// tells a late reply from the next one's but time, so the rules are:
//
//   - before each request the line has been silent for the silent interval,
//     3.5 character times (1750 us above 19200 baud);
//   - after a time-out or a bad reply it has been silent for the settle
//     interval: half the response time-out, never less than the silent
//     interval. A reply that comes late within it is passed over, and so is
//     any byte that comes meanwhile, and each starts the silence again.

#include <chrono>

#include "link/wire.hpp"

std::chrono::microseconds silent_interval(const ConnectionSettings& settings);
std::chrono::microseconds settle_interval(const Wire& wire);

// Waits until the line has been silent for interval since it was last busy,
// passing over every byte that comes meanwhile, but not beyond give_up. -1
// with errno when cancelled or the line failed.
int wait_for_silence(Wire& wire, std::chrono::microseconds interval, WireClock::time_point give_up);

// Before a request on a serial line: the silent interval.
int before_serial_send(Wire& wire);
// Returns once count bytes sent have left the line; the response time-out
// counts from then.
int after_serial_send(Wire& wire, size_t count);

// The recovery of every line without a transaction id: what the input
// held is passed over, then the settle interval (after plain silence with
// quick, only the silent interval that any request waits for).
void settle_line(Wire& wire, int error, bool quick);
