// The console progress bar: what it writes, and that a long job stays cheap.

#include "ConsoleGauge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace vellocar::cli {
namespace {

// Everything the gauge wrote to a scratch stream.
std::string Written(std::FILE* stream) {
    std::fflush(stream);
    std::string text;
    std::rewind(stream);
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) text += static_cast<char>(c);
    return text;
}

// How many bars a text holds: each ends in its percentage.
std::size_t Bars(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '%'));
}

class Gauge : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(stream, nullptr); }
    void TearDown() override {
        if (stream) std::fclose(stream);
    }
    std::FILE* stream = std::tmpfile();
};

TEST_F(Gauge, DrawsOnlyWhenThePercentageChanges) {
    constexpr int kSteps = 20000;
    {
        TConsoleGauge gauge(stream, "packing");
        gauge.SetMinValue(0);
        gauge.SetMaxValue(kSteps - 1);
        gauge.SetProgress(0);
        gauge.Show();
        for (int i = 0; i < kSteps; ++i) {
            gauge.SetProgress(i);
            gauge.RepaintNow();
        }
        EXPECT_EQ(gauge.Percent(), 100);
    }
    const std::string text = Written(stream);
    EXPECT_EQ(Bars(text), 101u);
    EXPECT_NE(text.find("packing [........................................]   0%"), std::string::npos);
    EXPECT_NE(text.find("packing [########################################] 100%"), std::string::npos);
    // Gone at the end, so the next line starts clean.
    EXPECT_EQ(text.back(), '\r');
}

TEST_F(Gauge, StaysSilentUntilShownAndAfterFinish) {
    TConsoleGauge gauge(stream, "x");
    gauge.SetMaxValue(10);
    gauge.SetProgress(5);
    gauge.RepaintNow();
    gauge.Finish();
    EXPECT_EQ(Written(stream), "");
    gauge.Show();
    gauge.RepaintNow();
    EXPECT_EQ(Bars(Written(stream)), 1u);
    gauge.Finish();
    const std::size_t afterFinish = Written(stream).size();
    gauge.Finish();
    EXPECT_EQ(Written(stream).size(), afterFinish);
}

TEST_F(Gauge, OddRangesGiveSensiblePercentages) {
    TConsoleGauge gauge(stream, "");
    gauge.SetMinValue(0);
    gauge.SetMaxValue(0); // one resource: the window's gauge shows 0% too
    gauge.SetProgress(0);
    EXPECT_EQ(gauge.Percent(), 0);
    gauge.SetMaxValue(-1); // nothing to do
    EXPECT_EQ(gauge.Percent(), 0);
    gauge.SetMinValue(-2147483647 - 1);
    gauge.SetMaxValue(2147483647);
    gauge.SetProgress(2147483647);
    EXPECT_EQ(gauge.Percent(), 100);
    gauge.SetMinValue(10);
    gauge.SetMaxValue(20);
    gauge.SetProgress(0);
    EXPECT_EQ(gauge.Percent(), 0);
}

} // namespace
} // namespace vellocar::cli
