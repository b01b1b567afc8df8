#pragma once
// The log file of a recording: every batch of lines goes to the operating
// system with write(2) before the caller returns, so a killed process loses
// nothing. Flushing to the storage device, and the close that may wait for
// it, happen on a thread of their own, at most once a second: a slow disk
// or network file system never stalls the user-interface thread.

#include <cstddef>

struct LogRecording {
    int fd = -1;               // the open file while recording, else -1
    unsigned generation = 0;   // tells this recording's syncs from older ones
    bool failed = false;       // a write or flush of this recording failed
    bool failure_reported = false;  // the failure was shown
};

bool log_recording_active(const LogRecording& recording);

// Creates the file or empties an existing one (never appends). Opens without
// waiting (a FIFO without a reader would block forever) and refuses anything
// but a regular file, so the recording can never stall on a pipe or device.
// On failure returns false with errno set and leaves the recording as it was.
bool open_log_file(LogRecording& recording, const char* path);

// Writes the whole text, going on after partial writes and interruptions,
// then asks for a flush to the device in the background. False if a write
// failed (recording.failed is set); the recording stays open for later lines.
bool write_log_file(LogRecording& recording, const char* data, size_t length);

// True when a background flush of this recording failed (sets recording.failed).
bool log_file_sync_failed(LogRecording& recording);

// Hands the file to the background to be flushed and closed; the recording
// is off when this returns.
void close_log_file(LogRecording& recording);

// Waits until every flush and close asked for so far is done (for tests).
void wait_for_log_file_syncs();
