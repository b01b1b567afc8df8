#pragma once
// One request and its reply over the link of a cycle, through the library's
// raw calls: the unit id goes out as given (ids 248 to 254 too, over TCP),
// and the reply is checked against the request before anything of it is
// believed.

#include <modbus.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/call_guard.hpp"
#include "link/frames.hpp"
#include "link/link_state.hpp"
#include "link/reply_check.hpp"

// The opened link of one cycle.
struct LinkChannel {
    modbus_t* context;
    CallGuard& guard;
    const ConnectionSettings& settings;
    int response_timeout_ms;  // the one in force (the library's when the setting is 0)
};

struct Reply {
    std::array<uint8_t, MODBUS_MAX_ADU_LENGTH> bytes{};
    size_t size = 0;
    ReplyCheck check;
    // Unit id and protocol data unit, as they arrived.
    const uint8_t* frame() const { return bytes.data() + check.frame_offset; }
};

// Whether a request to unit can go out at all: over TCP always; on a serial
// line the library must select the unit to accept its reply, and selects
// only 0 to 247. False with errno when it cannot.
bool can_address(LinkChannel& link, uint8_t unit);

// Discards what the line holds, sends request (unit id and protocol data
// unit) and waits for its reply: the first byte within the response
// time-out, the whole reply within the time its bytes take on the line and
// one more gap of half a second. 0 for a good reply; -1 with errno otherwise
// (EMBMDATA: too large to send, nothing sent; ETIMEDOUT; ECANCELED; and
// EMBBADDATA or an exception's code for a reply that arrived).
int exchange(LinkChannel& link, const Frame& request, Reply& reply);
