// A typed value into a point's registers, and where a point may stand.

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "points/point_text.hpp"
#include "points/point_value.hpp"
#include "values/number_syntax.hpp"

namespace {

// What a typed value goes into.
struct Target {
    enum class Kind { format, bcd, coil, bits } kind = Kind::format;
    ValueFormat format = ValueFormat::UINT;
    WordOrder order = WordOrder::AB_CD;
    unsigned width = 1;
};

Target target_of(const Point& point, TabFormat tab, bool bits)
{
    Target target;
    target.width = point_width(point, tab, bits);
    target.format = point.kind == PointKind::format ? point.format : tab.format;
    target.order = point.kind == PointKind::tab ? tab.order : point.order;
    if (bits)
        target.kind = Target::Kind::coil;
    else if (point.kind == PointKind::bcd)
        target.kind = Target::Kind::bcd;
    else if (point.kind == PointKind::bits)
        target.kind = Target::Kind::bits;
    return target;
}

bool is_float(ValueFormat format)
{
    return format == ValueFormat::FLOAT32 || format == ValueFormat::FLOAT64;
}

bool is_float_target(const Target& target)
{
    return target.kind == Target::Kind::format && is_float(target.format);
}

bool in_base(const Target& target)
{
    return target.kind == Target::Kind::format &&
           (target.format == ValueFormat::HEX || target.format == ValueFormat::BINARY);
}

// HEX and BINARY show the register itself, and so take it.
bool takes_scale(const Target& target)
{
    return target.kind == Target::Kind::bcd || (target.kind == Target::Kind::format && !in_base(target));
}

PointEncoding refused(std::string reason)
{
    return {{}, std::move(reason)};
}

std::string does_not_fit(const Target& target, bool after_scale, std::string_view value)
{
    std::string name = point_format_name(target.format);
    if (target.kind == Target::Kind::bcd)
        name = target.width == 2 ? "BCD (0 to 99999999)" : "BCD (0 to 9999)";
    else if (target.kind == Target::Kind::bits)
        name = "a register";
    else if (target.kind == Target::Kind::coil)
        return "Not On, Off, 1 or 0: " + std::string(value);
    return "Does not fit " + name + (after_scale ? " after the scale: " : ": ") + std::string(value);
}

PointEncoding split(uint64_t bits, const Target& target)
{
    PointEncoding encoding;
    encoding.registers.resize(target.width);
    split_value(bits, target.width, target.order, encoding.registers.data());
    return encoding;
}

std::optional<uint64_t> float_bits(ValueFormat format, double value)
{
    if (format == ValueFormat::FLOAT64)
        return std::bit_cast<uint64_t>(value);
    auto single = static_cast<float>(value);
    if (std::isfinite(value) && !std::isfinite(single))
        return std::nullopt;
    return std::bit_cast<uint32_t>(single);
}

std::optional<uint64_t> bcd_bits(uint64_t value, unsigned width)
{
    if (value > (width == 2 ? 99999999u : 9999u))
        return std::nullopt;
    uint64_t bits = 0;
    for (unsigned digit = 0; value != 0; ++digit, value /= 10)
        bits |= (value % 10) << (4 * digit);
    return bits;
}

// The bits of a whole number in the target, or nothing when it does not fit.
std::optional<uint64_t> integer_bits(const Target& target, NumberText number)
{
    if (number.magnitude == 0)
        number.negative = false;
    if (is_float_target(target)) {
        double value = static_cast<double>(number.magnitude);
        return float_bits(target.format, number.negative ? -value : value);
    }
    if (target.kind == Target::Kind::bcd)
        return number.negative ? std::nullopt : bcd_bits(number.magnitude, target.width);
    unsigned bits = 16 * target.width;
    uint64_t largest = target.kind == Target::Kind::coil ? 1 : ~uint64_t(0) >> (64 - bits);
    bool is_signed = target.kind == Target::Kind::format &&
                     (target.format == ValueFormat::INT || target.format == ValueFormat::INT32 ||
                      target.format == ValueFormat::INT64);
    uint64_t limit = is_signed ? largest / 2 + number.negative : number.negative ? 0 : largest;
    if (number.magnitude > limit)
        return std::nullopt;
    return number.negative ? (0 - number.magnitude) & largest : number.magnitude;
}

// The bits of a raw value that may have a fraction: integers round to the
// nearest, half away from zero.
std::optional<uint64_t> number_bits(const Target& target, double raw)
{
    if (is_float_target(target))
        return float_bits(target.format, raw);
    double whole = std::round(raw);
    if (!std::isfinite(whole) || std::fabs(whole) >= 0x1p64)
        return std::nullopt;
    return integer_bits(target, {whole < 0, static_cast<uint64_t>(std::fabs(whole))});
}

// A decimal or exponent number in the C locale, "inf" or "nan".
std::optional<double> parse_decimal(std::string_view text)
{
    // from_chars takes no "+"; a sign after it is not a number.
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    double value = 0;
    std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// HEX and BINARY, like the Write dialog: digits of the base, prefix optional.
PointEncoding encode_in_base(const Target& target, std::string_view text)
{
    bool hex = target.format == ValueFormat::HEX;
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] | 0x20) == (hex ? 'x' : 'b'))
        digits.remove_prefix(2);
    std::optional<NumberText> number = parse_number_text(digits, hex ? 16 : 2, ~uint64_t(0));
    if (!number)
        return refused("Not a number: " + std::string(text));
    std::optional<uint64_t> bits = integer_bits(target, *number);
    return bits ? split(*bits, target) : refused(does_not_fit(target, false, text));
}

