// The value axis's labels, without a display.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chart/plot_axes.hpp"

namespace {

// given the sums of steps a scale is made of, expect each label to end at
// the step's last digit
TEST(PlotAxes, TickLabelsEndAtTheStepsLastDigit)
{
    ValueScale tenths = value_scale(0, 1, 6);
    ASSERT_EQ(tenths.step, 0.2);
    std::vector<std::string> labels;
    for (double tick : tenths.ticks)
        labels.push_back(tick_text(tick, tenths.step));
    EXPECT_EQ(labels, (std::vector<std::string>{"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}));

    struct Case {
        double tick, step;
        const char* text;
    };
    const Case cases[] = {
        {15, 5, "15"},
        {1200.0000000000002, 200, "1200"},
        {-1e-17, 0.5, "0.0"},  // never "-0.0"
        {-123456789.0002, 0.0002, "-123456789.0002"},
        {1.25e20, 5e18, "1.25e+20"},
        {3e-12, 1e-12, "3e-12"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tick_text(c.tick, c.step), c.text) << c.tick << " by " << c.step;
}

}  // namespace
