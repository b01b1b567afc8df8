#pragma once
// The worker thread: one at a time, cycling while the link runs.

// Starts a detached worker. False if the thread could not be started.
bool start_worker();
// How many workers are inside their cycling loop right now (after the start
// pause and admission); never more than one.
int active_workers();
// The most workers ever seen cycling at once since the last reset (for tests).
int peak_active_workers();
void reset_peak_active_workers();
