#include "setup/definition_name.hpp"

#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

constexpr gunichar zero_width_joiner = 0x200D;
constexpr gunichar first_strong_isolate = 0x2068;
constexpr gunichar pop_directional_isolate = 0x2069;

void append_char(std::string& text, gunichar c)
{
    char bytes[6];
    text.append(bytes, size_t(g_unichar_to_utf8(c, bytes)));
}

bool is_regional_indicator(gunichar c)
{
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

// Code points that belong to the character before them: combining marks
// (which include the variation selectors), skin tones and the tags of a
// subdivision flag.
bool extends_character(gunichar c)
{
    return g_unichar_ismark(c) || (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F) ||
           c == zero_width_joiner;
}

bool is_direction_control(gunichar c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The blocks of the right-to-left scripts (Hebrew to Arabic Extended,
// their presentation forms, and the historic ones above the BMP).
bool is_right_to_left(gunichar c)
{
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFE) ||
           (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF);
}

// text without the blanks (of any script) at either end.
std::string_view trim_blanks(std::string_view text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end && g_unichar_isspace(g_utf8_get_char(begin)))
        begin = g_utf8_next_char(begin);
    while (end > begin) {
        const char* last = g_utf8_find_prev_char(begin, end);
        if (!last || !g_unichar_isspace(g_utf8_get_char(last)))
            break;
        end = last;
    }
    return {begin, size_t(end - begin)};
}

// typed as valid UTF-8 on one line: breaks, tabs and other controls become blanks.
std::string one_line(std::string_view typed)
{
    // An empty view may hold no text at all, which GLib refuses.
    g_autofree char* valid = g_utf8_make_valid(typed.empty() ? "" : typed.data(), gssize(typed.size()));
    std::string line;
    for (const char* p = valid; *p; p = g_utf8_next_char(p)) {
        gunichar c = g_utf8_get_char(p);
        append_char(line, g_unichar_iscntrl(c) ? ' ' : c);
    }
    return line;
}

// The first longest_tab_name characters of text.
std::string_view first_characters(std::string_view text)
{
    size_t characters = 0;
    bool after_joiner = false;
    bool half_flag = false;  // a flag is a pair of regional indicators
    const char* end = text.data() + text.size();
    for (const char* p = text.data(); p < end; p = g_utf8_next_char(p)) {
        gunichar c = g_utf8_get_char(p);
        bool starts = !after_joiner && !extends_character(c) && !(half_flag && is_regional_indicator(c));
        if (starts && ++characters > longest_tab_name)
            return text.substr(0, size_t(p - text.data()));
        after_joiner = c == zero_width_joiner;
        half_flag = starts && is_regional_indicator(c);
    }
    return text;
}

}  // namespace

std::string definition_title(const PollDefinition& poll, AddressNotation notation)
{
    // A block that runs past the last address ends there.
    unsigned last = poll.length ? std::min(unsigned(poll.address) + poll.length - 1, 0xFFFFu) : poll.address;
    ModbusTable table = table_of_function(poll.fcode);
    char text[32];
    std::snprintf(text, sizeof text, "ID %u \u00b7 %02u \u00b7 ", unsigned(poll.slave), unsigned(poll.fcode));
    return text + format_address(notation, table, poll.address) + "\u2013" +
           format_address(notation, table, uint16_t(last));
}

std::string tab_title(std::string_view name, const PollDefinition& poll, AddressNotation notation)
{
    return name.empty() ? definition_title(poll, notation) : shown_name(name);
}

std::string tidy_tab_name(std::string_view typed)
{
    std::string line = one_line(typed);
    // Trimmed again after the cut, which may end on a blank.
    return std::string(trim_blanks(first_characters(trim_blanks(line))));
}

std::string shown_name(std::string_view name)
{
    g_autofree char* valid = g_utf8_make_valid(name.data(), gssize(name.size()));
    bool isolate = false;
    for (const char* p = valid; *p && !isolate; p = g_utf8_next_char(p))
        isolate = is_direction_control(g_utf8_get_char(p)) || is_right_to_left(g_utf8_get_char(p));
    if (!isolate)
        return valid;
    // A closing isolate of the name's own with no opening one would end
    // ours early; every embedding or isolate it leaves open, ours ends.
    std::string shown;
    append_char(shown, first_strong_isolate);
    int open_isolates = 0;
    for (const char* p = valid; *p; p = g_utf8_next_char(p)) {
        gunichar c = g_utf8_get_char(p);
        if (c == pop_directional_isolate) {
            if (open_isolates == 0)
                continue;
            --open_isolates;
        } else if (c >= 0x2066 && c <= 0x2068) {
            ++open_isolates;
        }
        append_char(shown, c);
    }
    append_char(shown, pop_directional_isolate);
    return shown;
}

std::string definition_limit_text()
{
    return "A set-up holds at most " + std::to_string(max_poll_definitions) + " poll definitions";
}
