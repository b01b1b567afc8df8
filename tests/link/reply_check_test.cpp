#include "link/reply_check.hpp"

#include <gtest/gtest.h>
#include <modbus.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Serial replies as the library hands them over: unit id, protocol data
// unit and a checksum (its value already checked by the library).
TEST(ReplyCheck, SerialReplyAgreesWithItsRequestOrNamesWhy)
{
    const Bytes read{7, 3, 0, 10, 0, 2};
    const Bytes write{7, 6, 0, 11, 1, 0xF4};
    const Bytes coils{7, 15, 0, 16, 0, 10, 2, 0xFF, 3};
    struct Row {
        const char* what;
        Bytes request;
        Bytes reply;
        int error;
    } rows[] = {
        {"good read", read, {7, 3, 4, 0x12, 0x34, 1, 2, 0xC0, 0xDE}, 0},
        {"other unit", read, {8, 3, 4, 0x12, 0x34, 1, 2, 0xC0, 0xDE}, EMBBADDATA},
        {"byte count", read, {7, 3, 2, 0x12, 0x34, 0xC0, 0xDE}, EMBBADDATA},
        {"exception", read, {7, 0x83, 2, 0xC0, 0xDE}, EMBXILADD},
        {"unknown exception", read, {7, 0x83, 0x40, 0xC0, 0xDE}, EMBBADEXC},
        {"long exception", read, {7, 0x83, 2, 0, 0xC0, 0xDE}, EMBBADDATA},
        {"write echo", write, {7, 6, 0, 11, 1, 0xF4, 0xC0, 0xDE}, 0},
        {"other value", write, {7, 6, 0, 11, 1, 0xF5, 0xC0, 0xDE}, EMBBADDATA},
        {"coil count", coils, {7, 15, 0, 16, 0, 10, 0xC0, 0xDE}, 0},
        {"other count", coils, {7, 15, 0, 16, 0, 9, 0xC0, 0xDE}, EMBBADDATA},
        {"checksum only", read, {0xC0, 0xDE}, EMBBADDATA},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ReplyCheck check = check_reply(false, row.request.data(), row.request.size(), row.reply.data(), row.reply.size());
        EXPECT_EQ(check.error, row.error);
        if (!row.error) {
            EXPECT_EQ(check.frame_size, row.reply.size() - 2);
        }
    }
}

TEST(ReplyCheck, ItemsAreUnpackedFirstInTheLowestBitAndHighByteFirst)
{
    const Bytes bits{1, 1, 2, 0x0D, 0x03};
    uint16_t out[10];
    unpack_bits(bits.data(), 10, out);
    EXPECT_EQ(Bytes(out, out + 10), (Bytes{1, 0, 1, 1, 0, 0, 0, 0, 1, 1}));
    const Bytes registers{1, 3, 4, 0x12, 0x34, 0xFF, 0xFE};
    unpack_registers(registers.data(), 2, out);
    EXPECT_EQ(out[0], 0x1234);
    EXPECT_EQ(out[1], 0xFFFE);
}

}  // namespace
