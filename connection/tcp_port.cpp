#include "connection/tcp_port.hpp"

#include <cctype>

std::optional<uint32_t> parse_tcp_port(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        // Stop counting once out of range so that no number of digits overflows.
        value = value * 10 + static_cast<uint32_t>(text[i] - '0');
        if (value > max_tcp_port)
            return std::nullopt;
    }
    if (negative && value != 0)
        return std::nullopt;
    return value;
}
