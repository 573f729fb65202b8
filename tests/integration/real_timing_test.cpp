// Late answers at the product's own timing (one-second stage time-outs, not
// scaled down), through a simulated USB serial adapter: an answer that comes
// after its attempt has timed out must never count for the retry.
#include <gtest/gtest.h>

#include "res/resource.h"
#include "sim/in_process_radio.h"
#include "update/memory_map.h"
#include "../unit/test_support.h"

#include "product_timing.h"

TEST(RealTiming, LateAnswersNeverCountForTheRetry)
{
    using Step = RadioModel::Step;
    using Fault = RadioModel::Fault;
    const auto late = std::chrono::milliseconds(1300);  // after the 1000 ms time-out, within the next
    RadioModel::Settings settings;
    settings.usbBursts = true;
    settings.faults = {
        {Step::ReadBlock, 5, 1, Fault::Late, late},      // 514 bytes, late
        {Step::WriteCommand, 40, 1, Fault::Late, late},  // the "1" to a write command, late
        {Step::WriteData, 70, 1, Fault::Late, late},     // the "1" to a block's data, late
    };
    ProductTimingUpdate u(settings);
    EXPECT_EQ(u.view.messages, (std::vector<std::string>{STR_POWER_SUPPLY, STR_DONE})) << u.dialog.FailureDetail();
    EXPECT_EQ(u.radio.Model().Flash(), ExpectedFlash(3, kMarkerRelease));
}

// Bytes that are not an answer's, at the product's timing through a USB
// adapter: three stray bytes before a read reply (its tail then comes after
// it) never reach the channel data, and a byte the adapter delivers 12 ms
// after the last acknowledgement is a lost exchange, not "Done.".
TEST(RealTiming, StrayBytesNeverReachTheChannelDataNorPassAsDone)
{
    using Step = RadioModel::Step;
    using Fault = RadioModel::Fault;
    RadioModel::Settings settings;
    settings.usbBursts = true;
    settings.faults = {
        {Step::ReadBlock, 9, 1, Fault::Garbage, std::chrono::milliseconds(0)},
        {Step::WriteData, 255, 1, Fault::Extra, std::chrono::milliseconds(12)},
    };
    ProductTimingUpdate u(settings);
    EXPECT_EQ(u.view.messages, (std::vector<std::string>{STR_POWER_SUPPLY, STR_FIRM_WRITE_ERROR}));
    EXPECT_NE(u.dialog.FailureDetail().find("after the last acknowledgement"), std::string::npos)
        << u.dialog.FailureDetail();
    // Every block was written and acknowledged: the flash holds the
    // firmware and the radio's own channel data, byte for byte.
    EXPECT_EQ(u.radio.Model().Flash(), ExpectedFlash(3, kMarkerRelease));
}

