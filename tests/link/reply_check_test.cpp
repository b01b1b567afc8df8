#include "link/reply_check.hpp"

#include <gtest/gtest.h>
#include <modbus.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Replies as the transport takes them off the line: unit id and protocol
// data unit.
TEST(ReplyCheck, ReplyAgreesWithItsRequestOrNamesWhy)
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
        {"good read", read, {7, 3, 4, 0x12, 0x34, 1, 2}, 0},
        {"other unit", read, {8, 3, 4, 0x12, 0x34, 1, 2}, EMBBADDATA},
        {"byte count", read, {7, 3, 2, 0x12, 0x34}, EMBBADDATA},
        {"exception", read, {7, 0x83, 2}, EMBXILADD},
        {"unknown exception", read, {7, 0x83, 0x40}, EMBBADEXC},
        {"long exception", read, {7, 0x83, 2, 0}, EMBBADDATA},
        {"write echo", write, {7, 6, 0, 11, 1, 0xF4}, 0},
        {"other value", write, {7, 6, 0, 11, 1, 0xF5}, EMBBADDATA},
        {"coil count", coils, {7, 15, 0, 16, 0, 10}, 0},
        {"other count", coils, {7, 15, 0, 16, 0, 9}, EMBBADDATA},
        {"unit only", read, {7}, EMBBADDATA},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ReplyCheck check = check_reply(row.request.data(), row.request.size(), row.reply.data(), row.reply.size());
        EXPECT_EQ(check.error, row.error);
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
