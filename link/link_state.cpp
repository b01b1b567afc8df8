#include "link/link_state.hpp"

#include <utility>

#include "link/call_guard.hpp"

std::vector<PollEntry> copy_poll_entries(LinkState& link)
{
    std::lock_guard lock(link.settings_lock);
    return link.polls;
}

void store_poll_entries(LinkState& link, std::vector<PollEntry> entries)
{
    if (entries.size() > max_poll_definitions)
        entries.resize(max_poll_definitions);
    std::vector<PollEntry> replaced;  // freed outside the lock
    {
        std::lock_guard lock(link.settings_lock);
        replaced = std::exchange(link.polls, std::move(entries));
        link.changes.fetch_add(1, std::memory_order_release);
    }
}

PollDefinition copy_poll_definition(LinkState& link)
{
    std::lock_guard lock(link.settings_lock);
    return link.polls.empty() ? PollDefinition{} : link.polls.front().poll;
}

void store_poll_definition(LinkState& link, const PollDefinition& poll)
{
    store_poll_entries(link, {PollEntry{1, poll, nullptr}});
}

ConnectionSettings copy_connection_settings(LinkState& link)
{
    std::lock_guard lock(link.settings_lock);
    return link.connection;
}

void store_connection_settings(LinkState& link, const ConnectionSettings& settings)
{
    std::lock_guard lock(link.settings_lock);
    link.connection = settings;
    link.changes.fetch_add(1, std::memory_order_release);
}

bool same_block(const PollDefinition& a, const PollDefinition& b)
{
    return a.slave == b.slave && a.fcode == b.fcode && a.address == b.address && a.length == b.length;
}

WriteRequest bit_write_request(uint8_t slave, uint16_t address, unsigned bit, bool on)
{
    auto mask = static_cast<uint16_t>(1u << (bit & 15));
    WriteRequest request;
    request.slave = slave;
    request.fcode = 22;
    request.address = address;
    request.and_mask = static_cast<uint16_t>(~mask);
    request.or_mask = on ? mask : 0;
    return request;
}

uint32_t hand_over_write(LinkState& link, WriteRequest request, bool running)
{
    std::lock_guard lock(link.write_lock);
    // Numbers go on from the last request, so a late result of an earlier
    // write can never be taken for this one.
    request.sequence = link.write.sequence + 1;
    link.write = request;
    link.write_waiting = running;
    link.changes.fetch_add(1, std::memory_order_release);
    if (!running)
        link.write_result = WriteResult{request.sequence, true, 0};
    return request.sequence;
}

bool withdraw_write(LinkState& link, uint32_t sequence)
{
    std::lock_guard lock(link.write_lock);
    if (!link.write_waiting || link.write.sequence != sequence)
        return false;
    link.write_waiting = false;
    return true;
}

bool fail_waiting_write(LinkState& link)
{
    std::lock_guard lock(link.write_lock);
    if (!link.write_waiting)
        return false;
    link.write_waiting = false;
    link.write_result = WriteResult{link.write.sequence, true, 0};
    return true;
}

WriteResult last_write_result(LinkState& link)
{
    std::lock_guard lock(link.write_lock);
    return link.write_result;
}

WriteRequest copy_write_request(LinkState& link)
{
    std::lock_guard lock(link.write_lock);
    return link.write;
}

std::optional<WriteRequest> take_waiting_write(LinkState& link, const CallGuard& guard)
{
    std::lock_guard lock(link.write_lock);
    // Checked under the lock: a Send that follows a Disconnect or a newer
    // Connect is never taken by a worker those have cancelled.
    if (!link.write_waiting || guard.cancelled())
        return std::nullopt;
    link.write_waiting = false;
    return link.write;
}

void publish_write_result(LinkState& link, const WriteResult& result)
{
    std::lock_guard lock(link.write_lock);
    link.write_result = result;
}

void signal_wake(LinkState& link)
{
    std::lock_guard lock(link.wake_lock);
    link.wake.notify_one();
}

void request_stop(LinkState& link)
{
    {
        std::lock_guard lock(link.wake_lock);
        link.stop_requested.store(true, std::memory_order_release);
        if (link.current_guard)
            link.current_guard->cancel();
    }
    link.wake.notify_all();
}
