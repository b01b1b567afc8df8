#pragma once
// One request and its reply over the line of a cycle, whatever its
// transport: the unit id goes out as given (ids 248 to 254 too, over TCP),
// and the reply is checked against the request before anything of it is
// believed.

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/frames.hpp"
#include "link/reply_check.hpp"
#include "link/wire.hpp"
#include "link/worker_context.hpp"

// The opened line of one cycle, and the worker it serves.
struct LinkChannel {
    Wire& wire;
    WorkerContext& worker;
};

struct Reply {
    ReplyFrame received;
    ReplyCheck check;
    // Unit id and protocol data unit, as they arrived.
    const uint8_t* frame() const { return received.bytes.data(); }
};

// Whether a request to unit can go out at all: over TCP always; on a serial
// line only to 0 to 247. False with errno EINVAL when it cannot.
bool can_address(const LinkChannel& channel, uint8_t unit);

// Whether request asks more than one request may (the limits the program
// has always kept): such a request never goes out, nor is it counted.
bool too_large(const Frame& request);

// Sends request (unit id and protocol data unit) and waits for its reply:
// the first byte within the response time-out, the whole reply within the
// time its bytes take on the line and one more gap of half a second.
// Replies to earlier requests (a stale transaction id) are logged, counted
// and passed over meanwhile. 0 for a good reply; -1 with errno otherwise
// (EMBMDATA: too large to send, nothing sent; ETIMEDOUT; ECANCELED;
// EMBBADCRC, EMBBADDATA or an exception's code for a reply that arrived).
int exchange(LinkChannel& channel, const Frame& request, Reply& reply);
