#include "config/config_format.hpp"

#include <cstdint>
#include <new>
#include <optional>

#include "config/number_syntax.hpp"

namespace {

constexpr std::string_view header_line = "Brenvaldor V.1.0.0";
constexpr std::string_view header_name = "Brenvaldor";
constexpr std::string_view poll_prefix = "POLL ";
constexpr std::string_view label_prefix = "LABEL ";

std::string_view trim(std::string_view text, std::string_view blanks)
{
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// Stores one key=value piece of a POLL line; unknown keys are no error.
bool apply_poll_piece(std::string_view key, std::string_view value, PollDefinition& poll)
{
    if (key == "slave") {
        std::optional<uint32_t> slave = parse_unsigned(value, UINT8_MAX);
        if (slave)
            poll.slave = uint8_t(*slave);
        return slave.has_value();
    }
    if (key == "fcode") {
        // Any other byte value means the usual holding-register read.
        std::optional<uint32_t> fcode = parse_unsigned(value, UINT8_MAX);
        if (fcode)
            poll.fcode = (*fcode == 1 || *fcode == 2 || *fcode == 4) ? uint8_t(*fcode) : 3;
        return fcode.has_value();
    }
    if (key == "address") {
        std::optional<uint32_t> address = parse_unsigned(value, UINT16_MAX);
        if (address)
            poll.address = uint16_t(*address);
        return address.has_value();
    }
    if (key == "length") {
        std::optional<uint32_t> length = parse_unsigned(value, UINT8_MAX);
        if (length)
            poll.length = uint8_t(*length);
        return length.has_value();
    }
    if (key == "scan_rate") {
        std::optional<uint32_t> scan_rate = parse_unsigned(value, UINT32_MAX);
        if (scan_rate)
            poll.scan_rate = *scan_rate;
        return scan_rate.has_value();
    }
    return true;
}

bool read_poll_line(std::string_view rest, PollDefinition& poll)
{
    while (!rest.empty()) {
        size_t space = rest.find(' ');
        std::string_view piece = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
        size_t equals = piece.find('=');
        if (equals == std::string_view::npos)
            continue;
        if (!apply_poll_piece(piece.substr(0, equals), piece.substr(equals + 1), poll))
            return false;
    }
    return true;
}

// Length of the UTF-8 sequence at the start of text, or 0 when it is not
// a well-formed one (overlong forms, surrogates, beyond U+10FFFF).
size_t utf8_sequence_length(std::string_view text)
{
    auto byte = [&](size_t i) { return uint8_t(text[i]); };
    uint8_t lead = byte(0);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || text.size() < length)
        return 0;
    // The second byte's range narrows for the leads with forbidden forms.
    uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

bool is_valid_utf8(std::string_view text)
{
    while (!text.empty()) {
        size_t length = utf8_sequence_length(text);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

bool read_label_line(std::string_view rest, LabelStore& labels)
{
    rest = trim(rest, " \t");
    size_t space = rest.find(' ');
    if (space == std::string_view::npos)
        return false;
    std::optional<uint32_t> address = parse_unsigned(trim(rest.substr(0, space), " \t"), UINT16_MAX);
    if (!address)
        return false;
    std::string_view quoted = trim(rest.substr(space + 1), " \t");
    if (quoted.empty() || quoted.front() != '"')
        return false;
    // A missing closing quote is forgiven: the text runs to the line's end.
    std::string_view text = quoted.size() > 1 && quoted.back() == '"' ? quoted.substr(1, quoted.size() - 2)
                                                                       : quoted.substr(1);
    // The label cells take only UTF-8; a file in another encoding is
    // refused at its line rather than shown as broken text.
    std::string label = unescape_label(text);
    if (!is_valid_utf8(label))
        return false;
    return set_label(labels, uint16_t(*address), label);
}

bool read_line(std::string_view line, PollDefinition& poll, LabelStore& labels)
{
    line = trim(line, " \t\r");
    // Also skips the header, whatever version follows the name.
    if (line.size() < 5 || line.front() == '#' || line.starts_with(header_name))
        return true;
    if (line.starts_with(poll_prefix))
        return read_poll_line(line.substr(poll_prefix.size()), poll);
    if (line.starts_with(label_prefix))
        return read_label_line(line.substr(label_prefix.size()), labels);
    return true;
}

}  // namespace

void append_escaped_label(std::string& out, std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c; break;
        }
    }
}

std::string unescape_label(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            break;  // a lone backslash at the end is dropped
        switch (text[i]) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        default: out += text[i]; break;
        }
    }
    return out;
}

std::string write_configuration(const PollDefinition& poll, const LabelStore& labels)
{
    std::string out;
    out.append(header_line).append("\n");
    out.append("POLL slave=").append(std::to_string(poll.slave));
    out.append(" fcode=").append(std::to_string(poll.fcode));
    out.append(" address=").append(std::to_string(poll.address));
    out.append(" length=").append(std::to_string(poll.length));
    out.append(" scan_rate=").append(std::to_string(poll.scan_rate)).append("\n");
    out.append("LABELS ").append(std::to_string(labels.entries.size())).append("\n");
    for (const LabelEntry& entry : labels.entries) {
        out.append(label_prefix).append(std::to_string(entry.address)).append(" \"");
        append_escaped_label(out, entry.text);
        out.append("\"\n");
    }
    return out;
}

ConfigReadResult read_configuration(std::string_view text, PollDefinition& poll, LabelStore& labels)
{
    clear_labels(labels);
    size_t number = 0;
    // The text after the last LF is a line too, so an empty file is one empty line.
    while (true) {
        ++number;
        size_t end = text.find('\n');
        bool line_ok = false;
        try {
            line_ok = read_line(text.substr(0, end), poll, labels);
        } catch (const std::bad_alloc&) {
            // A label too large to hold fails the load like a malformed line.
        }
        if (!line_ok)
            return ConfigReadResult{false, number};
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return ConfigReadResult{};
}
