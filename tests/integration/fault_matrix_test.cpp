// Every step of the update against every fault of the line, with the
// timing scaled down: the update either succeeds where the retries allow it,
// with the radio's flash exactly right, or ends with the step's messages,
// with the port and the data file closed.
#include <gtest/gtest.h>

#include <cstdio>

#include "update/memory_map.h"
#include "res/resource.h"
#include "sim/in_process_radio.h"
#include "../unit/test_support.h"

namespace {

using Step = RadioModel::Step;
using Fault = RadioModel::Fault;

struct Case {
    Step step;
    int index;
    Fault fault;
    int attempts;
    std::vector<std::string> messages;  // after "Power Supply?"; {"Done."} for success
};

// What the procedure must show for one fault at one step (on its first attempt).
std::vector<std::string> Expected(Step step, int index, Fault fault)
{
    const std::vector<std::string> done = {STR_DONE};
    // A byte after the update's last acknowledgement means an exchange was
    // lost; anywhere else an extra byte is dropped or the block is read again.
    if (fault == Fault::Extra)
        return step == Step::WriteData && index == 255 ? std::vector<std::string>{STR_FIRM_WRITE_ERROR} : done;
    const bool silent = fault == Fault::Silence || fault == Fault::Short || fault == Fault::Late ||
                        fault == Fault::HangUp;
    switch (step) {
    case Step::Contact:  // resent every 50 ms; only a dead line fails it
        return fault == Fault::HangUp ? std::vector<std::string>{TXT_TIME_OUT} : done;
    case Step::BootRecord:
        if (fault == Fault::Garbage)
            return done;
        if (fault == Fault::Refuse)
            return {STR_BOOT_SEND_ERROR};
        return {TXT_TIME_OUT, STR_BOOT_SEND_ERROR};
    case Step::BootStart:
        if (fault == Fault::Garbage)
            return done;
        if (fault == Fault::Refuse)  // the loader stays in charge: the query goes unanswered
            return {TXT_TIME_OUT, STR_DATA_PROTECT_ERROR};
        return {TXT_TIME_OUT};
    case Step::Protect:
        return silent ? std::vector<std::string>{TXT_TIME_OUT, STR_DATA_PROTECT_ERROR} : done;
    case Step::ReadBlock:  // retried
        return fault == Fault::HangUp ? std::vector<std::string>{STR_CHANNEL_READ_ERROR} : done;
    case Step::Clear1:
    case Step::Clear2:  // twenty periods of patience; "2" counts as done
        if (fault == Fault::Silence || fault == Fault::Short || fault == Fault::HangUp)
            return {TXT_TIME_OUT_DOT, STR_ROM_CLEAR_ERROR};
        return done;
    case Step::WriteCommand:
    case Step::WriteData:  // retried
        return fault == Fault::HangUp ? std::vector<std::string>{STR_FIRM_WRITE_ERROR} : done;
    }
    return {};
}

std::vector<Case> AllCases()
{
    const std::vector<std::pair<Step, int>> places = {
        {Step::Contact, -1},      {Step::BootRecord, 0},     {Step::BootRecord, 43},   {Step::BootRecord, 85},
        {Step::BootStart, -1},    {Step::Protect, -1},       {Step::ReadBlock, 0},     {Step::ReadBlock, 15},
        {Step::ReadBlock, 31},    {Step::Clear1, -1},        {Step::Clear2, -1},       {Step::WriteCommand, 0},
        {Step::WriteCommand, 128}, {Step::WriteCommand, 255}, {Step::WriteData, 0},     {Step::WriteData, 128},
        {Step::WriteData, 255}};
    std::vector<Case> cases;
    for (const auto& [step, index] : places) {
        for (Fault f : {Fault::Silence, Fault::Refuse, Fault::Short, Fault::Garbage, Fault::Late, Fault::HangUp,
                        Fault::Extra})
            cases.push_back({step, index, f, 1, Expected(step, index, f)});
    }
    // Five failures in a row for one block end the step.
    cases.push_back({Step::ReadBlock, 15, Fault::Garbage, 5, {STR_CHANNEL_READ_ERROR}});
    cases.push_back({Step::WriteCommand, 128, Fault::Refuse, 5, {STR_FIRM_WRITE_ERROR}});
    cases.push_back({Step::WriteData, 255, Fault::Silence, 5, {STR_FIRM_WRITE_ERROR}});
    cases.push_back({Step::ReadBlock, 31, Fault::Late, 4, {STR_DONE}});
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info)
{
    const Case& c = info.param;
    return std::string(RadioModel::StepName(c.step)) + (c.index >= 0 ? std::to_string(c.index) : "") + "_" +
           RadioModel::FaultName(c.fault) + (c.attempts > 1 ? "_x" + std::to_string(c.attempts) : "");
}

class FaultMatrix : public ::testing::TestWithParam<Case> {};

// One run of a case, checked; unless `mayRepeat` and it ended with other
// messages than the case expects: then its detail, unchecked, for a second
// look.
std::string RunCase(const Case& c, bool mayRepeat)
{
    const Timing timing = FastTiming();
    RadioModel::Settings settings;
    settings.lateBy = timing.blockTimeout + std::chrono::milliseconds(10);
    settings.abandonAfter = std::chrono::milliseconds(90);
    settings.faults = {{c.step, c.index, c.attempts, c.fault}};
    InProcessRadio radio(settings);
    ScriptedView view;
    TestHost host;
    TempDir dir;
    host.portNames = {"sim"};
    host.backends = [&] { return radio.MakeBackend(); };
    host.moduleFile = dir.Path() + "/vokta4";
    dir.Write("boot.s19", kSimBootProgram);
    dir.Write("fw.002", FirmwareText(8));
    UpdaterDialog dialog(view, host, timing);
    view.dialog = &dialog;
    dialog.OnInitDialog("");
    const auto start = std::chrono::steady_clock::now();
    dialog.OnWrite();
    std::vector<std::string> expected = c.messages;
    expected.insert(expected.begin(), STR_POWER_SUPPLY);
    if (mayRepeat && view.messages != expected)
        return dialog.FailureDetail().empty() ? "other messages" : dialog.FailureDetail();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << "the update hung";
    EXPECT_EQ(view.messages, expected) << dialog.FailureDetail();
    EXPECT_FALSE(dialog.Serial().IsOpen());
    EXPECT_FALSE(UpdaterDialogTestAccess::Data(dialog).IsOpen());
    EXPECT_FALSE(view.locks.empty() || view.locks.back()) << "controls left locked";
    if (c.messages == std::vector<std::string>{STR_DONE}) {
        EXPECT_EQ(radio.Model().Flash(), ExpectedFlash(8, kMarkerRelease));
    } else {
        EXPECT_NE(dialog.FailureDetail(), "");
        if (c.fault == Fault::HangUp) {
            EXPECT_NE(dialog.FailureDetail().find("hung up"), std::string::npos) << dialog.FailureDetail();
        }
    }
    return std::string();
}

}  // namespace

// The time-outs and the contact's resends here are 50 ms: a build beside
// the tests can stall a process that long (a time-out at boot record 77; a
// hang-up delivered after the next contact was answered). A case that ends
// otherwise than expected is therefore run once more: a fault of the
// update shows again, a stall not.
TEST_P(FaultMatrix, EndsRightWithEverythingClosed)
{
    const std::string stalled = RunCase(GetParam(), true);
    if (stalled.empty())
        return;
    std::printf("other messages than expected (%s): the case runs once more\n", stalled.c_str());
    RunCase(GetParam(), false);
}

INSTANTIATE_TEST_SUITE_P(EveryStepEveryFault, FaultMatrix, ::testing::ValuesIn(AllCases()), CaseName);
