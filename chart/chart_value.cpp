#include "chart/chart_value.hpp"

#include <bit>
#include <cmath>

unsigned chart_value_words(ValueFormat format)
{
    return value_width(format);
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
    return std::isfinite(value) ? value : std::nan("");
}
