#include "link/worker.hpp"

#include <chrono>
#include <thread>

#include "link/link_state.hpp"

namespace {

std::atomic<int> workers{0};
std::atomic<int> peak{0};

// A placeholder cycle: waits scan_rate on wake until the link stops.
void worker_main()
{
    LinkState& s = link_state();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    workers.fetch_add(1);
    while (!s.stop_requested.load() && s.running.load()) {
        PollDefinition poll = copy_poll_definition();
        std::unique_lock lock(s.wake_lock);
        s.wake.wait_for(lock, std::chrono::milliseconds(poll.scan_rate));
    }
    workers.fetch_sub(1);
}

}  // namespace

bool start_worker()
{
    try {
        std::thread(worker_main).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

int active_workers()
{
    return workers.load();
}

int peak_active_workers()
{
    return peak.load();
}

void reset_peak_active_workers()
{
    peak.store(workers.load());
}
