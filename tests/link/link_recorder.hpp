#pragma once
// A recorder of what a worker reports: the engine's tests read what the
// user would see from here, without a display.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "link/link_reports.hpp"

class Recorder final : public LinkReports {
public:
    void frame_logged(const uint8_t* bytes, size_t count, LogDirection direction) override
    {
        std::string line = direction == LogDirection::tx ? "TX:" : "RX:";
        char byte[4];
        for (size_t i = 0; i < count; ++i) {
            std::snprintf(byte, sizeof byte, " %02X", bytes[i]);
            line += byte;
        }
        std::lock_guard hold(lock_);
        frames_.push_back(std::move(line));
    }
    void status_changed(const LinkStatus& status) override
    {
        std::lock_guard hold(lock_);
        status_ = status;
        by_definition_[status.definition] = status;
        ++status_reports_;
    }
    void values_read(const PublishedValues& values) override
    {
        std::lock_guard hold(lock_);
        values_ = values;
        by_key_[values.key] = values;
        history_.push_back(values);
    }
    void values_stale(uint16_t key) override
    {
        std::lock_guard hold(lock_);
        if (key == 0 || values_.key == key)
            values_.live = false;
        for (auto& [held_key, held] : by_key_)
            if (key == 0 || held_key == key)
                held.live = false;
    }
    void write_taken(const WriteRequest& request) override
    {
        std::lock_guard hold(lock_);
        writes_taken_.push_back(request.sequence);
    }
    void write_ended(const WriteResult& result) override
    {
        std::lock_guard hold(lock_);
        writes_ended_.push_back(result);
    }
    void poll_ended(const PollOutcome& outcome) override
    {
        std::lock_guard hold(lock_);
        polls_.push_back(outcome);
        polls_.back().values = nullptr;  // the worker's buffer is gone after the call
    }

    // The test's side: copies, each under the lock.
    LinkStatus status() const { return copy(status_); }
    unsigned status_reports() const { return copy(status_reports_); }
    std::vector<std::string> frames() const { return copy(frames_); }
    PublishedValues values() const { return copy(values_); }
    // The newest values and status of each definition, by key (0: the link).
    std::map<uint16_t, PublishedValues> values_by_key() const { return copy(by_key_); }
    std::map<uint16_t, LinkStatus> status_by_definition() const { return copy(by_definition_); }
    std::vector<uint32_t> writes_taken() const { return copy(writes_taken_); }
    std::vector<WriteResult> writes_ended() const { return copy(writes_ended_); }
    std::vector<PollOutcome> polls() const { return copy(polls_); }
    // Every values report, in order.
    std::vector<PublishedValues> values_history() const { return copy(history_); }

    // What the user sees on a new status line: blank, as at start.
    void forget_status()
    {
        std::lock_guard hold(lock_);
        status_ = LinkStatus{};
        status_reports_ = 0;
    }
    void forget_frames()
    {
        std::lock_guard hold(lock_);
        frames_.clear();
    }

private:
    template <typename T>
    T copy(const T& field) const
    {
        std::lock_guard hold(lock_);
        return field;
    }

    mutable std::mutex lock_;
    LinkStatus status_;
    unsigned status_reports_ = 0;
    std::vector<std::string> frames_;
    PublishedValues values_;
    std::map<uint16_t, PublishedValues> by_key_;
    std::vector<PublishedValues> history_;
    std::map<uint16_t, LinkStatus> by_definition_;
    std::vector<uint32_t> writes_taken_;
    std::vector<WriteResult> writes_ended_;
    std::vector<PollOutcome> polls_;
};