// "0x..." is the raw value as the registers hold it, never scaled.
PointEncoding encode_raw_hex(const Target& target, std::string_view text)
{
    std::optional<NumberText> number = parse_number_text(text.substr(2), 16, ~uint64_t(0));
    if (!number)
        return refused("Not a number: " + std::string(text));
    uint64_t largest = ~uint64_t(0) >> (64 - 16 * target.width);
    if (number->magnitude > largest)
        return refused(does_not_fit(target, false, text));
    return split(number->magnitude, target);
}

PointEncoding encode_number(const Point& point, const Target& target, std::string_view text)
{
    if (in_base(target))
        return encode_in_base(target, text);
    bool integer = target.kind != Target::Kind::bcd && !is_float_target(target);
    bool raw_hex = text.size() > 2 && text[0] == '0' && (text[1] | 0x20) == 'x';
    if (integer && target.kind != Target::Kind::coil && raw_hex)
        return encode_raw_hex(target, text);
    bool identity = !takes_scale(target) || (point.scale == 1 && point.offset == 0);
    // Exact first, so that 64-bit integers keep every digit.
    std::optional<NumberText> whole = identity ? parse_number_text(text, 10, ~uint64_t(0)) : std::nullopt;
    if (whole) {
        std::optional<uint64_t> bits = integer_bits(target, *whole);
        return bits ? split(*bits, target) : refused(does_not_fit(target, false, text));
    }
    // A coil's 0 and 1, and a register of bits, are whole numbers, taken above.
    if (target.kind == Target::Kind::coil)
        return refused(does_not_fit(target, false, text));
    std::optional<double> typed = parse_decimal(text);
    if (!typed)
        return refused("Not a number: " + std::string(text));
    if (target.kind == Target::Kind::bits)
        return refused("Not a whole number: " + std::string(text));
    double raw = identity ? *typed : (*typed - point.offset) / point.scale;
    if (std::optional<uint64_t> bits = number_bits(target, raw))
        return split(*bits, target);
    if (identity)
        return refused(does_not_fit(target, false, text));
    return refused(does_not_fit(target, true, scaled_text(integer ? std::round(raw) : raw, -1, false)));
}

// The raw value of a name: its exact text first, then in any case.
std::optional<int64_t> named_value(const std::map<int64_t, std::string>& names, std::string_view text)
{
    for (bool exact : {true, false})
        for (const auto& [value, name] : names)
            if (exact ? name == text : same_ignoring_case(name, text))
                return value;
    return std::nullopt;
}

bool names_a_bit(const Point& point, std::string_view text)
{
    for (const auto& [bit, name] : point.bit_names)
        if (same_ignoring_case(name, text))
            return true;
    std::string_view number = text.substr(std::min<size_t>(text.size(), 4));
    return same_ignoring_case(text.substr(0, 4), "Bit ") && !number.empty() &&
           number.find_first_not_of("0123456789") == std::string_view::npos;
}

// The typed number without what read_point puts after it.
std::string_view without_marks(std::string_view text, const std::string& unit)
{
    constexpr std::string_view unnamed = "(unnamed)";
    if (text.ends_with(unnamed))
        text = point_trimmed(text.substr(0, text.size() - unnamed.size()));
    if (!unit.empty() && text.size() > unit.size() && text.ends_with(unit))
        text = point_trimmed(text.substr(0, text.size() - unit.size()));
    return text;
}

