#pragma once
// One request and its reply, whatever the transport and whoever asks: the
// poll's reads, the writes and the scan's probes all go through exchange.
// The unit id goes out as given (ids 248 to 254 too, over TCP); every frame
// that goes on the wire or comes off it is logged; the reply is checked
// against the request before anything of it is believed; and a failure
// leaves the line clean for the next request, or closed, to be opened anew
// before it.

#include <cstddef>
#include <cstdint>

#include "link/frames.hpp"
#include "link/link_reports.hpp"
#include "link/link_statistics.hpp"
#include "link/reply_check.hpp"
#include "link/wire.hpp"

// The line of a poll round or a scan, and where its exchanges report. The
// wire may be closed: the next exchange opens it anew with settings.
struct LinkChannel {
    Wire& wire;
    const ConnectionSettings& settings;
    LinkReports& reports;
    CallGuard& guard;
    // The link's figures: replies passed over as stale, connections made
    // anew. None for the scan.
    LinkStatistics* statistics = nullptr;
    // After plain silence only the silent interval before the next request
    // (the scan, which checks every reply's unit id), not the settle interval.
    bool quick_after_silence = false;
};

struct Reply {
    ReplyFrame received;
    ReplyCheck check;
    bool sent = false;  // the request went on the wire
    // Unit id and protocol data unit, as they arrived.
    const uint8_t* frame() const { return received.bytes.data(); }
    // The code of an exception reply; 0 for any other.
    uint8_t exception_code() const;
};

// Whether a request to unit can go out at all: over TCP always; on a serial
// line only to 0 to 247. False with errno EINVAL when it cannot.
bool can_address(const ConnectionSettings& settings, uint8_t unit);

// Whether request asks more than one request may (125 registers or 2000
// bits to read, 123 registers or 1968 bits to write): such a request never
// goes out, nor is it logged or counted.
bool too_large(const Frame& request);

// Bytes passed over, logged as they came to reports while guard is current.
PassedOver log_passed_over(LinkReports& reports, CallGuard& guard);

// Sends request (unit id and protocol data unit) and waits for its reply:
// the first byte within the response time-out, the rest as the transport's
// deadline allows. Replies to earlier requests (a stale transaction id) are
// logged, counted and passed over meanwhile. A closed line is opened anew
// first (counted as a connection). 0 for a good reply; -1 with errno
// otherwise: EMBMDATA (too large, nothing sent), EINVAL (a unit the line
// cannot address), ETIMEDOUT, ECANCELED, EMBBADCRC, EMBBADDATA, an
// exception's code, or the error of the line or of its opening.
int exchange(LinkChannel& channel, const Frame& request, Reply& reply);
