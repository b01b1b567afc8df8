#pragma once
// The one way out of the engine: everything a worker has to tell goes
// through the LinkReports it was given when it started.
//
// The worker calls these on its own thread, one call at a time. Frames,
// status, values and polls are reported only while the worker still speaks
// for the link (see CallGuard): a cancelled worker tells nothing more of
// them. Write reports are the exception: a write under way when the link
// was cancelled still ends, and its sender must hear how.

#include <cstddef>
#include <cstdint>

#include "link/link_state.hpp"

enum class LogDirection : uint8_t { tx, rx };

enum class StatusKind : uint8_t {
    no_device,
    rtu_id_refused,
    no_response,
    link_error,     // error: the errno of the failure
    resolve_error,  // error: the resolver's code (EAI_*)
    not_connected,
    exception,  // error: the exception code the device answered with
    cleared,
};

struct LinkStatus {
    StatusKind kind = StatusKind::cleared;
    int32_t error = 0;
    uint16_t definition = 0;  // the key of the definition it is about; 0: the link

    bool operator==(const LinkStatus&) const = default;
};

// The status line's text. modbus_strerror may fall back to strerror, which
// is not thread-safe: call it from one thread only, never the worker.
const char* link_status_text(const LinkStatus& status);
// What a write that failed says: the device's exception by its code, a
// write cut off after it went out, "Not connected", or the library's text.
// Like link_status_text, from one thread only.
const char* write_failure_text(const WriteResult& result);
// Whether the status line shows status in its error face.
bool is_error_status(StatusKind kind);

// The outcome of one poll, for the chart.
struct PollOutcome {
    PollDefinition poll;
    int64_t time_ms = 0;  // when the answer came, or the failure was known; UTC
    uint32_t run = 0;     // the worker's number: a new one means a new link
    bool ok = false;      // false: a failed poll, values is null
    const uint16_t* values = nullptr;
    unsigned count = 0;
    uint16_t key = 0;  // the definition's
};

class LinkReports {
public:
    virtual ~LinkReports() = default;

    // A frame sent or received: unit id and protocol data unit, count >= 1.
    virtual void frame_logged(const uint8_t* bytes, size_t count, LogDirection direction) = 0;
    // The newest status replaces any earlier one not yet shown.
    virtual void status_changed(const LinkStatus& status) = 0;
    // The values of a poll, good (live) or zeros after a failure.
    virtual void values_read(const PublishedValues& values) = 0;
    // Nothing of this round reached the values of the definition with key,
    // or with key 0 of every definition: what was shown is older.
    virtual void values_stale(uint16_t key) = 0;
    // The worker took the write (it is now "Pending") and, later, how it ended.
    virtual void write_taken(const WriteRequest& request) = 0;
    virtual void write_ended(const WriteResult& result) = 0;
    // Every poll's outcome, good or failed.
    virtual void poll_ended(const PollOutcome& outcome) = 0;
    // Before each round, holding no lock: may hold the worker back while
    // whoever takes the reports falls behind.
    virtual void wait_for_room() {}
};
