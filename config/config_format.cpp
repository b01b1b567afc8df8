#include "config/config_format.hpp"

#include <cstdint>
#include <new>
#include <optional>
#include <utility>

#include "config/connection_format.hpp"
#include "config/point_format.hpp"
#include "values/number_syntax.hpp"

namespace {

constexpr std::string_view header_line = "Brenvaldor V.1.0.0";
constexpr std::string_view header_name = "Brenvaldor";
constexpr std::string_view poll_prefix = "POLL ";
constexpr std::string_view label_prefix = "LABEL ";
constexpr std::string_view name_prefix = "NAME ";
constexpr std::string_view chart_prefix = "CHART ";
constexpr std::string_view connection_prefix = "CONNECTION ";
constexpr std::string_view device_prefix = "DEVICE ";
constexpr std::string_view connection_name_prefix = "CONNECTION_NAME ";
constexpr std::string_view more_connection_keyword = "MORE_CONNECTION_SETTINGS";
constexpr std::string_view more_connection_prefix = "MORE_CONNECTION ";
constexpr std::string_view more_settings_prefix = "MORE_CONNECTION_SETTINGS ";
constexpr std::string_view more_device_prefix = "MORE_CONNECTION_DEVICE ";
constexpr std::string_view point_prefix = "POINT ";
constexpr std::string_view value_prefix = "VALUE ";
constexpr std::string_view bit_prefix = "BIT ";

// A definition of poll with nothing else set.
DefinitionSetUp saved_definition(const PollDefinition& poll)
{
    DefinitionSetUp definition;
    definition.poll = poll;
    return definition;
}

std::string_view trim(std::string_view text, std::string_view blanks)
{
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// Stores one key=value piece of a POLL line; unknown keys are no error.
bool apply_poll_piece(std::string_view key, std::string_view value, DefinitionSetUp& definition)
{
    PollDefinition& poll = definition.poll;
    if (key == "format") {
        std::optional<ValueFormat> format = format_from_name(value);
        definition.format = format.value_or(definition.format);
        return format.has_value();
    }
    if (key == "order") {
        std::optional<WordOrder> order = order_from_name(value);
        definition.order = order.value_or(definition.order);
        return order.has_value();
    }
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
    if (key == "connection") {
        // An index past the file's connections is the model's to settle.
        std::optional<uint32_t> index = parse_unsigned(value, UINT32_MAX);
        definition.connection = index.value_or(definition.connection);
        return index.has_value();
    }
    return true;
}

// Hands each key=value piece of a line to apply; pieces without "=" are passed over.
template <typename Apply>
bool read_pieces(std::string_view rest, Apply apply)
{
    while (!rest.empty()) {
        size_t space = rest.find(' ');
        std::string_view piece = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
        size_t equals = piece.find('=');
        if (equals == std::string_view::npos)
            continue;
        if (!apply(piece.substr(0, equals), piece.substr(equals + 1)))
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
    std::optional<std::string> label = read_quoted_label(rest.substr(space + 1));
    return label && set_label(labels, uint16_t(*address), *label);
}

bool read_name_line(std::string_view rest, std::string& name)
{
    std::optional<std::string> read = read_quoted_label(rest);
    if (read)
        name = std::move(*read);
    return read.has_value();
}

bool read_chart_line(std::string_view rest, std::vector<uint16_t>& chart)
{
    std::optional<uint32_t> address = parse_unsigned(trim(rest, " \t"), UINT16_MAX);
    if (address)
        chart.push_back(uint16_t(*address));
    return address.has_value();
}

// Where the lines read so far have put the reader.
struct ReadingState {
    std::vector<DefinitionSetUp>& definitions;
    std::optional<ConnectionSettings>& connection;
    std::string& connection_name;
    std::vector<ConnectionSetUp>& more_connections;
    bool poll_seen = false;
    bool too_many = false;
    // A further connection past the most a set-up holds: its lines are
    // checked and passed over.
    bool connection_passed_over = false;
    ConnectionSetUp passed_over = {};
};

// CONNECTION and DEVICE lines, wherever they stand, fill one record that
// starts from the default settings.
bool read_connection_line(std::string_view line, ReadingState& state)
{
    ConnectionSettings& settings = state.connection ? *state.connection : state.connection.emplace();
    if (line.starts_with(device_prefix))
        return read_name_line(line.substr(device_prefix.size()), settings.device);
    return read_pieces(line.substr(connection_prefix.size()), [&](std::string_view key, std::string_view value) {
        return apply_connection_piece(key, value, settings);
    });
}

// MORE_CONNECTION starts a further connection; the settings and device
// lines after it are that one's (those before any, no one's).
bool read_more_connection_line(std::string_view line, ReadingState& state)
{
    std::vector<ConnectionSetUp>& more = state.more_connections;
    if (line.starts_with(more_connection_prefix)) {
        state.connection_passed_over = more.size() + 1 >= max_connections;
        ConnectionSetUp& connection = state.connection_passed_over ? state.passed_over : more.emplace_back();
        connection = ConnectionSetUp{};
        return read_name_line(line.substr(more_connection_prefix.size()), connection.name);
    }
    bool owned = !more.empty() && !state.connection_passed_over;
    ConnectionSettings& settings = owned ? more.back().settings : state.passed_over.settings;
    if (line.starts_with(more_device_prefix))
        return read_name_line(line.substr(more_device_prefix.size()), settings.device);
    return read_pieces(line.substr(more_settings_prefix.size()), [&](std::string_view key, std::string_view value) {
        return apply_connection_piece(key, value, settings);
    });
}

bool read_line(std::string_view line, ReadingState& state)
{
    line = trim(line, " \t\r");
    // Also skips the header, whatever version follows the name.
    if (line.size() < 5 || line.front() == '#' || line.starts_with(header_name))
        return true;
    std::vector<DefinitionSetUp>& definitions = state.definitions;
    if (line.starts_with(poll_prefix)) {
        if (std::exchange(state.poll_seen, true)) {
            if (definitions.size() >= max_poll_definitions) {
                state.too_many = true;
                return false;
            }
            definitions.push_back(saved_definition(definitions.back().poll));
        }
        return read_pieces(line.substr(poll_prefix.size()), [&](std::string_view key, std::string_view value) {
            return apply_poll_piece(key, value, definitions.back());
        });
    }
    if (line.starts_with(label_prefix))
        return read_label_line(line.substr(label_prefix.size()), definitions.back().labels);
    if (line.starts_with(name_prefix))
        return read_name_line(line.substr(name_prefix.size()), definitions.back().name);
    if (line.starts_with(chart_prefix))
        return read_chart_line(line.substr(chart_prefix.size()), definitions.back().chart);
    if (line.starts_with(connection_prefix) || line.starts_with(device_prefix))
        return read_connection_line(line, state);
    if (line.starts_with(connection_name_prefix))
        return read_name_line(line.substr(connection_name_prefix.size()), state.connection_name);
    if (line.starts_with(more_connection_prefix) || line.starts_with(more_settings_prefix) ||
        line.starts_with(more_device_prefix))
        return read_more_connection_line(line, state);
    if (line.starts_with(point_prefix))
        return read_point_line(line.substr(point_prefix.size()), definitions.back().points);
    if (line.starts_with(value_prefix))
        return read_value_line(line.substr(value_prefix.size()), definitions.back().points);
    if (line.starts_with(bit_prefix))
        return read_bit_line(line.substr(bit_prefix.size()), definitions.back().points);
    return true;
}

// A POINT line without keys, names or unit leaves an empty point, which
// the set-up keeps nowhere.
void drop_empty_points(std::vector<DefinitionSetUp>& definitions)
{
    for (DefinitionSetUp& definition : definitions)
        std::erase_if(definition.points, [](const auto& entry) { return is_empty_point(entry.second); });
}

}  // namespace

// The label cells and the tabs take only UTF-8; a file in another encoding
// is refused at its line rather than shown as broken text.
std::optional<std::string> read_quoted_label(std::string_view rest)
{
    std::string_view quoted = trim(rest, " \t");
    if (quoted.empty() || quoted.front() != '"')
        return std::nullopt;
    std::string_view text = quoted.size() > 1 && quoted.back() == '"' ? quoted.substr(1, quoted.size() - 2)
                                                                       : quoted.substr(1);
    std::string unescaped = unescape_label(text);
    if (!is_valid_utf8(unescaped))
        return std::nullopt;
    return unescaped;
}

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

namespace {

void append_quoted_line(std::string& out, std::string_view prefix, std::string_view text)
{
    out.append(prefix).append("\"");
    append_escaped_label(out, text);
    out.append("\"\n");
}

// The connections after the first's CONNECTION and DEVICE lines; nothing
// at all for one connection under the name the model gives it.
void append_more_connections(std::string& out, const SetUpRecord& set_up)
{
    if (!set_up.connection_name.empty() && set_up.connection_name != first_connection_name)
        append_quoted_line(out, connection_name_prefix, set_up.connection_name);
    for (const ConnectionSetUp& connection : set_up.more_connections) {
        append_quoted_line(out, more_connection_prefix, connection.name);
        if (connection.settings != ConnectionSettings{})
            append_connection_line(out, connection.settings, more_connection_keyword);
        if (!connection.settings.device.empty())
            append_quoted_line(out, more_device_prefix, connection.settings.device);
    }
}

}  // namespace

std::string write_configuration(const SetUpRecord& set_up)
{
    std::string out;
    out.append(header_line).append("\n");
    if (set_up.connection && *set_up.connection != ConnectionSettings{}) {
        append_connection_line(out, *set_up.connection);
        if (!set_up.connection->device.empty())
            append_quoted_line(out, device_prefix, set_up.connection->device);
    }
    append_more_connections(out, set_up);
    for (const DefinitionSetUp& definition : set_up.definitions) {
        const PollDefinition& poll = definition.poll;
        out.append("POLL slave=").append(std::to_string(poll.slave));
        out.append(" fcode=").append(std::to_string(poll.fcode));
        out.append(" address=").append(std::to_string(poll.address));
        out.append(" length=").append(std::to_string(poll.length));
        out.append(" scan_rate=").append(std::to_string(poll.scan_rate));
        if (definition.format != ValueFormat::UINT)
            out.append(" format=").append(format_name(definition.format));
        if (definition.order != WordOrder::AB_CD)
            out.append(" order=").append(order_name(definition.order));
        if (definition.connection != 0)
            out.append(" connection=").append(std::to_string(definition.connection));
        out.append("\n");
        if (!definition.name.empty())
            append_quoted_line(out, name_prefix, definition.name);
        const LabelStore& labels = definition.labels;
        out.append("LABELS ").append(std::to_string(labels.entries.size())).append("\n");
        for (const LabelEntry& entry : labels.entries) {
            out.append(label_prefix).append(std::to_string(entry.address)).append(" \"");
            append_escaped_label(out, entry.text);
            out.append("\"\n");
        }
        for (const auto& [address, point] : definition.points)
            if (!is_empty_point(point))
                append_point_lines(out, address, point);
        for (uint16_t address : definition.chart)
            out.append(chart_prefix).append(std::to_string(address)).append("\n");
    }
    return out;
}

std::string write_configuration(const std::vector<DefinitionSetUp>& definitions)
{
    SetUpRecord set_up;
    set_up.definitions = definitions;
    return write_configuration(set_up);
}

std::string write_configuration(const PollDefinition& poll, const LabelStore& labels)
{
    DefinitionSetUp definition = saved_definition(poll);
    definition.labels = labels;
    return write_configuration({definition});
}

ConfigReadResult read_configuration(std::string_view text, const PollDefinition& base, SetUpRecord& set_up)
{
    std::vector<DefinitionSetUp>& definitions = set_up.definitions;
    definitions.assign(1, saved_definition(base));
    set_up.connection.reset();
    set_up.connection_name.clear();
    set_up.more_connections.clear();
    ReadingState state{definitions, set_up.connection, set_up.connection_name, set_up.more_connections};
    size_t number = 0;
    // The text after the last LF is a line too, so an empty file is one empty line.
    while (true) {
        ++number;
        size_t end = text.find('\n');
        bool line_ok = false;
        try {
            line_ok = read_line(text.substr(0, end), state);
        } catch (const std::bad_alloc&) {
            // A label too large to hold fails the load like a malformed line.
        }
        if (!line_ok) {
            drop_empty_points(definitions);
            return ConfigReadResult{false, number, state.too_many};
        }
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    drop_empty_points(definitions);
    return ConfigReadResult{};
}

ConfigReadResult read_configuration(std::string_view text, const PollDefinition& base,
                                    std::vector<DefinitionSetUp>& definitions)
{
    SetUpRecord set_up;
    ConfigReadResult result = read_configuration(text, base, set_up);
    definitions = std::move(set_up.definitions);
    return result;
}

ConfigReadResult read_configuration(std::string_view text, PollDefinition& poll, LabelStore& labels)
{
    std::vector<DefinitionSetUp> definitions;
    ConfigReadResult result = read_configuration(text, poll, definitions);
    poll = definitions.front().poll;
    labels = std::move(definitions.front().labels);
    return result;
}
