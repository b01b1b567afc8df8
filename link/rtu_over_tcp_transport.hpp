#pragma once
// RTU frames through a gateway that passes them to a serial line as they
// are: a TCP socket, but no transaction id. A late reply is told from the
// next one only by time, as on the serial line itself: the line is settled
// after a failure (link/serial_timing.hpp), and what the socket holds
// before a request is passed over.

#include "link/wire.hpp"

extern const Transport rtu_over_tcp_transport;