PointEncoding encode_string(const Point& point, std::string_view typed)
{
    unsigned width = point_width(point, {}, false);
    std::string bytes = unescaped_text(typed);
    if (bytes.size() > 2 * width)
        return refused("Does not fit " + std::to_string(width) + (width == 1 ? " register: " : " registers: ") +
                       std::to_string(bytes.size()) + " bytes (" + std::to_string(2 * width) + " at most)");
    PointEncoding encoding;
    encoding.registers.assign(width, 0);
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto byte = static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]));
        bool high = (i % 2 == 0) != point.swapped_bytes;
        encoding.registers[i / 2] |= high ? byte << 8 : byte;
    }
    return encoding;
}

std::string on_bits_refusal(const Point& point, const char* what)
{
    std::string has_no = std::string(what) + " has no ";
    switch (point.kind) {
    case PointKind::format:
        return has_no + point_format_name(point.format);
    case PointKind::bcd:
        return has_no + "BCD";
    case PointKind::string:
        return has_no + "string";
    case PointKind::bits:
        return has_no + "named bits";
    case PointKind::tab:
        break;
    }
    if (point.scale != 1)
        return has_no + "scale";
    if (point.offset != 0)
        return has_no + "offset";
    return {};
}

std::string runs_past(const Point& point, unsigned width)
{
    std::string what = point.kind == PointKind::string ? "A string"
                       : point.kind == PointKind::bcd  ? "A BCD"
                                                       : "";
    if (what.empty()) {
        std::string name = point_format_name(point.format);
        return (name[0] == 'I' ? "An " : "A ") + name + " runs past the block's end";
    }
    return what + " of " + std::to_string(width) + " registers runs past the block's end";
}

}  // namespace

PointEncoding encode_point(const Point& point, TabFormat tab, std::string_view typed, bool bits)
{
    if (!bits && point.kind == PointKind::string)
        return encode_string(point, typed);
    Target target = target_of(point, tab, bits);
    std::string_view text = point_trimmed(typed);
    if (text.empty())
        return refused("Type a value");
    if (target.kind == Target::Kind::bits && names_a_bit(point, text))
        return refused("Bits are written one at a time: " + std::string(text));
    std::optional<int64_t> key = named_value(point.value_names, text);
    if (key && target.kind != Target::Kind::bits) {
        uint64_t magnitude = *key < 0 ? 0 - uint64_t(*key) : uint64_t(*key);
        std::optional<uint64_t> raw = integer_bits(target, {*key < 0, magnitude});
        return raw ? split(*raw, target) : refused(does_not_fit(target, false, std::to_string(*key)));
    }
    text = without_marks(text, point.unit);
    if (target.kind == Target::Kind::coil && (same_ignoring_case(text, "On") || same_ignoring_case(text, "Off")))
        return split(same_ignoring_case(text, "On"), target);
    return encode_number(point, target, text);
}

std::string point_refusal(const Point& point, const PollDefinition& poll, uint16_t address)
{
    uint32_t end = uint32_t(poll.address) + poll.length;
    if (address < poll.address || address >= end)
        return "Address " + std::to_string(address) + " is outside the block";
    if (!std::isfinite(point.scale) || !std::isfinite(point.offset))
        return "The scale and the offset must be numbers";
    if (point.scale == 0)
        return "The scale cannot be 0";
    if (point.decimals < -1 || point.decimals > 15)
        return "Decimals must be from -1 to 15: " + std::to_string(point.decimals);
    if (poll.fcode == 1 || poll.fcode == 2)
        return on_bits_refusal(point, poll.fcode == 1 ? "A coil" : "A discrete input");
    if (point.kind == PointKind::string && (point.registers < 1 || point.registers > longest_point_string))
        return "A string takes 1 to " + std::to_string(longest_point_string) + " registers";
    if (point.kind == PointKind::bcd && point.registers != 1 && point.registers != 2)
        return "BCD takes 1 or 2 registers";
    unsigned width = point_width(point, {}, false);
    // A point of kind tab spans what the tab shows, which the tab itself keeps in the block.
    if (point.kind != PointKind::tab && address + width > end)
        return runs_past(point, width);
    return {};
}
