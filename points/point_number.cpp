#include "points/point_number.hpp"

#include <cmath>

#include "points/point_text.hpp"

PointNumberStyle point_number_style(const Point& point, TabFormat tab, bool bits)
{
    PointNumberStyle style;
    if (bits)
        return style;
    switch (point.kind) {
    case PointKind::tab:
        style.format = tab.format;
        break;
    case PointKind::format:
        style.format = point.format;
        break;
    case PointKind::bcd:
        break;
    case PointKind::string:
    case PointKind::bits:
        return style;
    }
    // HEX and BINARY show the registers whatever the scale.
    if (style.format == ValueFormat::HEX || style.format == ValueFormat::BINARY)
        return style;
    style.scaled = point.scale != 1 || point.offset != 0;
    style.rescaled = style.scaled || point.decimals >= 0;
    return style;
}

std::string point_number_text(const Point& point, const PointNumberStyle& style, double shown, std::string plain)
{
    // Bits and strings show no number, so no unit either.
    bool named = point.kind == PointKind::string || point.kind == PointKind::bits;
    if (named || !std::isfinite(shown))
        return plain;
    std::string text =
        style.rescaled ? scaled_text(shown, point.decimals, style.format == ValueFormat::FLOAT32) : std::move(plain);
    return point.unit.empty() ? text : text + " " + point.unit;
}

double point_raw_number(const Point& point, TabFormat tab, std::span<const uint16_t> words, bool bits)
{
    // The type alone: without a scale read_point hands the number on as read.
    Point type;
    type.kind = point.kind;
    type.format = point.format;
    type.order = point.order;
    type.registers = point.registers;
    type.swapped_bytes = point.swapped_bytes;
    return read_point(type, tab, words, bits).number;
}
