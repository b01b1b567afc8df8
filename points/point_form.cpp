#include "points/point_form.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

#include "values/number_syntax.hpp"

namespace {

constexpr const char* type_names[] = {"As the Tab", "UINT",   "INT",     "HEX",    "BINARY", "INT32", "UINT32",
                                      "FLOAT32",    "INT64",  "UINT64",  "FLOAT64", "BCD",   "String", "Bits"};
constexpr unsigned first_format = 1;
constexpr unsigned format_count = 10;
constexpr unsigned bcd_type = first_format + format_count;
constexpr unsigned string_type = bcd_type + 1;
constexpr unsigned bits_type = string_type + 1;

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A number as "1.5", "-40" or "1e-3", read the same in every locale.
std::optional<double> read_double(std::string_view text)
{
    text = trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string shortest(double value)
{
    char buffer[32];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

// "n = name" lines into names; blank lines are passed over. False with the
// reason for the first line that is not one.
template <typename Key>
bool read_names(std::string_view text, const char* list, int64_t lowest, int64_t highest,
                std::map<Key, std::string>& names, std::string& refusal)
{
    unsigned line_number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line_number;
        if (line.empty())
            continue;
        std::string where = std::string(list) + ", line " + std::to_string(line_number) + ": ";
        size_t equals = line.find('=');
        std::optional<NumberText> number =
            equals == std::string_view::npos ? std::nullopt
                                             : parse_number_text(trimmed(line.substr(0, equals)), 10, uint64_t(INT64_MAX));
        if (!number) {
            refusal = where + "write a number, \"=\" and the name";
            return false;
        }
        int64_t key = number->negative ? -int64_t(number->magnitude) : int64_t(number->magnitude);
        std::string_view name = trimmed(line.substr(equals + 1));
        if (key < lowest || key > highest) {
            refusal = where + std::to_string(key) + " is out of range";
            return false;
        }
        if (name.empty()) {
            refusal = where + "the name is missing";
            return false;
        }
        names[Key(key)] = std::string(name);
    }
    return true;
}

template <typename Key>
std::string names_text(const std::map<Key, std::string>& names)
{
    std::string text;
    for (const auto& [key, name] : names)
        text += std::to_string(int64_t(key)) + " = " + name + "\n";
    return text;
}

}  // namespace

std::span<const char* const> point_type_names()
{
    return type_names;
}

PointFields fields_of(const Point& point)
{
    PointFields fields;
    switch (point.kind) {
    case PointKind::tab:
        fields.type = 0;
        break;
    case PointKind::format:
        fields.type = first_format + unsigned(point.format);
        break;
    case PointKind::bcd:
        fields.type = bcd_type;
        break;
    case PointKind::string:
        fields.type = string_type;
        break;
    case PointKind::bits:
        fields.type = bits_type;
        break;
    }
    fields.order = point.order;
    fields.registers = point.registers;
    fields.swapped_bytes = point.swapped_bytes;
    fields.scale = shortest(point.scale);
    fields.offset = shortest(point.offset);
    fields.decimals = point.decimals;
    fields.unit = point.unit;
    fields.value_names = names_text(point.value_names);
    fields.bit_names = names_text(point.bit_names);
    return fields;
}

std::optional<Point> point_of(const PointFields& fields, std::string& refusal)
{
    Point point;
    if (fields.type >= std::size(type_names)) {
        refusal = "Type: unknown";
        return std::nullopt;
    }
    if (fields.type >= first_format && fields.type < bcd_type) {
        point.kind = PointKind::format;
        point.format = ValueFormat(fields.type - first_format);
    } else if (fields.type == bcd_type) {
        point.kind = PointKind::bcd;
    } else if (fields.type == string_type) {
        point.kind = PointKind::string;
    } else if (fields.type == bits_type) {
        point.kind = PointKind::bits;
    }
    // An order only where there are several registers to put in one.
    bool ordered = (point.kind == PointKind::format && value_width(point.format) > 1) ||
                   (point.kind == PointKind::bcd && fields.registers == 2);
    point.order = ordered ? fields.order : WordOrder::AB_CD;
    if (point.kind == PointKind::bcd || point.kind == PointKind::string)
        point.registers = uint8_t(std::min(fields.registers, longest_point_string));
    point.swapped_bytes = point.kind == PointKind::string && fields.swapped_bytes;
    std::optional<double> scale = read_double(fields.scale);
    std::optional<double> offset = read_double(fields.offset);
    if (!scale || !offset) {
        refusal = std::string(scale ? "Offset" : "Scale") + ": not a number";
        return std::nullopt;
    }
    point.scale = *scale;
    point.offset = *offset;
    point.decimals = fields.decimals;
    point.unit = std::string(trimmed(fields.unit));
    if (!read_names(fields.value_names, "Value names", INT64_MIN, INT64_MAX, point.value_names, refusal) ||
        !read_names(fields.bit_names, "Bit names", 0, 15, point.bit_names, refusal))
        return std::nullopt;
    if (point.kind != PointKind::bits)
        point.bit_names.clear();  // kept in the fields, not in a point that shows none
    return point;
}
