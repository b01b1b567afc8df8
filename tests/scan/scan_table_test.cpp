#include "scan/scan_table.hpp"

#include <gtest/gtest.h>

// Given a serial scan's rows, a device, an exception and a gateway's word,
// expect one CSV line each, a text with a comma quoted.
TEST(ScanTable, CsvHoldsEveryRowWithItsSetting)
{
    ScanRow device{.unit = 9, .serial = true, .baud = 9600, .parity = 'E', .response_ms = 12.34,
                   .identification = "Acme, Inc. / \"X9\""};
    ScanRow refused{.unit = 10, .answer = ScanAnswer::exception, .exception = 2, .serial = true, .baud = 9600,
                    .parity = 'E', .response_ms = 3, .identification = {}};
    ScanRow gateway{.unit = 11, .answer = ScanAnswer::gateway, .exception = 0x0B, .serial = true, .baud = 9600,
                    .parity = 'E', .response_ms = 0, .identification = {}};
    EXPECT_EQ(scan_csv({device, refused, gateway}, true, 8, 1),
              "unit,setting,response_ms,answer\n"
              "9,9600 8E1,12.3,\"Acme, Inc. / \"\"X9\"\"\"\n"
              "10,9600 8E1,3.0,Exception 02\n"
              "11,9600 8E1,0.0,Gateway exception 0B: no device answered\n");
    EXPECT_EQ(scan_csv({device}, false, 8, 1).substr(0, 24), "unit,response_ms,answer\n");
}

TEST(ScanTable, ProgressRoundsTimesUp)
{
    ScanProgress progress{.done = 37, .total = 247, .found = 2, .elapsed = std::chrono::milliseconds(3700),
                          .left = std::chrono::milliseconds(200)};
    EXPECT_EQ(progress_text(progress), "37 of 247 units, 2 found, 4 s, about 1 s left");
}
