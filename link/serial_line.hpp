#pragma once
// The timing of a serial line around the frames of either framing, and the
// frames' own functions, shared by the transports.

#include "link/wire.hpp"

// Waits out the silent interval since the line was last busy (3.5
// character times; a fixed 1.75 ms above 19200 baud), then drops what the
// line holds. -1 with errno when cancelled.
int before_serial_send(Wire& wire);
// Returns once count bytes sent have left the line; the response time-out
// counts from then.
int after_serial_send(Wire& wire, size_t count);
// After a failed exchange: reads and drops until the line has been quiet
// for a few character times, at most until deadline.
void let_line_settle(Wire& wire, WireClock::time_point deadline);

// Writes every byte, waiting while the line is full.
int write_all(Wire& wire, const uint8_t* bytes, size_t count);

int send_rtu_frame(Wire& wire, const Frame& request);
int receive_rtu_frame(Wire& wire, const Frame& request, ReplyFrame& reply, WireClock::time_point first_byte);
