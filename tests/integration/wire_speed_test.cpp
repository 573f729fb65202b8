// At the product's timing on a wire at 19200 baud: a whole update takes as
// long as a real one (about 85 s), so it runs once, in the plain build, and
// first.
#include <gtest/gtest.h>

#include "product_timing.h"

// On a wire at 19200 baud: a stray "1" 50 ms into the data of the last
// block (they need 268 ms on the wire), and the radio then refuses that
// block. The stray byte came before the data could have reached the radio:
// it is not their answer, the block is written again, and the flash is right.
TEST(WireSpeed, AnAnswerBeforeTheDataCouldHaveArrivedIsNotTheirAnswer)
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
