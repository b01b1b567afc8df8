#include "link/line_frames.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Checksums and LRCs of frames written out in the protocol's own examples
// and by other devices' manuals: given them, expect the same bytes.
TEST(LineFrames, RtuChecksumAndAsciiTextOfKnownFrames)
{
    const Bytes read{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    EXPECT_EQ(rtu_checksum(read.data(), read.size()), 0xCDC5);  // C5 CD on the line
    const Bytes write{0x11, 0x06, 0x00, 0x01, 0x00, 0x03};
    EXPECT_EQ(rtu_checksum(write.data(), write.size()), 0x9B9A);

    char text[64];
    const Bytes one{0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(std::string(text, encode_ascii(one.data(), one.size(), text)), ":010300000001FB\r\n");

    uint8_t frame[32];
    size_t count = 0;
    for (const char* good : {":010300000001FB\r\n", ":010300000001fb\r\n"}) {
        ASSERT_TRUE(decode_ascii(good, std::char_traits<char>::length(good), frame, count)) << good;
        EXPECT_EQ(Bytes(frame, frame + count), one);
    }
    for (const char* bad : {":010300000001FC\r\n", ":0103000000G1FB\r\n", ":010300000001F\r\n", ":01FF\r\n",
                            "010300000001FB\r\n", ":010300000001FB\n"})
        EXPECT_FALSE(decode_ascii(bad, std::char_traits<char>::length(bad), frame, count)) << bad;
}

// Given the first bytes of a reply, expect its whole length once it can be
// told, and a refusal of a function no reply carries.
TEST(LineFrames, ReplyLengthFollowsItsFunctionAndByteCount)
{
    struct Row {
        Bytes start;
        size_t checksum;
        size_t length;
    } rows[] = {
        {{0x01}, 2, 0},
        {{0x01, 0x03}, 2, 0},
        {{0x01, 0x03, 0x04}, 2, 9},
        {{0x01, 0x01, 0x02}, 0, 5},
        {{0x01, 0x83}, 2, 5},
        {{0x01, 0x10}, 2, 8},
        {{0x01, 0x05}, 0, 6},
        {{0x01, 0x16}, 2, 10},
        {{0x01, 0x2C}, 2, SIZE_MAX},
    };
    for (const Row& row : rows)
        EXPECT_EQ(reply_length_so_far(row.start.data(), row.start.size(), row.checksum), row.length)
            << int(row.start.size()) << " bytes, function " << int(row.start.back());
}

}  // namespace
