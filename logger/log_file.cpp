#include "logger/log_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool log_recording_active(const LogRecording& recording)
{
    return recording.fd >= 0;
}

bool open_log_file(LogRecording& recording, const char* path)
{
    int fd;
    do
        fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    close_log_file(recording);
    recording.fd = fd;
    recording.unsynced = false;
    recording.failure_reported = false;
    return true;
}

bool write_log_file(LogRecording& recording, const char* data, size_t length)
{
    if (recording.fd < 0)
        return false;
    while (length > 0) {
        ssize_t written = ::write(recording.fd, data, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0)  // a device that takes nothing would loop forever
            return false;
        data += written;
        length -= static_cast<size_t>(written);
        recording.unsynced = true;
    }
    return true;
}

bool sync_log_file(LogRecording& recording)
{
    if (recording.fd < 0 || !recording.unsynced)
        return true;
    recording.unsynced = false;
    if (::fsync(recording.fd) == 0)
        return true;
    // A device or pipe picked as the log file cannot be synced; its lines
    // were handed over all the same.
    return errno == EINVAL || errno == EROFS;
}

void close_log_file(LogRecording& recording)
{
    if (recording.fd < 0)
        return;
    sync_log_file(recording);
    ::close(recording.fd);
    recording.fd = -1;
    recording.unsynced = false;
}
