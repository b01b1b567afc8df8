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

// Given 3 ids at 9 serial settings (3 rates, 3 parities each), expect the
// 11th probe counted as the 2nd id at the 4th setting, which it names, and
// its times rounded up; over TCP no setting.
TEST(ScanTable, ProgressNamesTheSettingAndCountsIdsAndSettingsApart)
{
    ScanPlan plan;
    plan.last_unit = 3;
    plan.every_serial_setting = true;
    plan.baud_rates = {1200, 9600, 19200};
    ScanProgress progress{.done = 11, .total = 27, .found = 1, .elapsed = std::chrono::milliseconds(3700),
                          .left = std::chrono::milliseconds(200), .baud = 9600, .parity = 'N',
                          .position = 2, .setting = 4, .settings = 9};
    EXPECT_EQ(progress_text(progress, scan_shape(plan)),
              "Unit 2 of 3 at 9600 8N1 · setting 4 of 9 · 1 found, 4 s, about 1 s left");
    plan.settings.use_tcp = true;
    progress.setting = progress.settings = 1;
    EXPECT_EQ(progress_text(progress, scan_shape(plan)), "Unit 2 of 3 · 1 found, 4 s, about 1 s left");
    // A serial line has no id above 247: a range beyond it is refused too.
    plan.first_unit = 250;
    plan.last_unit = 255;
    EXPECT_EQ(unit_range_refusal(plan), "");
    plan.settings.use_tcp = false;
    EXPECT_EQ(unit_range_refusal(plan), "Cannot scan: a serial line has no unit id above 247");
}
