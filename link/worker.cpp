#include "link/worker.hpp"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "link/call_guard.hpp"
#include "link/link_state.hpp"
#include "link/poll_cycle.hpp"
#include "logger/log_queue.hpp"

namespace {

constexpr std::chrono::milliseconds start_pause{1000};

std::shared_ptr<CallGuard> current_guard;  // under wake_lock
std::mutex lifetime_lock;  // held by the one worker that cycles
std::atomic<int> threads{0};
std::atomic<int> cycling{0};
std::atomic<int> peak{0};

bool may_cycle(const CallGuard& guard)
{
    LinkState& s = link_state();
    return !s.stop_requested.load(std::memory_order_acquire) && s.running.load(std::memory_order_acquire) &&
           !guard.cancelled();
}

void count_in()
{
    int now = cycling.fetch_add(1) + 1;
    int seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
}

// The pause counts from the end of the cycle; a signal of wake ends it.
void wait_for_next_cycle(uint32_t scan_rate, const CallGuard& guard)
{
    LinkState& s = link_state();
    std::unique_lock lock(s.wake_lock);
    // The exit path, Disconnect and a newer start change their flags under
    // wake_lock, so their signal cannot fall between this check and the wait.
    // A pause of 0 ms is no pause: a timed wait would still sleep in the kernel.
    if (!may_cycle(guard) || scan_rate == 0)
        return;
    s.wake.wait_for(lock, std::chrono::milliseconds(scan_rate));
}

void cycle_while_running(CallGuard& guard)
{
    // A connection kept between cycles is this worker's alone: it is closed
    // here, when the loop ends, before the next worker may start cycling.
    KeptLink kept;
    while (may_cycle(guard)) {
        wait_for_log_room();  // a user interface that falls behind slows the polling
        PollDefinition poll = copy_poll_definition();
        ConnectionSettings settings = copy_connection_settings();
        run_poll_cycle(poll, settings, guard, kept);
        wait_for_next_cycle(poll.scan_rate, guard);
    }
}

void worker_main(std::shared_ptr<CallGuard> guard)
{
    std::this_thread::sleep_for(start_pause);
    if (may_cycle(*guard)) {
        std::lock_guard admission(lifetime_lock);
        count_in();
        cycle_while_running(*guard);
        cycling.fetch_sub(1);
    }
    threads.fetch_sub(1);
}

// Under wake_lock: a worker about to wait sees the cancel, or is already
// waiting and gets the signal that follows.
void cancel_current_guard()
{
    if (current_guard)
        current_guard->cancel();
}

}  // namespace

bool start_worker()
{
    LinkState& s = link_state();
    std::shared_ptr<CallGuard> guard = std::make_shared<CallGuard>();
    {
        std::lock_guard lock(s.wake_lock);
        cancel_current_guard();
        current_guard = guard;
    }
    s.wake.notify_all();
    threads.fetch_add(1);
    try {
        std::thread(worker_main, std::move(guard)).detach();
    } catch (const std::system_error&) {
        threads.fetch_sub(1);
        return false;
    }
    return true;
}

void cancel_worker()
{
    LinkState& s = link_state();
    {
        std::lock_guard lock(s.wake_lock);
        cancel_current_guard();
    }
    s.wake.notify_all();
}

int active_workers()
{
    return cycling.load();
}

int peak_active_workers()
{
    return peak.load();
}

void reset_peak_active_workers()
{
    peak.store(cycling.load());
}

int worker_threads()
{
    return threads.load();
}
