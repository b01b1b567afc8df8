#include "chart/chart_value.hpp"

#include <bit>
#include <cmath>

#include "chart/sample_store.hpp"
#include "table/grid_layout.hpp"

unsigned chart_value_words(ValueFormat format)
{
    return value_width(format);
}

ChartPlace chart_place(uint32_t address, uint32_t start, unsigned length, unsigned width)
{
    if (address < start || address - start >= length)
        return ChartPlace::not_polled;
    unsigned item = address - start;
    if (group_head(item, width) != item)
        return ChartPlace::inside_value;
    return group_complete(item, width, length) ? ChartPlace::value : ChartPlace::cut_off;
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
