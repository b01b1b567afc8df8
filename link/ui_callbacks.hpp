#pragma once
// Main-loop callbacks posted by the worker (payload unused), and the
// posting helpers the worker uses.
//
// Status texts and refreshes are posted coalesced: while one is waiting in
// the main loop, a newer one only replaces what it will show, so a fast
// device polled every millisecond cannot pile callbacks up in the queue.
// The screen still ends on the newest status and values.

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

// Worker side: the status line will show kind (the newest posted wins).
void post_status(StatusKind kind);
// Worker side: refresh_values is posted unless one is still waiting; the
// callback reads the values only after it has taken the pending mark.
void post_refresh_values();

// Worker side: posts show_not_connected once after a Disconnect (clearing
// disconnect_notice), else show_link_error.
void post_link_error_or_notice();
