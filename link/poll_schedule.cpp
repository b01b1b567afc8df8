#include "link/poll_schedule.hpp"

#include <algorithm>

namespace {

PollTurn* find_turn(PollSchedule& schedule, uint16_t key)
{
    for (PollTurn& turn : schedule.turns)
        if (turn.key == key)
            return &turn;
    return nullptr;
}

const PollTurn* find_turn(const PollSchedule& schedule, uint16_t key)
{
    return find_turn(const_cast<PollSchedule&>(schedule), key);
}

ScheduleClock::time_point due_time(const PollTurn& turn)
{
    if (turn.served == 0 || turn.forced)
        return ScheduleClock::time_point::min();
    return turn.ended + std::chrono::milliseconds(turn.scan_rate);
}

}  // namespace

void sync_schedule(PollSchedule& schedule, const std::vector<PollEntry>& entries)
{
    std::vector<PollTurn> turns;
    turns.reserve(entries.size());
    for (const PollEntry& entry : entries) {
        const PollTurn* kept = find_turn(schedule, entry.key);
        turns.push_back(kept ? *kept : PollTurn{entry.key});
        turns.back().scan_rate = entry.poll.scan_rate;
    }
    schedule.turns = std::move(turns);
}

std::vector<PollEntry> due_entries(const PollSchedule& schedule, const std::vector<PollEntry>& entries,
                                   ScheduleClock::time_point now)
{
    std::vector<std::pair<uint64_t, const PollEntry*>> due;
    for (const PollEntry& entry : entries) {
        const PollTurn* turn = find_turn(schedule, entry.key);
        if (turn && due_time(*turn) <= now)
            due.emplace_back(turn->served, &entry);
    }
    // Stable, so definitions never served keep the order of their tabs.
    std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PollEntry> round;
    round.reserve(due.size());
    for (const auto& [served, entry] : due)
        round.push_back(*entry);
    return round;
}

ScheduleClock::time_point next_due(const PollSchedule& schedule)
{
    ScheduleClock::time_point earliest = ScheduleClock::time_point::max();
    for (const PollTurn& turn : schedule.turns)
        earliest = std::min(earliest, due_time(turn));
    return earliest;
}

void mark_served(PollSchedule& schedule, uint16_t key, ScheduleClock::time_point ended)
{
    if (PollTurn* turn = find_turn(schedule, key)) {
        turn->served = ++schedule.served_count;
        turn->ended = ended;
        turn->forced = false;
    }
}

void mark_passed_over(PollSchedule& schedule, uint16_t key, ScheduleClock::time_point ended)
{
    if (PollTurn* turn = find_turn(schedule, key)) {
        turn->ended = ended;
        turn->forced = false;
        if (turn->served == 0)
            turn->served = 1;  // due by its rate from now on, yet before any asked since
    }
}

void make_all_due(PollSchedule& schedule)
{
    for (PollTurn& turn : schedule.turns)
        turn.forced = true;
}

void make_due(PollSchedule& schedule, uint16_t key)
{
    if (PollTurn* turn = find_turn(schedule, key))
        turn->forced = true;
}
