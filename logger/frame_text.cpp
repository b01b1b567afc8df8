#include "logger/frame_text.hpp"

#include <cstring>


size_t render_frame_hex(const uint8_t* bytes, size_t count, char* out)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        out[at++] = digits[bytes[i] >> 4];
        out[at++] = digits[bytes[i] & 0x0F];
        if (i + 1 < count)
            out[at++] = ' ';
    }
    return at;
}

size_t format_log_line(char* out, size_t capacity, int64_t epoch_seconds, LogDirection direction,
                       const char* text, size_t length, std::string_view mark)
{
    size_t marked = mark.empty() ? 0 : 1 + mark.size();
    size_t prefix = 8 + marked + 5;
    if (capacity < prefix + length + 1)
        return 0;
    int64_t of_day = epoch_seconds % 86400;
    if (of_day < 0)
        of_day += 86400;
    unsigned hours = static_cast<unsigned>(of_day / 3600);
    unsigned minutes = static_cast<unsigned>(of_day / 60 % 60);
    unsigned seconds = static_cast<unsigned>(of_day % 60);
    out[0] = static_cast<char>('0' + hours / 10);
    out[1] = static_cast<char>('0' + hours % 10);
    out[2] = ':';
    out[3] = static_cast<char>('0' + minutes / 10);
    out[4] = static_cast<char>('0' + minutes % 10);
    out[5] = ':';
    out[6] = static_cast<char>('0' + seconds / 10);
    out[7] = static_cast<char>('0' + seconds % 10);
    if (marked) {
        out[8] = ' ';
        std::memcpy(out + 9, mark.data(), mark.size());
    }
    std::memcpy(out + 8 + marked, direction == LogDirection::tx ? " TX: " : " RX: ", 5);
    if (length)
        std::memcpy(out + prefix, text, length);
    out[prefix + length] = '\n';
    return prefix + length + 1;
}
