#pragma once
// When each poll definition is due, and in which order the due ones are
// served. No I/O here: the worker asks, polls, and tells what it served.
//
// A definition is due its scan rate after its last poll ended (a new one at
// once). The definitions due when a round starts are its round, served
// least recently served first; one that becomes due meanwhile joins the
// next round. So a definition at scan rate 0 never starves a slower one:
// a due definition waits at most for the rest of the round under way.

#include <chrono>
#include <cstdint>
#include <vector>

#include "link/link_state.hpp"

using ScheduleClock = std::chrono::steady_clock;

struct PollTurn {
    uint16_t key = 0;
    uint32_t scan_rate = 0;  // as the definition has it now
    ScheduleClock::time_point ended{};  // of its last poll
    uint64_t served = 0;  // the round order it was last served in; 0: never
    bool forced = false;  // due at once, whatever its scan rate
};

struct PollSchedule {
    std::vector<PollTurn> turns;
    uint64_t served_count = 0;
};

// Brings the turns in line with entries: a new key is due at once, a key
// no longer there is forgotten, a scan rate changed counts from the last
// poll's end.
void sync_schedule(PollSchedule& schedule, const std::vector<PollEntry>& entries);
// The entries due at now, least recently served first.
std::vector<PollEntry> due_entries(const PollSchedule& schedule, const std::vector<PollEntry>& entries,
                                   ScheduleClock::time_point now);
// The earliest time any definition is due; max() when there is none.
ScheduleClock::time_point next_due(const PollSchedule& schedule);
// The definition with key was served, its poll ending at ended.
void mark_served(PollSchedule& schedule, uint16_t key, ScheduleClock::time_point ended);
// The definition with key was due but not asked (its unit kept silent
// earlier in the round): it is due again its scan rate after ended, but
// keeps its place in the order, so it goes before those that were asked.
void mark_passed_over(PollSchedule& schedule, uint16_t key, ScheduleClock::time_point ended);
// Every definition due at once (after a write, so every block shows it).
void make_all_due(PollSchedule& schedule);
// The definition with key due at once.
void make_due(PollSchedule& schedule, uint16_t key);
