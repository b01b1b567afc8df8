#include "link/call_guard.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

CallGuard::CallGuard() : wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CallGuard::~CallGuard()
{
    if (wake_fd_ >= 0)
        close(wake_fd_);
}

void CallGuard::cancel()
{
    std::lock_guard lock(lock_);
    if (cancelled_.exchange(true, std::memory_order_acq_rel))
        return;
    if (socket_ >= 0)
        shutdown(socket_, SHUT_RDWR);
    if (wake_fd_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(wake_fd_, &one, sizeof one);
    }
}

void CallGuard::watch_socket(int fd)
{
    std::lock_guard lock(lock_);
    socket_ = fd;
    if (cancelled())
        shutdown(fd, SHUT_RDWR);
}

void CallGuard::unwatch_socket()
{
    std::lock_guard lock(lock_);
    socket_ = -1;
}

int CallGuard::wait_until(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    using Clock = std::chrono::steady_clock;
    pollfd fds[2] = {{fd, events, 0}, {wake_fd_, POLLIN, 0}};
    nfds_t count = fd >= 0 ? 2 : 1;
    pollfd* watched = fd >= 0 ? fds : fds + 1;
    for (;;) {
        if (cancelled()) {
            errno = ECANCELED;
            return -1;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        // Rounded up: a wait of less than a millisecond is still a wait.
        if (deadline > Clock::now() && left == 0)
            left = 1;
        if (left < 0)
            left = 0;
        int ready = poll(watched, wake_fd_ >= 0 ? count : count - 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            return -1;
        if (ready > 0 && fd >= 0 && fds[0].revents && !cancelled())
            return 0;
        if (ready == 0 && left == 0) {
            errno = ETIMEDOUT;
            return -1;
        }
    }
}

int CallGuard::pause_until(std::chrono::steady_clock::time_point deadline)
{
    if (wait_until(-1, 0, deadline) == -1 && errno == ECANCELED)
        return -1;
    return 0;
}
