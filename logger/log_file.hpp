#pragma once
// The log file of a recording: every line goes to the operating system with
// write(2) before the caller returns, so a killed process loses nothing;
// only the sync to the storage device is batched.

#include <cstddef>

struct LogRecording {
    int fd = -1;                    // the open file while recording, else -1
    bool unsynced = false;          // lines written since the last sync
    bool failure_reported = false;  // the first write failure was shown
};

bool log_recording_active(const LogRecording& recording);

// Creates the file or empties an existing one (never appends). On failure
// returns false with errno set and leaves the recording off.
bool open_log_file(LogRecording& recording, const char* path);

// Writes the whole line, going on after partial writes and interruptions.
// False if a write failed; the recording stays open for later lines.
bool write_log_file(LogRecording& recording, const char* data, size_t length);

// Flushes written lines to the device if any are pending. False on failure.
bool sync_log_file(LogRecording& recording);

// Syncs and closes the file; the recording is off afterwards.
void close_log_file(LogRecording& recording);
