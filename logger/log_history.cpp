#include "logger/log_history.hpp"

#include <new>

bool push_log_line(LogHistory& history, std::string_view text, LogDirection direction, uint32_t connection)
{
    try {
        unsigned slot = history.count < log_history_size ? (history.start + history.count) % log_history_size
                                                         : history.start;
        // The slot's old buffer is reused: a full ring allocates nothing.
        history.slots[slot].text.assign(text);
        history.slots[slot].direction = direction;
        history.slots[slot].connection = connection;
        if (history.count < log_history_size)
            ++history.count;
        else
            history.start = (history.start + 1) % log_history_size;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

const LogHistoryLine& log_line_at(const LogHistory& history, unsigned i)
{
    return history.slots[(history.start + i) % log_history_size];
}

void clear_log_history(LogHistory& history)
{
    for (LogHistoryLine& line : history.slots)
        std::string().swap(line.text);
    history.start = 0;
    history.count = 0;
}
