#include "logger/frame_text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FrameText, HexTextIsUpperCaseWithOneBlankBetweenBytes)
{
    char out[64];
    const uint8_t one[] = {0x0A};
    EXPECT_EQ(std::string(out, render_frame_hex(one, 1, out)), "0A");
    const uint8_t six[] = {0x01, 0x03, 0x00, 0x0A, 0xFF, 0x10};
    size_t length = render_frame_hex(six, 6, out);
    EXPECT_EQ(length, 17u);
    EXPECT_EQ(std::string(out, length), "01 03 00 0A FF 10");
}

}  // namespace
