#include "points/point_value.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <limits>
#include <optional>

#include "points/point_text.hpp"
#include "values/number_syntax.hpp"

namespace {

// A point's number before the scale.
struct RawNumber {
    double value = 0;
    std::optional<int64_t> key;  // the value names' key: the raw value when it is a whole number
    std::string text;            // as the program shows it without a scale
    bool single = false;         // a FLOAT32, shown at its own precision once scaled
    bool scaled = true;          // HEX, BINARY and a coil show the register itself
};

// Whole floats have names too; 2^63 is the first that does not fit a key.
std::optional<int64_t> whole_key(double value)
{
    if (!std::isfinite(value) || value != std::trunc(value) || std::fabs(value) >= 0x1p63)
        return std::nullopt;
    return static_cast<int64_t>(value);
}

RawNumber raw_of_format(const uint16_t* words, ValueFormat format, WordOrder order)
{
    uint64_t bits = join_registers(words, value_width(format), order);
    char text[40];
    RawNumber raw;
    raw.text = render_registers_or_fallback(words, format, order, text, sizeof text);
    raw.scaled = format != ValueFormat::HEX && format != ValueFormat::BINARY;
    switch (format) {
    case ValueFormat::INT:
        raw.key = static_cast<int16_t>(bits);
        break;
    case ValueFormat::INT32:
        raw.key = static_cast<int32_t>(static_cast<uint32_t>(bits));
        break;
    case ValueFormat::INT64:
        raw.key = static_cast<int64_t>(bits);
        break;
    case ValueFormat::UINT64:
        raw.value = static_cast<double>(bits);
        if (bits <= uint64_t(std::numeric_limits<int64_t>::max()))
            raw.key = static_cast<int64_t>(bits);
        return raw;
    case ValueFormat::FLOAT32:
        raw.value = std::bit_cast<float>(static_cast<uint32_t>(bits));
        raw.single = true;
        raw.key = whole_key(raw.value);
        return raw;
    case ValueFormat::FLOAT64:
        raw.value = std::bit_cast<double>(bits);
        raw.key = whole_key(raw.value);
        return raw;
    default:  // UINT, HEX, BINARY, UINT32
        raw.key = static_cast<int64_t>(bits);
        break;
    }
    raw.value = static_cast<double>(*raw.key);
    return raw;
}

uint32_t bcd_bits(const uint16_t* words, unsigned width, WordOrder order)
{
    return static_cast<uint32_t>(join_registers(words, width, order));
}

// Nothing when a nibble is above 9.
std::optional<RawNumber> raw_of_bcd(const uint16_t* words, unsigned width, WordOrder order)
{
    uint32_t bits = bcd_bits(words, width, order);
    int64_t value = 0;
    for (int shift = 16 * int(width) - 4; shift >= 0; shift -= 4) {
        uint32_t digit = bits >> shift & 0xF;
        if (digit > 9)
            return std::nullopt;
        value = value * 10 + digit;
    }
    RawNumber raw;
    raw.value = static_cast<double>(value);
    raw.key = value;
    raw.text = std::to_string(value);
    return raw;
}

std::string with_unit(std::string text, const Point& point)
{
    return point.unit.empty() ? text : text + " " + point.unit;
}

// The number after the scale, or the name of the raw value; the unit
// follows a finite number only, never a name or a NaN.
void show_number(PointReading& reading, const Point& point, const RawNumber& raw)
{
    // A float's NaN or infinity is what the device said, whatever the scale.
    bool identity = !raw.scaled || (point.scale == 1 && point.offset == 0) || !std::isfinite(raw.value);
    double shown = identity ? raw.value : raw.value * point.scale + point.offset;
    reading.number = identity ? shown : clean_number(shown);
    if (!std::isfinite(shown))
        reading.text = scaled_text(shown, -1, false);
    else if (!raw.scaled || (identity && point.decimals < 0))
        reading.text = with_unit(raw.text, point);
    else
        reading.text = with_unit(scaled_text(shown, point.decimals, raw.single), point);
    if (point.value_names.empty())
        return;
    auto name = raw.key ? point.value_names.find(*raw.key) : point.value_names.end();
    if (name != point.value_names.end()) {
        reading.text = name->second;
    } else {
        reading.text += " (unnamed)";
        reading.unnamed = true;
    }
}

std::string string_text(std::span<const uint16_t> words, bool swapped_bytes)
{
    std::string bytes;
    for (uint16_t word : words) {
        auto high = static_cast<char>(word >> 8);
        auto low = static_cast<char>(word & 0xFF);
        bytes += swapped_bytes ? low : high;
        bytes += swapped_bytes ? high : low;
    }
    return escaped_text(bytes.substr(0, bytes.find('\0')));
}

std::string bits_text(uint16_t word, const std::map<uint8_t, std::string>& names)
{
    std::string text;
    for (uint8_t bit = 0; bit < 16; ++bit) {
        if (!(word >> bit & 1))
            continue;
        auto name = names.find(bit);
        text += text.empty() ? "" : ", ";
        text += name != names.end() ? name->second : "Bit " + std::to_string(bit);
    }
    return text.empty() ? "None" : text;
}

PointReading read_coil(const Point& point, uint16_t word)
{
    RawNumber raw;
    raw.value = word != 0;
    raw.key = word != 0;
    raw.text = word != 0 ? "1" : "0";
    raw.scaled = false;
    PointReading reading;
    reading.raw = raw.text;
    show_number(reading, point, raw);
    return reading;
}

}  // namespace

unsigned point_width(const Point& point, TabFormat tab, bool bits)
{
    if (bits)
        return 1;
    switch (point.kind) {
    case PointKind::format:
        return value_width(point.format);
    case PointKind::bcd:
        return std::clamp<unsigned>(point.registers, 1, 2);
    case PointKind::string:
        return std::clamp<unsigned>(point.registers, 1, longest_point_string);
    case PointKind::bits:
        return 1;
    case PointKind::tab:
        break;
    }
    return value_width(tab.format);
}

PointReading read_point(const Point& point, TabFormat tab, std::span<const uint16_t> words, bool bits)
{
    unsigned width = point_width(point, tab, bits);
    assert(words.size() >= width);
    if (bits)
        return read_coil(point, words[0]);
    PointReading reading;
    reading.raw = registers_hex(words.first(width));
    switch (point.kind) {
    case PointKind::tab:
        show_number(reading, point, raw_of_format(words.data(), tab.format, tab.order));
        break;
    case PointKind::format:
        show_number(reading, point, raw_of_format(words.data(), point.format, point.order));
        break;
    case PointKind::bcd:
        if (std::optional<RawNumber> raw = raw_of_bcd(words.data(), width, point.order)) {
            show_number(reading, point, *raw);
        } else {
            reading.text = hex_text(bcd_bits(words.data(), width, point.order), 4 * width) + " (invalid BCD)";
            reading.invalid = true;
        }
        break;
    case PointKind::string:
        reading.text = string_text(words.first(width), point.swapped_bytes);
        break;
    case PointKind::bits:
        reading.text = bits_text(words[0], point.bit_names);
        reading.number = words[0];
        break;
    }
    return reading;
}

BitMask bit_mask(uint8_t bit, bool on)
{
    auto mask = static_cast<uint16_t>(bit < 16 ? 1u << bit : 0);
    return {static_cast<uint16_t>(~mask), on ? mask : uint16_t(0)};
}
