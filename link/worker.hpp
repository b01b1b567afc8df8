#pragma once
// The worker thread: one at a time, cycling while the link runs.

// Starts a detached worker. False if the thread could not be started.
bool start_worker();
// How many workers are cycling or waiting to cycle right now (for tests).
int active_workers();
