#include "link/frames.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace {

std::vector<uint8_t> bytes_of(const Frame& frame)
{
    return std::vector<uint8_t>(frame.bytes.begin(), frame.bytes.begin() + frame.size);
}

using Bytes = std::vector<uint8_t>;

TEST(Frames, PollRequestCarriesIdFunctionAddressAndLength)
{
    EXPECT_EQ(bytes_of(poll_request_frame(0x11, 3, 0x1234, 20)), (Bytes{0x11, 0x03, 0x12, 0x34, 0x00, 0x14}));
    EXPECT_EQ(bytes_of(poll_request_frame(255, 1, 0xFFFF, 255)), (Bytes{0xFF, 0x01, 0xFF, 0xFF, 0x00, 0xFF}));
}

TEST(Frames, WriteRequestByFunction)
{
    struct Row {
        WriteFrameRequest request;
        Bytes sent;
    } rows[] = {
        {{0x11, 5, 0x0010, 1, 1}, {0x11, 0x05, 0x00, 0x10, 0xFF, 0x00}},
        {{0x11, 5, 0x0010, 2, 1}, {0x11, 0x05, 0x00, 0x10, 0x00, 0x00}},  // bit 0 clear: OFF
        {{1, 6, 0x0102, 0xBEEF, 1}, {0x01, 0x06, 0x01, 0x02, 0xBE, 0xEF}},
        {{1, 15, 0x0010, 1, 10}, {0x01, 0x0F, 0x00, 0x10, 0x00, 0x0A, 0x02, 0xFF, 0x03}},
        {{1, 15, 0x0010, 2, 10}, {0x01, 0x0F, 0x00, 0x10, 0x00, 0x0A, 0x02, 0x00, 0x00}},
        {{1, 15, 0, 1, 16}, {0x01, 0x0F, 0x00, 0x00, 0x00, 0x10, 0x02, 0xFF, 0xFF}},
        {{1, 16, 0x0020, 258, 3}, {0x01, 0x10, 0x00, 0x20, 0x00, 0x03, 0x06, 0x01, 0x02, 0x01, 0x02, 0x01, 0x02}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << int(row.request.fcode) << " value " << row.request.value);
        EXPECT_EQ(bytes_of(write_request_frame(row.request)), row.sent);
    }
}

TEST(Frames, WriteCountIsClampedAndUnframableRegisterWritesGiveNoFrame)
{
    EXPECT_EQ(clamp_write_count(0), 1);
    EXPECT_EQ(clamp_write_count(240), 240);
    EXPECT_EQ(clamp_write_count(300), 255);
    EXPECT_EQ(write_request_frame(WriteFrameRequest{1, 16, 0, 7, 127}).size, 2u * 127 + 7);
    // 2n no longer fits its byte: nothing that could mislead the reader.
    EXPECT_EQ(write_request_frame(WriteFrameRequest{1, 16, 0, 7, 128}).size, 0u);
    EXPECT_EQ(write_request_frame(WriteFrameRequest{1, 15, 0, 1, 255}).size, 32u + 7);
}

}  // namespace
