#include "logger/log_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

constexpr std::chrono::milliseconds sync_interval{1000};

struct SyncJob {
    int fd;             // owned by the job
    unsigned generation;
    bool close;         // the recording ended: flush at once, no pause after
};

// One detached thread flushes and closes log files in the order asked.
struct Syncer {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<SyncJob> jobs;
    bool busy = false;
    bool started = false;
    std::atomic<bool> sync_queued{false};
    std::atomic<unsigned> failed_generation{0};
    std::atomic<unsigned> newest_generation{0};
};

Syncer& syncer()
{
    // Never destroyed: a detached thread may still wait on it at exit.
    static Syncer& instance = *new Syncer;
    return instance;
}

bool flush_failed(int fd)
{
    if (::fsync(fd) == 0)
        return false;
    // A file system that cannot sync still has every line that was written.
    return errno != EINVAL && errno != EROFS;
}

void run_syncs()
{
    Syncer& s = syncer();
    std::unique_lock hold(s.lock);
    for (;;) {
        s.changed.wait(hold, [&] { return !s.jobs.empty(); });
        SyncJob job = s.jobs.front();
        s.jobs.pop_front();
        s.busy = true;
        hold.unlock();
        if (!job.close) {
            // Lines written from here on ask for a sync of their own.
            s.sync_queued.store(false);
        }
        if (flush_failed(job.fd))
            s.failed_generation.store(job.generation);
        ::close(job.fd);
        if (!job.close)
            std::this_thread::sleep_for(sync_interval);
        hold.lock();
        s.busy = false;
        s.changed.notify_all();
    }
}

void queue_job(const SyncJob& job)
{
    Syncer& s = syncer();
    std::lock_guard hold(s.lock);
    if (!s.started) {
        try {
            std::thread(run_syncs).detach();
            s.started = true;
        } catch (const std::system_error&) {
            // No thread: the job is done here, late rather than never.
            if (flush_failed(job.fd))
                s.failed_generation.store(job.generation);
            ::close(job.fd);
            return;
        }
    }
    s.jobs.push_back(job);
    s.changed.notify_all();
}

}  // namespace

bool log_recording_active(const LogRecording& recording)
{
    return recording.fd >= 0;
}

bool open_log_file(LogRecording& recording, const char* path)
{
    int fd;
    do
        fd = ::open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    // Emptied only once it is known to be a plain file.
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL;
    else if (::ftruncate(fd, 0) != 0)
        error = errno;
    if (error) {
        ::close(fd);
        errno = error;
        return false;
    }
    close_log_file(recording);
    recording.fd = fd;
    recording.generation = syncer().newest_generation.fetch_add(1) + 1;
    recording.failed = false;
    recording.failure_reported = false;
    return true;
}

bool write_log_file(LogRecording& recording, const char* data, size_t length)
{
    if (recording.fd < 0)
        return false;
    bool wrote = length > 0;
    while (length > 0) {
        ssize_t written = ::write(recording.fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {  // a file that takes nothing would loop forever
            recording.failed = true;
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    if (wrote && !syncer().sync_queued.exchange(true)) {
        int copy = ::fcntl(recording.fd, F_DUPFD_CLOEXEC, 0);
        if (copy >= 0)
            queue_job(SyncJob{copy, recording.generation, false});
        else
            syncer().sync_queued.store(false);
    }
    return true;
}

bool log_file_sync_failed(LogRecording& recording)
{
    if (recording.fd >= 0 && syncer().failed_generation.load() == recording.generation)
        recording.failed = true;
    return recording.failed;
}

void close_log_file(LogRecording& recording)
{
    if (recording.fd < 0)
        return;
    queue_job(SyncJob{recording.fd, recording.generation, true});
    recording.fd = -1;
}

void wait_for_log_file_syncs()
{
    Syncer& s = syncer();
    std::unique_lock hold(s.lock);
    s.changed.wait(hold, [&] { return s.jobs.empty() && !s.busy; });
}
