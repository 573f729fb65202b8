// Late answers at the product's own timing (one-second stage time-outs, not
// scaled down), through a simulated USB serial adapter: an answer that comes
// after its attempt has timed out must never count for the retry.
#include <gtest/gtest.h>

#include "res/resource.h"
#include "sim/in_process_radio.h"
#include "update/memory_map.h"
#include "../unit/test_support.h"

namespace {

// One update of firmware 3 in the window, at the product's own timing,
// against an in-process radio with `settings`.
struct ProductTimingUpdate {
    explicit ProductTimingUpdate(const RadioModel::Settings& settings) : radio(settings)
    {
        host.portNames = {"sim"};
        host.backends = [this] { return radio.MakeBackend(); };
        host.moduleFile = dir.Path() + "/vokta4";
        dir.Write("boot.s19", kSimBootProgram);
        dir.Write("fw.002", FirmwareText(3));
        view.dialog = &dialog;
        dialog.OnInitDialog("");
        dialog.OnWrite();
    }

    InProcessRadio radio;
    ScriptedView view;
    TestHost host;
    TempDir dir;
    UpdaterDialog dialog{view, host, Timing()};
};

}  // namespace

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

// On a wire at 19200 baud: a stray "1" 50 ms into the data of the last
// block (they need 268 ms on the wire), and the radio then refuses that
// block. The stray byte came before the data could have reached the radio:
// it is not their answer, the block is written again, and the flash is right.
TEST(RealTiming, AnAnswerBeforeTheDataCouldHaveArrivedIsNotTheirAnswer)
{
    using Step = RadioModel::Step;
    using Fault = RadioModel::Fault;
    RadioModel::Settings settings;
    settings.wireTiming = true;
    settings.faults = {
        {Step::WriteCommand, 255, 1, Fault::Extra, std::chrono::milliseconds(50)},
        {Step::WriteData, 255, 1, Fault::Refuse},
    };
    ProductTimingUpdate u(settings);
    EXPECT_EQ(u.view.messages, (std::vector<std::string>{STR_POWER_SUPPLY, STR_DONE})) << u.dialog.FailureDetail();
    EXPECT_EQ(u.radio.Model().Flash(), ExpectedFlash(3, kMarkerRelease));
}
