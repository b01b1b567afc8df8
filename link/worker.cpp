#include "link/worker.hpp"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "link/call_guard.hpp"
#include "link/poll_round.hpp"
#include "link/poll_schedule.hpp"

namespace {

constexpr std::chrono::milliseconds start_pause{1000};

bool may_cycle(const LinkState& link, const CallGuard& guard)
{
    return !link.stop_requested.load(std::memory_order_acquire) && link.running.load(std::memory_order_acquire) &&
           !guard.cancelled();
}

void count_in(LinkState& link)
{
    int now = link.cycling.fetch_add(1) + 1;
    int seen = link.peak.load();
    while (now > seen && !link.peak.compare_exchange_weak(seen, now)) {
    }
}

bool write_is_waiting(LinkState& link)
{
    std::lock_guard lock(link.write_lock);
    return link.write_waiting;
}

// Until the next definition is due, or a change to the settings, the
// definitions or a write, which end the wait at once. A change stored
// after the worker took its copies is seen here under wake_lock, where
// signal_wake gives its signal, so none is missed.
void wait_for_next_round(LinkState& link, ScheduleClock::time_point due, uint64_t changes_seen,
                         const CallGuard& guard)
{
    std::unique_lock lock(link.wake_lock);
    if (!may_cycle(link, guard) || link.changes.load(std::memory_order_acquire) != changes_seen)
        return;
    if (due == ScheduleClock::time_point::max())
        link.wake.wait(lock);
    else
        link.wake.wait_until(lock, due);
}

void cycle_while_running(WorkerContext& worker)
{
    // A connection kept between rounds is this worker's alone: it is closed
    // here, when the loop ends, before the next worker may start cycling.
    KeptLink kept;
    PollSchedule schedule;
    std::optional<ConnectionSettings> last_settings;
    while (may_cycle(worker.link, worker.guard)) {
        worker.reports.wait_for_room();  // a user interface that falls behind slows the polling
        uint64_t changes_seen = worker.link.changes.load(std::memory_order_acquire);
        std::vector<PollEntry> entries = copy_poll_entries(worker.link);
        ConnectionSettings settings = copy_connection_settings(worker.link);
        sync_schedule(schedule, entries);
        // After a write every block is read again, so each shows what it
        // did; after new connection settings, so each shows how they work.
        if (write_is_waiting(worker.link) || last_settings != settings)
            make_all_due(schedule);
        last_settings = settings;
        std::vector<PollEntry> round = due_entries(schedule, entries, ScheduleClock::now());
        if (round.empty() && !write_is_waiting(worker.link))
            wait_for_next_round(worker.link, next_due(schedule), changes_seen, worker.guard);
        else
            run_poll_round(worker, round, settings, kept, schedule);
    }
}

void worker_main(std::shared_ptr<LinkState> link, std::shared_ptr<LinkReports> reports,
                 std::shared_ptr<CallGuard> guard, uint32_t run)
{
    std::this_thread::sleep_for(start_pause);
    if (may_cycle(*link, *guard)) {
        std::lock_guard admission(link->lifetime_lock);
        count_in(*link);
        WorkerContext worker{*link, *reports, *guard, run};
        cycle_while_running(worker);
        link->cycling.fetch_sub(1);
    }
    link->threads.fetch_sub(1);
}

// Under wake_lock: a worker about to wait sees the cancel, or is already
// waiting and gets the signal that follows.
void cancel_current_guard(LinkState& link)
{
    if (link.current_guard)
        link.current_guard->cancel();
}

}  // namespace

bool start_worker(const std::shared_ptr<LinkState>& link, std::shared_ptr<LinkReports> reports)
{
    std::shared_ptr<CallGuard> guard = std::make_shared<CallGuard>();
    {
        std::lock_guard lock(link->wake_lock);
        cancel_current_guard(*link);
        link->current_guard = guard;
    }
    link->wake.notify_all();
    link->threads.fetch_add(1);
    uint32_t run = link->runs.fetch_add(1) + 1;
    try {
        std::thread(worker_main, link, std::move(reports), std::move(guard), run).detach();
    } catch (const std::system_error&) {
        link->threads.fetch_sub(1);
        return false;
    }
    return true;
}

void cancel_worker(LinkState& link)
{
    {
        std::lock_guard lock(link.wake_lock);
        cancel_current_guard(link);
    }
    link.wake.notify_all();
}

int active_workers(const LinkState& link)
{
    return link.cycling.load();
}

int peak_active_workers(const LinkState& link)
{
    return link.peak.load();
}

void reset_peak_active_workers(LinkState& link)
{
    link.peak.store(link.cycling.load());
}

int worker_threads(const LinkState& link)
{
    return link.threads.load();
}
