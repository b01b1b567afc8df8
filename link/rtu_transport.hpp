#pragma once
// RTU frames on a serial line: the unit id and protocol data unit go out
// with their checksum after the silent interval; a reply is taken whole by
// its function code and byte count, and its checksum checked.

#include "link/wire.hpp"

extern const Transport rtu_transport;

// Shared with RTU over TCP, which carries the same frames on a socket.
// The request with its checksum in out; its size.
size_t frame_rtu(const Frame& request, uint8_t* out);
int receive_rtu_frame(Wire& wire, const Frame& request, ReplyFrame& reply, WireClock::time_point first_byte);
