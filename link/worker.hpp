#pragma once
// The worker thread: one at a time, cycling while the link runs.
//
// Every start makes a new generation; a worker whose generation is no longer
// the newest ends at its next check. A worker also holds a lifetime lock
// while it cycles, which the next one takes (on its own thread) before its
// first cycle, so an old worker still inside a slow cycle never runs beside
// a new one.

// Starts a detached worker that sleeps 1000 ms and then cycles until
// running is false, stop_requested is set or a newer worker is started.
// False if the thread could not be started.
bool start_worker();
// How many workers are inside their cycling loop right now (after the start
// pause and admission); never more than one.
int active_workers();
// The most workers ever seen cycling at once since the last reset (for tests).
int peak_active_workers();
void reset_peak_active_workers();
// How many worker threads exist, sleeping, waiting for admission or cycling
// (for tests that must see every thread end).
int worker_threads();
