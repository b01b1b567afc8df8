#include "link/line_frames.hpp"

#include <cstdint>

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

uint16_t rtu_checksum(const uint8_t* bytes, size_t count)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

uint8_t ascii_lrc(const uint8_t* bytes, size_t count)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum = uint8_t(sum + bytes[i]);
    return uint8_t(-sum);
}

size_t encode_ascii(const uint8_t* frame, size_t count, char* out)
{
    size_t at = 0;
    out[at++] = ':';
    auto put = [&](uint8_t byte) {
        out[at++] = hex_digits[byte >> 4];
        out[at++] = hex_digits[byte & 0x0F];
    };
    for (size_t i = 0; i < count; ++i)
        put(frame[i]);
    put(ascii_lrc(frame, count));
    out[at++] = '\r';
    out[at++] = '\n';
    return at;
}

bool decode_ascii(const char* text, size_t length, uint8_t* frame, size_t& count)
{
    // ":" + at least unit, function and LRC + CR LF
    if (length < 9 || text[0] != ':' || text[length - 2] != '\r' || text[length - 1] != '\n')
        return false;
    size_t digits = length - 3;
    if (digits % 2 != 0)
        return false;
    size_t bytes = digits / 2;
    for (size_t i = 0; i < bytes; ++i) {
        int high = hex_value(text[1 + 2 * i]);
        int low = hex_value(text[2 + 2 * i]);
        if (high < 0 || low < 0)
            return false;
        frame[i] = uint8_t(high << 4 | low);
    }
    count = bytes - 1;
    return ascii_lrc(frame, count) == frame[count];
}

namespace {

// A Read Device Identification reply: eight bytes of header, the last the
// object count, then each object's id, length and value.
size_t identification_length_so_far(const uint8_t* bytes, size_t have, size_t checksum_size)
{
    constexpr size_t header = 8;
    constexpr uint8_t mei_device_identification = 14;
    if (have >= 3 && bytes[2] != mei_device_identification)
        return SIZE_MAX;
    if (have < header)
        return 0;
    size_t at = header;
    for (unsigned i = 0; i < bytes[7]; ++i) {
        if (have < at + 2)
            return 0;
        at += 2 + size_t(bytes[at + 1]);
    }
    return at + checksum_size;
}

}  // namespace

size_t reply_length_so_far(const uint8_t* bytes, size_t have, size_t checksum_size)
{
    if (have < 2)
        return 0;
    uint8_t fcode = bytes[1];
    if (fcode & 0x80)
        return 3 + checksum_size;
    switch (fcode) {
    case 1:
    case 2:
    case 3:
    case 4:
        return have < 3 ? 0 : 3 + size_t(bytes[2]) + checksum_size;
    case 5:
    case 6:
    case 15:
    case 16:
        return 6 + checksum_size;
    case 22:
        return 8 + checksum_size;
    case 17:
        return have < 3 ? 0 : 3 + size_t(bytes[2]) + checksum_size;
    case 43:
        return identification_length_so_far(bytes, have, checksum_size);
    default:
        return SIZE_MAX;
    }
}

void write_tcp_header(uint16_t transaction, size_t frame_size, uint8_t* out)
{
    out[0] = uint8_t(transaction >> 8);
    out[1] = uint8_t(transaction & 0xFF);
    out[2] = 0;
    out[3] = 0;
    out[4] = uint8_t(frame_size >> 8);
    out[5] = uint8_t(frame_size & 0xFF);
}
