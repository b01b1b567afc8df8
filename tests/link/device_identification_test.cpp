#include "link/device_identification.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "link/line_frames.hpp"

using Bytes = std::vector<uint8_t>;

// Given a reply of two objects split over the stream, expect its length
// known only once the last object's length byte came, and the objects read.
TEST(DeviceIdentification, ReadsObjectsOfAWholeReply)
{
    Frame request = identification_request(5, basic_objects, 0);
    Bytes reply{5, 43, 14, 1, 0x82, 0xFF, 2, 2, 0, 3, 'A', 'c', 'm', 1, 2, 'X', '9'};
    EXPECT_EQ(reply_length_so_far(reply.data(), 9, 0), 0u);
    EXPECT_EQ(reply_length_so_far(reply.data(), 14, 2), 0u);
    EXPECT_EQ(reply_length_so_far(reply.data(), 15, 2), reply.size() + 2);
    IdentificationReply told = parse_identification(request, reply.data(), reply.size());
    ASSERT_TRUE(told.good);
    EXPECT_TRUE(told.more);
    EXPECT_EQ(told.next_object, 2);
    EXPECT_TRUE(offers_regular(told.conformity));
    EXPECT_EQ(identification_text(told.objects), "Acm / X9");

    // One byte short, another unit, and a refusal.
    EXPECT_FALSE(parse_identification(request, reply.data(), reply.size() - 1).good);
    reply[0] = 6;
    EXPECT_FALSE(parse_identification(request, reply.data(), reply.size()).good);
    Bytes refusal{5, 43 | 0x80, 1};
    EXPECT_TRUE(parse_identification(request, refusal.data(), refusal.size()).refused);
}

TEST(DeviceIdentification, ServerIdShowsPrintableBytesAsText)
{
    Frame request = server_id_request(7);
    Bytes reply{7, 17, 5, 'P', 'L', 'C', 0x01, 0xFF};
    EXPECT_EQ(reply_length_so_far(reply.data(), 3, 2), reply.size() + 2);
    ServerIdReply told = parse_server_id(request, reply.data(), reply.size());
    EXPECT_TRUE(told.good);
    EXPECT_EQ(told.text, "PLC<01><FF>");
    reply[2] = 6;  // a byte count the frame does not hold
    EXPECT_FALSE(parse_server_id(request, reply.data(), reply.size()).good);
}
