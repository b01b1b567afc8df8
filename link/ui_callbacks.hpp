#pragma once
// Main-loop callbacks posted by the worker (payload unused), and the
// posting helpers that pick between the link error and "Not connected".

void show_no_device(void*);
void show_rtu_id_refused(void*);
void show_no_response(void*);
void show_link_error(void*);
void show_not_connected(void*);
void clear_status(void*);
void refresh_values(void*);

// Worker side: posts show_not_connected once after a Disconnect (clearing
// disconnect_notice), else show_link_error.
void post_link_error_or_notice();
