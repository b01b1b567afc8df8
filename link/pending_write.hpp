#pragma once
// The worker's side of the single pending write.

#include "link/modbus_exchange.hpp"
#include "link/worker_context.hpp"

// The write-trouble mark with the error code that set it.
struct WriteTrouble {
    bool marked = false;
    int error = 0;
};

// Carries out a write the worker has taken (take_waiting_write): reports it
// taken ("Pending"), logs the request, sends it and checks the reply,
// publishes the result for the request's sequence number, reports it and
// pauses 50 ms.
WriteTrouble carry_out_write(WorkerContext& worker, LinkChannel& channel, const WriteRequest& request);

// The link could not be opened: a waiting write, if the worker may take it,
// ends as failed with error (0 tells the sender the link was not connected).
void fail_waiting_write(WorkerContext& worker, int error);
