#include "table/value_format.hpp"

#include <cstdio>

bool render_value(uint16_t v, ValueFormat format, char* out, size_t capacity)
{
    (void)format;
    int n = std::snprintf(out, capacity, "%u", static_cast<unsigned>(v));
    return n > 0 && static_cast<size_t>(n) < capacity;
}

const char* fallback_text(ValueFormat format)
{
    switch (format) {
    case ValueFormat::HEX:
        return "0x0000";
    case ValueFormat::BINARY:
        return "0b0000000000000000";
    default:
        return "0";
    }
}

ValueFormat value_format_from_index(unsigned index)
{
    return index <= 3 ? static_cast<ValueFormat>(index) : ValueFormat::UINT;
}
