#include "chart/chart_value.hpp"

unsigned chart_value_words(ValueFormat)
{
    return 1;
}

double chart_value(std::span<const uint16_t> words, ValueFormat format, bool bits)
{
    uint16_t word = words[0];
    if (bits)
        return word ? 1.0 : 0.0;
    switch (format) {
    case ValueFormat::INT:
        return double(int16_t(word));
    case ValueFormat::UINT:
    case ValueFormat::HEX:
    case ValueFormat::BINARY:
        break;
    }
    return double(word);
}
