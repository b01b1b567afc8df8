#include "link/link_state.hpp"

LinkState& link_state()
{
    // Never destroyed: a worker may still be inside a cycle when the
    // process ends, and must not find its state torn down.
    static LinkState* state = new LinkState;
    return *state;
}

void reset_link_state()
{
    LinkState& s = link_state();
    {
        std::lock_guard lock(s.settings_lock);
        s.poll = PollDefinition{};
        s.connection = ConnectionSettings{};
    }
    s.write.slave = 1;
    s.write.fcode = 6;
    s.write.address = 0;
    s.write.value = 0;
    s.write.count = 1;
    for (std::atomic<uint16_t>& word : s.write.words)
        word = 0;
    s.write.width = 1;
    s.write_failed = false;
    s.write_cancelled = false;
    s.write_errno = 0;
    s.write_done = true;
    for (auto& v : s.values)
        v.store(0, std::memory_order_relaxed);
    s.value_count = 0;
    s.running = false;
    s.stop_requested = false;
    s.disconnect_notice = false;
    s.last_errno = 0;
}

PollDefinition copy_poll_definition()
{
    LinkState& s = link_state();
    std::lock_guard lock(s.settings_lock);
    return s.poll;
}

void store_poll_definition(const PollDefinition& poll)
{
    LinkState& s = link_state();
    std::lock_guard lock(s.settings_lock);
    s.poll = poll;
}

ConnectionSettings copy_connection_settings()
{
    LinkState& s = link_state();
    std::lock_guard lock(s.settings_lock);
    return s.connection;
}

void store_connection_settings(const ConnectionSettings& settings)
{
    LinkState& s = link_state();
    std::lock_guard lock(s.settings_lock);
    s.connection = settings;
}

void signal_wake()
{
    link_state().wake.notify_one();
}

void request_stop()
{
    LinkState& s = link_state();
    {
        std::lock_guard lock(s.wake_lock);
        s.stop_requested.store(true, std::memory_order_release);
    }
    s.wake.notify_one();
}
