#include "link/link_state.hpp"

#include <algorithm>

#include "link/call_guard.hpp"

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
    {
        std::lock_guard lock(s.write_lock);
        s.write = WriteRequest{};
        s.write_waiting = false;
        s.write_result = WriteResult{};
    }
    clear_values();
    s.running = false;
    s.stop_requested = false;
    s.disconnect_notice = false;
    s.last_errno = 0;
    s.last_resolve_error = 0;
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

bool same_block(const PollDefinition& a, const PollDefinition& b)
{
    return a.slave == b.slave && a.fcode == b.fcode && a.address == b.address && a.length == b.length;
}

uint32_t hand_over_write(WriteRequest request, bool running)
{
    LinkState& s = link_state();
    std::lock_guard lock(s.write_lock);
    // Numbers go on from the last request, so a late result of an earlier
    // write can never be taken for this one.
    request.sequence = s.write.sequence + 1;
    s.write = request;
    s.write_waiting = running;
    if (!running)
        s.write_result = WriteResult{request.sequence, true, 0};
    return request.sequence;
}

bool withdraw_write(uint32_t sequence)
{
    LinkState& s = link_state();
    std::lock_guard lock(s.write_lock);
    if (!s.write_waiting || s.write.sequence != sequence)
        return false;
    s.write_waiting = false;
    return true;
}

bool fail_waiting_write()
{
    LinkState& s = link_state();
    std::lock_guard lock(s.write_lock);
    if (!s.write_waiting)
        return false;
    s.write_waiting = false;
    s.write_result = WriteResult{s.write.sequence, true, 0};
    return true;
}

WriteResult last_write_result()
{
    LinkState& s = link_state();
    std::lock_guard lock(s.write_lock);
    return s.write_result;
}

WriteRequest copy_write_request()
{
    LinkState& s = link_state();
    std::lock_guard lock(s.write_lock);
    return s.write;
}

std::optional<WriteRequest> take_waiting_write(const CallGuard& guard)
{
    LinkState& s = link_state();
    std::lock_guard lock(s.write_lock);
    // Checked under the lock: a Send that follows a Disconnect or a newer
    // Connect is never taken by a worker those have cancelled.
    if (!s.write_waiting || guard.cancelled())
        return std::nullopt;
    s.write_waiting = false;
    return s.write;
}

void publish_write_result(const WriteResult& result)
{
    LinkState& s = link_state();
    std::lock_guard lock(s.write_lock);
    s.write_result = result;
}

void publish_values(const PollDefinition& block, const uint16_t* values, unsigned count, bool live)
{
    LinkState& s = link_state();
    count = count > max_values ? max_values : count;
    std::lock_guard lock(s.values_lock);
    s.published.block = block;
    std::copy(values, values + count, s.published.values.begin());
    s.published.value_count = count;
    s.published.live = live;
}

void mark_values_stale()
{
    LinkState& s = link_state();
    std::lock_guard lock(s.values_lock);
    s.published.live = false;
}

void clear_values()
{
    LinkState& s = link_state();
    std::lock_guard lock(s.values_lock);
    s.published = PublishedValues{};
}

PublishedValues copy_values_for(const PollDefinition& current)
{
    LinkState& s = link_state();
    std::lock_guard lock(s.values_lock);
    if (!same_block(s.published.block, current))
        return PublishedValues{current};
    return s.published;
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
