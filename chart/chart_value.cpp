#include "chart/chart_value.hpp"

#include <bit>
#include <cmath>
#include <optional>
#include <vector>

#include "chart/chart_csv.hpp"
#include "chart/sample_store.hpp"
#include "points/value_groups.hpp"

namespace {

// A whole number in [low, end).
bool whole_within(double value, double low, double end)
{
    return value == std::trunc(value) && value >= low && value < end;
}

// The bits that stand for value in format, when the format holds it
// exactly (the bounds are exact doubles).
std::optional<uint64_t> bits_in_format(double value, ValueFormat format)
{
    switch (format) {
    case ValueFormat::FLOAT32:
        if (double(float(value)) != value)
            return std::nullopt;
        return std::bit_cast<uint32_t>(float(value));
    case ValueFormat::FLOAT64:
        return std::bit_cast<uint64_t>(value);
    case ValueFormat::INT:
        if (!whole_within(value, -0x1p15, 0x1p15))
            return std::nullopt;
        return uint16_t(int16_t(value));
    case ValueFormat::INT32:
        if (!whole_within(value, -0x1p31, 0x1p31))
            return std::nullopt;
        return uint32_t(int32_t(value));
    case ValueFormat::UINT32:
        if (!whole_within(value, 0, 0x1p32))
            return std::nullopt;
        return uint32_t(value);
    case ValueFormat::INT64:
        if (!whole_within(value, -0x1p63, 0x1p63))
            return std::nullopt;
        return uint64_t(int64_t(value));
    case ValueFormat::UINT64:
        if (!whole_within(value, 0, 0x1p64))
            return std::nullopt;
        return uint64_t(value);
    default:
        if (!whole_within(value, 0, 0x1p16))
            return std::nullopt;
        return uint16_t(value);
    }
}

}  // namespace

unsigned chart_value_words(ValueFormat format)
{
    return value_width(format);
}

ChartSpot chart_spot(const DefinitionSetUp& definition, uint16_t address)
{
    const PollDefinition& poll = definition.poll;
    ChartSpot spot;
    if (address < poll.address || address - poll.address >= poll.length)
        return spot;
    unsigned item = address - poll.address;
    std::vector<ValueGroup> groups = value_groups(definition);
    const ValueGroup& group = groups[group_index(groups, item)];
    spot.head = uint16_t(poll.address + group.first);
    spot.width = group.width;
    spot.point = group.point;
    if (group.first != item)
        spot.place = ChartPlace::inside_value;
    else if (group.complete)
        spot.place = ChartPlace::value;
    else
        spot.place = group.first + group.width < poll.length ? ChartPlace::cut_short : ChartPlace::cut_off;
    return spot;
}

double chart_value(std::span<const uint16_t> words, ValueFormat format, WordOrder order, bool bits)
{
    if (bits)
        return words[0] ? 1.0 : 0.0;
    uint64_t v = join_registers(words.data(), value_width(format), order);
    double value = 0;
    switch (format) {
    case ValueFormat::INT:
        return double(int16_t(words[0]));
    case ValueFormat::UINT:
    case ValueFormat::HEX:
    case ValueFormat::BINARY:
        return double(words[0]);
    case ValueFormat::INT32:
        return double(int32_t(uint32_t(v)));
    case ValueFormat::UINT32:
        return double(uint32_t(v));
    case ValueFormat::INT64:
        return double(int64_t(v));
    case ValueFormat::UINT64:
        return double(v);
    case ValueFormat::FLOAT32:
        value = double(std::bit_cast<float>(uint32_t(v)));
        break;
    case ValueFormat::FLOAT64:
        value = std::bit_cast<double>(v);
        break;
    }
    return std::isnan(value) ? device_nan() : value;
}

ChartNumbers chart_point_value(const Point& point, const PointNumberStyle& style, TabFormat tab,
                               std::span<const uint16_t> words, bool bits)
{
    auto filed = [](double number) { return std::isnan(number) ? device_nan() : number; };
    double shown = filed(read_point(point, tab, words, bits).number);
    return {shown, style.scaled ? filed(point_raw_number(point, tab, words, bits)) : shown};
}

std::string chart_value_text(double value, ValueFormat format)
{
    std::optional<uint64_t> bits = std::isfinite(value) ? bits_in_format(value, format) : std::nullopt;
    if (!bits)
        return sample_text(value);
    // The grid's own text of the registers that hold the value.
    uint16_t registers[4];
    split_value(*bits, value_width(format), WordOrder::AB_CD, registers);
    char text[40];
    return render_registers_or_fallback(registers, format, WordOrder::AB_CD, text, sizeof text);
}
