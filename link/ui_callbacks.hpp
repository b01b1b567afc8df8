#pragma once
// Main-loop callbacks posted by the worker (payload unused), and the
// posting helpers the worker uses.
//
// Log lines, status texts and refreshes are posted coalesced: while one
// callback is waiting in the main loop, newer work only adds to what it will
// do, so a fast device polled every millisecond cannot pile callbacks up in
// the queue. The screen still ends on the newest status and values.

#include <cstdint>

void show_no_device(void*);
void show_rtu_id_refused(void*);
void show_no_response(void*);
void show_link_error(void*);
void show_resolve_error(void*);
void show_not_connected(void*);
void clear_status(void*);
void refresh_values(void*);

enum class StatusKind : uint8_t {
    no_device,
    rtu_id_refused,
    no_response,
    link_error,
    resolve_error,
    not_connected,
    cleared,
};

// Kinds of work the worker leaves for the user-interface thread.
enum UiWork : unsigned {
    ui_work_log_lines = 1u << 0,  // the log queue holds lines
    ui_work_status = 1u << 1,     // a newer status is to be shown
    ui_work_values = 1u << 2,     // newer values are to be shown
};

// Worker side: marks work; only the first mark since the UI thread last
// looked posts a callback, which then does every marked kind in the order
// above. A fast device thus wakes the main loop at most once per batch of
// cycles, and the log lines of a cycle are shown before its status. While
// marks come faster than every 10 ms, the user-interface thread looks for
// them on a timer of its own instead of being woken for each.
void post_ui_work(unsigned work);

// User-interface thread: does at once what the worker has left, rather
// than at the next paced look (at most 10 ms away while the worker streams),
// e.g. so that a recording that stops holds every line logged before.
void take_pending_ui_work();

// Worker side: the status line will show kind (the newest posted wins).
void post_status(StatusKind kind);
// Worker side: refresh_values is posted unless one is still waiting; the
// callback reads the values only after it has taken the pending mark.
void post_refresh_values();

// Worker side: posts show_not_connected once after a Disconnect (clearing
// disconnect_notice), else show_link_error.
void post_link_error_or_notice();
