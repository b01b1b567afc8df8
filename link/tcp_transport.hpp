#pragma once
// Modbus TCP frames: each request carries a transaction id of its own, and
// a reply that carries another is the answer to an earlier request, which
// the exchange passes over. A header that cannot be Modbus TCP leaves the
// stream without a known frame boundary: the connection is closed then,
// and the exchange opens it anew before the next request.

#include "link/wire.hpp"

extern const Transport tcp_transport;
