#pragma once
// The worker's side of the single pending write.

#include <modbus.h>

#include "link/cycle_buffers.hpp"

// The write-trouble mark with the error code that set it.
struct WriteTrouble {
    bool marked = false;
    int error = 0;
};

// True while the UI has a write waiting (write_done false).
bool write_pending();

// Selects the write's slave, reports "Pending", carries the write out unless
// it was cancelled, publishes the result, reports it and pauses 50 ms.
WriteTrouble carry_out_pending_write(modbus_t* context, CycleBuffers& buffers);

// The link could not be opened: a pending write is reported as failed with
// error (0 tells the dialog the link was not connected).
void fail_pending_write(int error);

// Posts report_write with the Write dialog as its data.
void post_report_write();
