#include "config/point_format.hpp"

#include <charconv>
#include <cmath>
#include <utility>

#include "config/config_format.hpp"
#include "values/csv_text.hpp"
#include "values/number_syntax.hpp"

namespace {

// As the toolbar names them, with no blank inside a line's piece.
constexpr std::string_view format_names[] = {"UINT",   "INT",   "HEX",    "BINARY", "INT32",
                                             "UINT32", "FLOAT32", "INT64", "UINT64", "FLOAT64"};
constexpr std::string_view order_names[] = {"AB_CD", "CD_AB", "BA_DC", "DC_BA"};

// Far beyond any digit a double holds; the bound only keeps a text field
// made from it small.
constexpr uint32_t most_decimals = 15;  // as Edit Point takes them

template <size_t N>
std::optional<unsigned> index_of_name(const std::string_view (&names)[N], std::string_view name)
{
    for (unsigned i = 0; i < N; ++i)
        if (names[i] == name)
            return i;
    return std::nullopt;
}

// What a POINT line says, before the pieces that depend on the type are checked.
struct PointPieces {
    Point point;
    std::optional<std::string_view> type;
    std::optional<std::string_view> registers;
    std::optional<std::string_view> bytes;
};

std::optional<double> parse_real(std::string_view text)
{
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// -1 (as many as the value needs) or 0 to most_decimals.
std::optional<int> parse_decimals(std::string_view text)
{
    std::optional<NumberText> number = parse_number_text(text, 10, most_decimals);
    if (!number || (number->negative && number->magnitude > 1))
        return std::nullopt;
    return number->negative ? -int(number->magnitude) : int(number->magnitude);
}

std::optional<int64_t> parse_raw(std::string_view text)
{
    constexpr uint64_t largest = uint64_t(INT64_MAX);
    std::optional<NumberText> number = parse_number_text(text, 10, largest + 1);
    if (!number || (!number->negative && number->magnitude > largest))
        return std::nullopt;
    // Modulo 2^64, so the most negative value comes out whole.
    return number->negative ? int64_t(0 - number->magnitude) : int64_t(number->magnitude);
}

// quoted holds the value with its quotes; every other key takes a bare word.
bool apply_point_piece(std::string_view key, std::string_view value, bool quoted, PointPieces& pieces)
{
    Point& point = pieces.point;
    if (key == "unit") {
        std::optional<std::string> unit = quoted ? read_quoted_label(value) : std::nullopt;
        if (unit)
            point.unit = std::move(*unit);
        return unit.has_value();
    }
    bool known = key == "type" || key == "registers" || key == "bytes" || key == "order" || key == "scale" ||
                 key == "offset" || key == "decimals";
    if (!known)
        return true;
    if (quoted)
        return false;
    std::optional<std::string_view>* kept = key == "type"        ? &pieces.type
                                            : key == "registers" ? &pieces.registers
                                            : key == "bytes"     ? &pieces.bytes
                                                                 : nullptr;
    if (kept) {
        *kept = value;
        return true;
    }
    if (key == "order") {
        std::optional<WordOrder> order = order_from_name(value);
        point.order = order.value_or(point.order);
        return order.has_value();
    }
    if (key == "decimals") {
        std::optional<int> decimals = parse_decimals(value);
        point.decimals = decimals.value_or(point.decimals);
        return decimals.has_value();
    }
    std::optional<double> number = parse_real(value);
    if (!number || (key == "scale" && *number == 0))
        return false;
    (key == "scale" ? point.scale : point.offset) = *number;
    return true;
}

// Splits the line into key=value pieces; a value that opens with a quote
// runs to the quote that closes it, so a unit may hold blanks. Pieces
// without "=" are passed over, as on the other lines.
bool read_point_pieces(std::string_view rest, PointPieces& pieces)
{
    while (!rest.empty()) {
        size_t end = rest.find_first_of(" =");
        if (end == std::string_view::npos || rest[end] == ' ') {
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
            continue;
        }
        std::string_view key = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        bool quoted = rest.starts_with('"');
        size_t close = 1;
        while (quoted && close < rest.size() && rest[close] != '"')
            close += rest[close] == '\\' ? 2 : 1;
        if (quoted && close >= rest.size())
            return false;
        size_t length = quoted ? close + 1 : std::min(rest.find(' '), rest.size());
        if (length < rest.size() && rest[length] != ' ')
            return false;  // text glued to a closing quote
        if (!apply_point_piece(key, rest.substr(0, length), quoted, pieces))
            return false;
        rest.remove_prefix(length);
    }
    return true;
}

// The kind from type=, with the registers and byte order only where the
// kind has them.
bool apply_point_type(PointPieces& pieces)
{
    Point& point = pieces.point;
    std::string_view type = pieces.type.value_or("");
    std::optional<ValueFormat> format = format_from_name(type);
    bool bcd = type == "BCD16" || type == "BCD32";
    bool string = type == "STRING";
    if (format) {
        point.kind = PointKind::format;
        point.format = *format;
    } else if (bcd || string) {
        point.kind = bcd ? PointKind::bcd : PointKind::string;
    } else if (type == "BITS") {
        point.kind = PointKind::bits;
    } else if (pieces.type) {
        return false;
    }
    if ((pieces.registers && !bcd && !string) || (pieces.bytes && !string))
        return false;
    uint32_t width = type == "BCD32" ? 2 : 1;
    std::optional<uint32_t> registers = pieces.registers ? parse_unsigned(*pieces.registers, longest_point_string)
                                                         : std::optional<uint32_t>(width);
    if (!registers || *registers == 0 || (bcd && *registers != width))
        return false;
    point.registers = uint8_t(*registers);
    if (pieces.bytes && *pieces.bytes != "swapped" && *pieces.bytes != "normal")
        return false;
    point.swapped_bytes = pieces.bytes == "swapped";
    return true;
}

std::string_view type_name(const Point& point)
{
    switch (point.kind) {
    case PointKind::format: return format_name(point.format);
    case PointKind::bcd: return point.registers == 2 ? "BCD32" : "BCD16";
    case PointKind::string: return "STRING";
    case PointKind::bits: return "BITS";
    case PointKind::tab: break;
    }
    return {};
}

void append_quoted(std::string& out, std::string_view text)
{
    out.append("\"");
    append_escaped_label(out, text);
    out.append("\"");
}

// The word that opens the rest of a line, without the blanks around it.
std::string_view take_word(std::string_view& rest)
{
    rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
    size_t space = std::min(rest.find(' '), rest.size());
    std::string_view word = rest.substr(0, space);
    rest.remove_prefix(space);
    size_t last = word.find_last_not_of(" \t");
    return word.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

// The point whose address opens rest, if a POINT line gave it.
Point* take_named_point(std::string_view& rest, std::map<uint16_t, Point>& points)
{
    std::optional<uint32_t> address = parse_unsigned(take_word(rest), UINT16_MAX);
    auto found = address ? points.find(uint16_t(*address)) : points.end();
    return found == points.end() ? nullptr : &found->second;
}

}  // namespace

std::string_view format_name(ValueFormat format)
{
    return format_names[unsigned(format)];
}

std::string_view order_name(WordOrder order)
{
    return order_names[unsigned(order)];
}

std::optional<ValueFormat> format_from_name(std::string_view name)
{
    std::optional<unsigned> index = index_of_name(format_names, name);
    return index ? std::optional<ValueFormat>(ValueFormat(*index)) : std::nullopt;
}

std::optional<WordOrder> order_from_name(std::string_view name)
{
    std::optional<unsigned> index = index_of_name(order_names, name);
    return index ? std::optional<WordOrder>(WordOrder(*index)) : std::nullopt;
}

void append_point_lines(std::string& out, uint16_t address, const Point& point)
{
    const std::string at = std::to_string(address);
    out.append("POINT ").append(at);
    if (point.kind != PointKind::tab)
        out.append(" type=").append(type_name(point));
    if (point.kind == PointKind::string)
        out.append(" registers=").append(std::to_string(point.registers));
    if (point.kind == PointKind::string && point.swapped_bytes)
        out.append(" bytes=swapped");
    if (point.order != WordOrder::AB_CD)
        out.append(" order=").append(order_name(point.order));
    if (point.scale != 1)
        out.append(" scale=").append(number_text(point.scale));
    if (point.offset != 0)
        out.append(" offset=").append(number_text(point.offset));
    if (point.decimals != -1)
        out.append(" decimals=").append(std::to_string(point.decimals));
    if (!point.unit.empty())
        append_quoted(out.append(" unit="), point.unit);
    out.append("\n");
    for (const auto& [raw, name] : point.value_names) {
        out.append("VALUE ").append(at).append(" ").append(std::to_string(raw)).append(" ");
        append_quoted(out, name);
        out.append("\n");
    }
    for (const auto& [bit, name] : point.bit_names) {
        out.append("BIT ").append(at).append(" ").append(std::to_string(bit)).append(" ");
        append_quoted(out, name);
        out.append("\n");
    }
}

bool read_point_line(std::string_view rest, std::map<uint16_t, Point>& points)
{
    std::optional<uint32_t> address = parse_unsigned(take_word(rest), UINT16_MAX);
    if (!address || points.contains(uint16_t(*address)))
        return false;
    PointPieces pieces;
    if (!read_point_pieces(rest, pieces) || !apply_point_type(pieces))
        return false;
    points.emplace(uint16_t(*address), std::move(pieces.point));
    return true;
}

bool read_value_line(std::string_view rest, std::map<uint16_t, Point>& points)
{
    Point* point = take_named_point(rest, points);
    std::optional<int64_t> raw = parse_raw(take_word(rest));
    std::optional<std::string> name = read_quoted_label(rest);
    if (!point || !raw || !name)
        return false;
    point->value_names[*raw] = std::move(*name);
    return true;
}

bool read_bit_line(std::string_view rest, std::map<uint16_t, Point>& points)
{
    Point* point = take_named_point(rest, points);
    std::optional<uint32_t> bit = parse_unsigned(take_word(rest), 15);
    std::optional<std::string> name = read_quoted_label(rest);
    if (!point || !bit || !name)
        return false;
    point->bit_names[uint8_t(*bit)] = std::move(*name);
    return true;
}
