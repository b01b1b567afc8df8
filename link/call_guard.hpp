#pragma once
// Lets the user-interface thread end a worker's blocking calls at once, and
// tells the worker whether it still speaks for the link.
//
// Disconnect and a newer Connect cancel the worker's guard. From then on the
// worker's waits for a reply return at once, its TCP socket is shut down (so
// a call inside the library returns too), and it publishes nothing more. The
// socket is shut down only while the worker has it registered, under the
// guard's lock, so a descriptor already closed and perhaps reused by someone
// else is never touched.

#include <atomic>
#include <chrono>
#include <mutex>

class CallGuard {
public:
    CallGuard();
    ~CallGuard();
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;

    // Any thread; lasts for the life of the guard.
    void cancel();
    bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // Worker: the connected socket to shut down on cancel, and its release
    // before the socket is closed.
    void watch_socket(int fd);
    void unwatch_socket();

    // Worker: waits until fd is ready for events (POLLIN, POLLOUT) or the
    // deadline passes. 0, or -1 with errno ETIMEDOUT or ECANCELED.
    int wait_until(int fd, short events, std::chrono::steady_clock::time_point deadline);
    // Worker: sleeps until deadline unless cancelled first (-1, ECANCELED).
    int pause_until(std::chrono::steady_clock::time_point deadline);

    // Worker: runs publish only while the guard is not cancelled; a cancel
    // waits for a publication under way, so none lands after it.
    template <typename Publish>
    bool while_current(Publish&& publish)
    {
        std::lock_guard lock(lock_);
        if (cancelled())
            return false;
        publish();
        return true;
    }

private:
    std::mutex lock_;  // guards socket_ and orders cancel with publications
    int socket_ = -1;
    int wake_fd_ = -1;  // becomes readable on cancel
    std::atomic<bool> cancelled_{false};
};
