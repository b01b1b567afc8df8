#include "tabs/tab_title.hpp"

#include <cstdint>
#include <cstdio>

namespace {

// Long enough for a device's and a block's name, short enough for a tab.
constexpr size_t longest_name = 40;

}  // namespace

std::string definition_title(const PollDefinition& poll)
{
    unsigned last = poll.length ? unsigned(poll.address) + poll.length - 1 : poll.address;
    char text[64];
    std::snprintf(text, sizeof text, "ID %u \u00b7 %02u \u00b7 %u\u2013%u", unsigned(poll.slave), unsigned(poll.fcode),
                  unsigned(poll.address), last);
    return text;
}

std::string tab_title(std::string_view name, const PollDefinition& poll)
{
    return name.empty() ? definition_title(poll) : std::string(name);
}

std::string tidy_tab_name(std::string_view typed)
{
    std::string name;
    for (char c : typed)
        name += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
    size_t first = name.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    name = name.substr(first, name.find_last_not_of(' ') - first + 1);
    if (name.size() > longest_name) {
        // Cut at a character's start, never inside a UTF-8 sequence.
        size_t cut = longest_name;
        while (cut > 0 && (uint8_t(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return name;
}
