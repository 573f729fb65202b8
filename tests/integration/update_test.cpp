// Whole updates of the in-process simulated radio through the real dialog,
// serial channel and receive dispatch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "update/memory_map.h"
#include "update/update_journal.h"
#include "update/output_guard.h"
#include "update/sha256.h"
#include "res/resource.h"
#include "sim/in_process_radio.h"
#include "../unit/test_support.h"

namespace {

const std::vector<std::string> kFullLog = {
    "Waiting for power on Radio.\t\t......OK", "Radio connection.\t\t\t......OK",
    "Boot program sending.\t\t......OK",       "Boot program start.\t\t\t......OK",
    "Firmware file convert.\t......OK",        "Data Loading.\t\t\t......OK",
    "Rom all Clear.\t\t\t......OK",            "Firmware write.\t\t\t......OK"};

std::string Join(const std::vector<std::string>& lines)
{
    std::string s;
    for (std::size_t i = 0; i < lines.size(); ++i)
        s += (i ? "\r\n" : "") + lines[i];
    return s;
}

struct UpdateFixture : ::testing::Test {
    RadioModel::Settings settings;
    std::unique_ptr<InProcessRadio> radio;
    ScriptedView view;
    TestHost host;
    TempDir dir;
    std::unique_ptr<UpdaterDialog> dialog;
    std::string logAtDone;
    std::mutex trafficMutex;
    std::vector<std::size_t> sentSizes;  // every chunk written to the port
    bool closed = false;
    int writesAfterClose = 0;

    void Start(const std::string& commandLine = "", const std::string& firmware = FirmwareText(1))
    {
        radio = std::make_unique<InProcessRadio>(settings);
        host.portNames = {"sim"};
        host.backends = [this] { return radio->MakeBackend(); };
        host.moduleFile = dir.Path() + "/vokta4";
        dir.Write("boot.s19", kSimBootProgram);
        if (!firmware.empty())
            dir.Write("fw.002", firmware);
        dialog = std::make_unique<UpdaterDialog>(view, host, FastTiming());
        view.dialog = dialog.get();
        view.onMessage = [this](const std::string& text) {
            if (text == STR_DONE)
                logAtDone = view.log;
        };
        dialog->OnInitDialog(commandLine);
        dialog->Serial().SetTrafficObserver([this](bool sent, const std::uint8_t*, std::size_t n) {
            std::lock_guard<std::mutex> lock(trafficMutex);
            if (sent) {
                sentSizes.push_back(n);
                writesAfterClose += closed;
            }
        });
    }
    ~UpdateFixture() override
    {
        dialog.reset();
        radio.reset();
    }

    std::vector<std::uint8_t> ExpectedFlash(std::uint8_t marker) { return ::ExpectedFlash(1, marker); }
    int Count(const std::string& command)
    {
        const auto t = radio->Model().GetTranscript();
        return static_cast<int>(std::count(t.commands.begin(), t.commands.end(), command));
    }
    bool Saw(const std::string& prefix)
    {
        const auto t = radio->Model().GetTranscript();
        return std::any_of(t.commands.begin(), t.commands.end(),
                           [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }
    std::vector<std::string> Messages(std::vector<std::string> tail)
    {
        tail.insert(tail.begin(), STR_POWER_SUPPLY);
        return tail;
    }
};

}  // namespace

TEST_F(UpdateFixture, ReleaseUpdateWritesTheNewFirmwareAndKeepsTheChannelData)
{
    Start();
    const std::vector<std::uint8_t> before = radio->Model().Flash();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_DONE}));
    EXPECT_EQ(logAtDone, Join(kFullLog));
    EXPECT_EQ(view.log, "");
    EXPECT_EQ(view.positions.back(), 0);
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::Done);
    EXPECT_EQ(radio->Model().Flash(), ExpectedFlash(kMarkerRelease));
    EXPECT_EQ(ReadBinary(dialog->DataFilePath()), ExpectedFlash(kMarkerRelease));
    EXPECT_EQ(view.locks, (std::vector<bool>{true, false}));
    EXPECT_FALSE(dialog->Serial().IsOpen());

    // The channel data, as stored in the image, is kept in a backup file.
    ASSERT_FALSE(dialog->ChannelBackupPath().empty());
    const std::vector<std::uint8_t> backup = ReadBinary(dialog->ChannelBackupPath());
    const std::vector<std::uint8_t> expected = ExpectedFlash(kMarkerRelease);
    EXPECT_EQ(backup, std::vector<std::uint8_t>(expected.begin() + (kChannelStart - kImageBase),
                                                expected.begin() + (kChannelEnd + 1 - kImageBase)));
    EXPECT_NE(before, radio->Model().Flash());
}

TEST_F(UpdateFixture, TestModeMarksTheChannelDataWith0xFF)
{
    Start("-T");
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_DONE}));
    EXPECT_EQ(radio->Model().Flash(), ExpectedFlash(kMarkerTest));
}

TEST_F(UpdateFixture, ProgressRunsThroughEachStepAndEndsAtZero)
{
    Start();
    dialog->OnWrite();
    EXPECT_EQ(view.ranges, (std::vector<std::pair<int, int>>{{0, 86}, {0, 0x3FFF}, {0, 0x3333}}));
    // Boot upload 0..86 and 0, reads 0..16384 and 0, writes 0..13107 and 0:
    // each step's bar fills and empties when the step is done.
    std::vector<int> expected;
    for (int i = 0; i <= 86; ++i)
        expected.push_back(i);
    expected.push_back(0);
    for (int a = 0; a <= 16384; a += 512)
        expected.push_back(a);
    expected.push_back(0);
    for (int b = 0; b <= 256; ++b)
        expected.push_back(b * 512 / 10);
    expected.push_back(0);
    expected.push_back(0);  // reset after "Done."
    EXPECT_EQ(view.positions, expected);
}

TEST_F(UpdateFixture, CancelAtThePowerPromptTouchesNothing)
{
    view.okCancelAnswers = {false};
    Start();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({}));
    EXPECT_EQ(view.log, "Waiting for power on Radio.");
    EXPECT_FALSE(dialog->Serial().IsOpen());
    EXPECT_TRUE(ReadBinary(dir.File("vokt.tmp")).empty());
    EXPECT_EQ(radio->Model().GetTranscript().bytesIn, 0u);
    EXPECT_TRUE(view.locks.empty());
}

TEST_F(UpdateFixture, ADataFileThatCannotBeCreatedEndsBeforeTheRadioIsContacted)
{
    Start();
    dialog->Options().dataFilePath = dir.Path() + "/missing-folder/vokt.tmp";
    dialog->OnWrite();
    // Refused before "Power Supply?": the port never opened, the window never locked.
    EXPECT_EQ(view.messages, std::vector<std::string>{STR_CANT_CREATE_FILE});
    EXPECT_EQ(radio->Model().GetTranscript().bytesIn, 0u);
    EXPECT_FALSE(dialog->Serial().IsOpen());
    EXPECT_TRUE(view.locks.empty());
}

TEST_F(UpdateFixture, ASecondUpdateOnTheSameDataFileIsRefused)
{
    Start();
    DataFile running;
    std::string error;
    ASSERT_TRUE(running.Create(dir.File("vokt.tmp"), error)) << error;
    const std::uint8_t mark[4] = {1, 2, 3, 4};
    ASSERT_TRUE(running.WriteAt(0, mark, 4));
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_CANT_CREATE_FILE}));
    EXPECT_EQ(ReadBinary(dir.File("vokt.tmp")), std::vector<std::uint8_t>(mark, mark + 4))
        << "the running update's data file was changed";
}

TEST_F(UpdateFixture, DamagedOrEmptyFirmwareIsRefusedBeforeTheErase)
{
    std::string text = FirmwareText(1);
    const std::size_t line3 = text.find('\n', text.find('\n', text.find('\n') + 1) + 1) + 1;
    text[line3 + 12] = text[line3 + 12] == '0' ? '1' : '0';  // a data digit: the checksum no longer fits
    const std::vector<std::string> cases = {
        text,
        "S0030000FC\n" + SRecordLine(2, 0x001000, {1, 2, 3}) + "\n",  // nothing inside the image
        "S0030000FC\nS9030000FC\n",                                   // no data at all
        "S0030000FC\nS206FE0000AXBB96\n",                             // not hex
        "S0030000FC\nS207FE0000AABB96\n",                             // count disagrees with length
        // The file's own record count says two data records: one was lost.
        "S0030000FC\n" + SRecordLine(2, 0xFE0000, {1, 2}) + "\nS5030002FA\nS9030000FC\n",
    };
    for (const std::string& firmware : cases) {
        view.messages.clear();
        Start("", firmware);
        const int opens = radio->Opens();
        dialog->OnWrite();
        // Refused before "Power Supply?": the radio has not even been asked for.
        EXPECT_EQ(view.messages, std::vector<std::string>{STR_CANT_CREATE_FILE}) << firmware.substr(0, 60);
        EXPECT_EQ(radio->Opens(), opens);
        EXPECT_EQ(radio->Model().GetTranscript().bytesIn, 0u);
        EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::FailedIntact);
        EXPECT_NE(dialog->FailureDetail(), "");
        EXPECT_NE(view.log.find(dialog->FailureDetail()), std::string::npos) << "the reason is in the log";
    }
}

// A file that lost its tail (no termination record, data ending before the
// end of the firmware area): the window asks before the port opens. Cancel
// leaves the radio untouched; OK writes what the file holds, 0xFF beyond.
TEST_F(UpdateFixture, AFirmwareFileCutShortIsWrittenOnlyWhenTheTechnicianSaysSo)
{
    std::string text = FirmwareText(1);
    text.erase(text.find("S224FF0000"));  // everything from 0xFF0000 on, the S8 too
    view.okCancelAnswers = {false};
    Start("", text);
    dialog->OnWrite();
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_NE(view.messages[0].find("no termination record"), std::string::npos) << view.messages[0];
    EXPECT_NE(view.messages[0].find("0xFEFFFF"), std::string::npos) << view.messages[0];
    EXPECT_EQ(view.messages[1], STR_CANT_CREATE_FILE);
    EXPECT_EQ(radio->Model().GetTranscript().bytesIn, 0u);
    EXPECT_NE(view.log.find("cut short"), std::string::npos) << view.log;

    view.messages.clear();
    view.okCancelAnswers.clear();  // OK to writing it anyway, then to "Power Supply?"
    dialog->OnWrite();
    ASSERT_EQ(view.messages.size(), 3u);
    EXPECT_EQ(view.messages[2], STR_DONE);
    std::vector<std::uint8_t> expected = ExpectedFlash(kMarkerRelease);
    for (std::uint32_t a = 0xFF0000; a <= 0xFFFFFF; ++a) {
        if (a < kChannelStart || a > kChannelEnd)
            expected[a - kImageBase] = 0xFF;
    }
    EXPECT_EQ(radio->Model().Flash(), expected);
}

TEST_F(UpdateFixture, WithoutAFirmwareFileTheConversionFails)
{
    Start("", "");
    const int opens = radio->Opens();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, std::vector<std::string>{STR_CANT_CREATE_FILE});
    EXPECT_EQ(radio->Opens(), opens);
}

TEST_F(UpdateFixture, AReadBlockThatFailsFourTimesIsStoredOnItsFifth)
{
    settings.faults = {{RadioModel::Step::ReadBlock, 3, 4, RadioModel::Fault::Silence},
                       {RadioModel::Step::ReadBlock, 4, 1, RadioModel::Fault::Short}};
    Start();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_DONE}));
    // A 513-byte reply never completes; bytes that came without making a
    // reply put the replies before them in doubt, and the channel area is
    // read again from its start (FF8600 a sixth time).
    EXPECT_EQ(Count("read FF8600"), 6);
    EXPECT_EQ(Count("read FF8800"), 3);
    EXPECT_EQ(radio->Model().Flash(), ExpectedFlash(kMarkerRelease));
}

TEST_F(UpdateFixture, AReadBlockThatFailsFiveTimesEndsTheUpdateBeforeTheErase)
{
    settings.faults = {{RadioModel::Step::ReadBlock, 3, 5, RadioModel::Fault::Silence}};
    Start();
    const std::vector<std::uint8_t> before = radio->Model().Flash();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_CHANNEL_READ_ERROR}));
    EXPECT_EQ(Count("read FF8600"), 5);
    EXPECT_FALSE(Saw("read FF8800"));
    EXPECT_FALSE(Saw("clear"));
    EXPECT_EQ(radio->Model().Flash(), before);
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::FailedIntact);
    EXPECT_NE(dialog->FailureDetail().find("block 0xFF8600, attempt 5 of 5"), std::string::npos)
        << dialog->FailureDetail();
}

// Stray bytes before a read reply make it complete early, with their
// length of its tail still to come; a USB adapter delivers that tail after
// the next command. The channel area is read again, and the radio keeps its
// own channel data, byte for byte.
TEST_F(UpdateFixture, AReplysTailHeldBackNeverShiftsTheChannelData)
{
    settings.faults = {{RadioModel::Step::ReadBlock, 5, 1, RadioModel::Fault::Garbage, std::chrono::milliseconds(3)}};
    Start();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_DONE})) << dialog->FailureDetail();
    EXPECT_EQ(radio->Model().Flash(), ExpectedFlash(kMarkerRelease));
    EXPECT_EQ(Count("read FF8000"), 2);  // the channel area read again from its start
}

TEST_F(UpdateFixture, ALateReplyDoesNotMergeWithTheRetry)
{
    settings.lateBy = FastTiming().blockTimeout + std::chrono::milliseconds(10);
    settings.abandonAfter = std::chrono::milliseconds(90);
    settings.faults = {{RadioModel::Step::ReadBlock, 2, 1, RadioModel::Fault::Late},
                       {RadioModel::Step::WriteData, 7, 1, RadioModel::Fault::Late},
                       {RadioModel::Step::WriteCommand, 9, 1, RadioModel::Fault::Late}};
    Start();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_DONE}));
    EXPECT_EQ(radio->Model().Flash(), ExpectedFlash(kMarkerRelease));
}

TEST_F(UpdateFixture, TheRomClearCountsDownWhileTheRadioErases)
{
    settings.eraseTime = FastTiming().clearTick * 5 + FastTiming().clearTick / 2;
    Start();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_DONE}));
    auto has = [&](const std::string& t) {
        return std::find(view.transients.begin(), view.transients.end(), t) != view.transients.end();
    };
    // About five periods pass; a loaded machine may fire a tick late.
    EXPECT_TRUE(has("\t\t\t19"));
    EXPECT_TRUE(has("\t\t\t16"));
    EXPECT_FALSE(has("\t\t\t12"));
    EXPECT_TRUE(has("\t19"));
    EXPECT_TRUE(has("\t16"));
}

TEST_F(UpdateFixture, ASilentRomClearFailsAtTheTwentyFirstExpiry)
{
    settings.faults = {{RadioModel::Step::Clear1, -1, 1, RadioModel::Fault::Silence}};
    Start();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({TXT_TIME_OUT_DOT, STR_ROM_CLEAR_ERROR}));
    std::vector<std::string> countdown;
    for (const std::string& t : view.transients) {
        if (t.rfind("\t\t\t", 0) == 0)
            countdown.push_back(t);
    }
    ASSERT_EQ(countdown.size(), 20u);
    EXPECT_EQ(countdown.front(), "\t\t\t19");
    EXPECT_EQ(countdown.back(), "\t\t\t0");
    EXPECT_FALSE(Saw("clear2"));
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::FailedAfterErase);
}

TEST_F(UpdateFixture, WriteBlocksAreRetriedAndARefusedCommandSendsNoData)
{
    settings.faults = {{RadioModel::Step::WriteCommand, 5, 2, RadioModel::Fault::Refuse},
                       {RadioModel::Step::WriteData, 100, 4, RadioModel::Fault::Refuse}};
    Start();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_DONE}));
    EXPECT_EQ(Count("write FE0A00"), 3);
    EXPECT_EQ(Count("write FEC800"), 5);
    std::lock_guard<std::mutex> lock(trafficMutex);
    EXPECT_EQ(std::count(sentSizes.begin(), sentSizes.end(), 512u), 256 + 4);
    EXPECT_EQ(radio->Model().Flash(), ExpectedFlash(kMarkerRelease));
}

TEST_F(UpdateFixture, AWriteBlockThatFailsFiveTimesStopsTheWrite)
{
    settings.faults = {{RadioModel::Step::WriteData, 10, 5, RadioModel::Fault::Silence}};
    Start();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_FIRM_WRITE_ERROR}));
    EXPECT_EQ(Count("write FE1400"), 5);
    EXPECT_FALSE(Saw("write FE1600"));
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::FailedAfterErase);
    EXPECT_FALSE(dialog->Serial().IsOpen());
}

// The quiet before a retry is a wait like any other: a CLOSE that comes
// while the line drains is seen before the retry's command goes out.
TEST_F(UpdateFixture, ACloseWhileTheLineDrainsBeforeARetrySendsNoRetry)
{
    settings.faults = {{RadioModel::Step::WriteCommand, 3, 1, RadioModel::Fault::Silence}};
    Start();
    dialog->Renderer().onNote = [this](const std::string& note) {
        if (note.rfind("block 0xFE0600, attempt 1 of 5: no answer", 0) == 0)
            view.PostClose();
    };
    dialog->OnWrite();
    EXPECT_EQ(Count("write FE0600"), 1);
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::FailedAfterErase);
    EXPECT_FALSE(view.Timer1Armed());
}

TEST_F(UpdateFixture, CloseDuringTheWriteStopsAtOnceWithThePortAndDataFileClosed)
{
    Start();
    view.onProgress = [this](int pos) {
        if (view.ranges.back().second == 0x3333 && pos == 20 * 512 / 10) {
            view.PostClose();
            std::lock_guard<std::mutex> lock(trafficMutex);
            closed = true;
        }
    };
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_FIRM_WRITE_ERROR}));
    EXPECT_TRUE(view.ended);
    EXPECT_FALSE(dialog->Serial().IsOpen());
    EXPECT_FALSE(UpdaterDialogTestAccess::Data(*dialog).IsOpen());
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::FailedAfterErase);
    std::lock_guard<std::mutex> lock(trafficMutex);
    EXPECT_LE(writesAfterClose, 2) << "the write went on after CLOSE";
    EXPECT_FALSE(Saw("write FE3000"));
}

// The typed events follow the update: each step by its id, progress in its
// unit up to the whole, and a failure with its message and reason. A job
// run without any window reports through them alone.
TEST_F(UpdateFixture, TypedEventsFollowTheUpdateAndItsFailure)
{
    struct Recorder : UpdateEvents {
        std::vector<std::string> seen;
        std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> progress;
        void StepStarted(StepId step, const std::string&) override { seen.push_back("start " + std::string(StepName(step))); }
        void StepDone(StepId step, const std::string&, StepEnd) override { seen.push_back("done " + std::string(StepName(step))); }
        void StepFailed(StepId step, const std::string& message, const std::string& reason) override
        {
            seen.push_back("failed " + std::string(StepName(step)) + ": " + message + (reason.empty() ? "" : " (reason)"));
        }
        void Progress(StepId step, std::uint64_t done, std::uint64_t total, const char*) override
        {
            progress[StepName(step)] = {done, total};
        }
        bool Ask(const std::string&, bool) override { return true; }
        void Message(const std::string& text) override { seen.push_back("message " + text); }
    } events;
    settings.faults = {{RadioModel::Step::WriteData, 40, 5, RadioModel::Fault::Silence}};
    Start();
    std::unique_ptr<UpdateJob> job;
    MessageQueue queue([&job] { job->OnTimer(); });
    job = std::make_unique<UpdateJob>(events, queue, host, FastTiming());
    UpdateRequest request;
    request.port = "sim";
    request.firmwarePath = dir.File("fw.002");
    job->Run(request);
    const std::vector<std::string> expected = {
        "start power", "done power",  "start connect", "done connect", "start boot", "done boot", "start start",
        "done start",  "start convert", "done convert", "start read",  "done read",  "start clear", "done clear",
        "start write", "message " STR_FIRM_WRITE_ERROR, "failed write: " STR_FIRM_WRITE_ERROR " (reason)"};
    EXPECT_EQ(events.seen, expected);
    using Span = std::pair<std::uint64_t, std::uint64_t>;
    EXPECT_EQ(events.progress["boot"], Span(86, 86));
    EXPECT_EQ(events.progress["read"], Span(16384, 16384));
    EXPECT_EQ(events.progress["write"], Span(40 * 512, 131072));
}

// Another radio on the bench while an update is unfinished: it holds data
// of its own, so it goes on with them without a question, and the broken
// radio's entry stays open for it. That radio, back with its channel area
// cut short, is offered its own backup (never the other radio's, the newest
// of the folder), with Cancel the default, and OK restores it.
TEST_F(UpdateFixture, AnotherRadioNeverClosesTheUnfinishedUpdateOfTheRadioItLeftBroken)
{
    settings.faults = {{RadioModel::Step::WriteData, 200, 5, RadioModel::Fault::Silence}};
    Start();
    dialog->OnWrite();
    ASSERT_EQ(dialog->LastOutcome(), UpdateOutcome::FailedAfterErase);
    const std::string backup = dialog->ChannelBackupPath();
    const std::vector<std::uint8_t> broken = radio->Model().Flash();

    std::vector<std::uint8_t> other = RadioModel::FactoryFlash();
    for (std::uint32_t a = kChannelStart; a <= kChannelEnd; ++a)
        other[a - kImageBase] = static_cast<std::uint8_t>(a * 5);
    settings.faults.clear();
    radio = std::make_unique<InProcessRadio>(settings);
    radio->Model().SetFlash(other);
    const std::size_t asked = view.cancelByDefault.size();
    dialog->OnWrite();
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::Done) << dialog->FailureDetail();
    EXPECT_EQ(view.cancelByDefault.size(), asked + 1) << "only \"Power Supply?\" is asked";
    std::vector<std::uint8_t> expected = ExpectedFlash(kMarkerRelease);
    std::copy(other.begin() + (kChannelStart - kImageBase), other.begin() + (kChannelEnd + 1 - kImageBase),
              expected.begin() + (kChannelStart - kImageBase));
    expected[kMarkerAddress - kImageBase] = kMarkerRelease;
    EXPECT_EQ(radio->Model().Flash(), expected);
    const std::vector<JournalEntry> open = UnfinishedUpdates({dir.Path() + "/"});
    ASSERT_EQ(open.size(), 1u);
    EXPECT_TRUE(SameFile(open[0].BackupPath(), backup));

    radio = std::make_unique<InProcessRadio>(settings);
    radio->Model().SetFlash(broken);
    view.messages.clear();
    dialog->OnWrite();
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::Done) << dialog->FailureDetail();
    EXPECT_EQ(view.cancelByDefault.back(), true);
    bool offeredItsOwn = false;
    for (const std::string& m : view.messages)
        offeredItsOwn = offeredItsOwn || (m.find("holds the first 9 of 32 blocks") != std::string::npos &&
                                          m.find(std::filesystem::u8path(backup).filename().u8string()) !=
                                              std::string::npos);
    EXPECT_TRUE(offeredItsOwn);
    EXPECT_EQ(radio->Model().Flash(), ExpectedFlash(kMarkerRelease));
    EXPECT_TRUE(UnfinishedUpdates({dir.Path() + "/"}).empty());

    // A radio with a blank channel area next: no update is open, so no
    // backup of the earlier radios is offered; a Return leaves it unchanged.
    std::vector<std::uint8_t> blank = RadioModel::FactoryFlash();
    std::fill(blank.begin() + (kChannelStart - kImageBase), blank.begin() + (kChannelEnd + 1 - kImageBase), 0xFF);
    radio = std::make_unique<InProcessRadio>(settings);
    radio->Model().SetFlash(blank);
    view.messages.clear();
    view.cancelChannelQuestions = true;
    dialog->OnWrite();
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::ChannelDataLost);
    EXPECT_TRUE(dialog->OfferedBackups().empty());
    for (const std::string& m : view.messages)
        EXPECT_EQ(m.find("Write back"), std::string::npos) << m;
    EXPECT_EQ(radio->Model().Flash(), blank);
}

// A stop request that a signal thread accepts just before the first clear
// command, while its CLOSE is still queued: the clear must never go out.
TEST_F(UpdateFixture, AStopAcceptedJustBeforeTheEraseKeepsTheRadioUnchanged)
{
    Start();
    view.onProgress = [this](int pos) {
        if (view.ranges.back().second == 0x3FFF && pos == 0x4000 && dialog->AcceptStopBeforeErase())
            view.PostClose();
    };
    dialog->OnWrite();
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::FailedIntact) << dialog->FailureDetail();
    EXPECT_FALSE(Saw("clear1"));
    EXPECT_EQ(radio->Model().Flash(), RadioModel::FactoryFlash());
}

// Named channel data never replace a radio's own, different ones without
// the technician insisting, and never without a copy of what it held.
namespace {
std::string CliText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
}  // namespace

TEST_F(UpdateFixture, NamedChannelDataReplaceARadiosOwnOnlyWhenInsistedOnAndNeverWithoutACopy)
{
    Start();
    std::vector<std::uint8_t> saved(kChannelSize);
    for (std::size_t i = 0; i < saved.size(); ++i)
        saved[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    dialog->Options().channelData = saved;
    dialog->Options().channelDataFile = dir.File("saved.chd");
    dialog->OnWrite();
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::FailedIntact);
    EXPECT_NE(dialog->FailureDetail().find("holds channel data of its own"), std::string::npos);
    EXPECT_FALSE(Saw("clear1"));
    EXPECT_EQ(radio->Model().Flash(), RadioModel::FactoryFlash());

    dialog->Options().replaceChannelData = true;
    dialog->OnWrite();
    EXPECT_EQ(view.messages.back(), STR_DONE);
    EXPECT_TRUE(Saw("read"));
    std::vector<std::uint8_t> expected = ExpectedFlash(kMarkerRelease);
    std::copy(saved.begin(), saved.end(), expected.begin() + (kChannelStart - kImageBase));
    expected[kMarkerAddress - kImageBase] = kMarkerRelease;
    EXPECT_EQ(radio->Model().Flash(), expected);
    // What the radio held is in a backup of its own, named in the journal.
    const std::vector<std::uint8_t> factory = RadioModel::FactoryFlash();
    const std::vector<std::uint8_t> own(factory.begin() + (kChannelStart - kImageBase),
                                        factory.begin() + (kChannelEnd + 1 - kImageBase));
    bool kept = false;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        kept = kept || (e.path().extension() == ".chd" && SameChannelData(ReadBinary(e.path().string()), own));
    EXPECT_TRUE(kept);
    EXPECT_NE(CliText(dir.File("vokta4-journal.jsonl")).find("\"event\":\"replaced\""), std::string::npos);
}

TEST_F(UpdateFixture, TwoUpdatesInARowEachSucceedAndKeepTheirOwnBackups)
{
    Start();
    dialog->OnWrite();
    const std::string first = dialog->ChannelBackupPath();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_DONE, STR_POWER_SUPPLY, STR_DONE}));
    EXPECT_NE(first, dialog->ChannelBackupPath());
    EXPECT_EQ(ReadBinary(first), ReadBinary(dialog->ChannelBackupPath()));
}

// The tool carries no boot program: without the maker's, nothing reaches
// the radio, and the technician learns what is missing and where it goes.
TEST_F(UpdateFixture, WithoutABootProgramNothingReachesTheRadio)
{
    Start();
    std::remove(dir.File("boot.s19").c_str());
    const int opens = radio->Opens();
    dialog->OnWrite();
    EXPECT_EQ(view.messages, std::vector<std::string>{STR_BOOT_SEND_ERROR});
    EXPECT_EQ(radio->Opens(), opens) << "the port was opened";
    EXPECT_EQ(radio->Model().GetTranscript().bytesIn, 0u);
    EXPECT_NE(dialog->FailureDetail().find(dir.File("boot.s19")), std::string::npos) << dialog->FailureDetail();
    EXPECT_NE(view.log.find("maker's boot program"), std::string::npos) << view.log;
}

// A radio that programs a block wrongly and says it is fine: the read-back
// verification finds the first differing address, and the update counts as
// failed after the erase.
TEST_F(UpdateFixture, VerificationCatchesASilentlyWrongBlock)
{
    settings.faults = {{RadioModel::Step::WriteData, 50, 1, RadioModel::Fault::Corrupt}};
    Start();
    dialog->Options().verify = true;
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_FIRM_WRITE_ERROR}));
    EXPECT_EQ(dialog->LastOutcome(), UpdateOutcome::FailedAfterErase);
    EXPECT_NE(dialog->FailureDetail().find("0xFE6464"), std::string::npos) << dialog->FailureDetail();
    EXPECT_NE(dialog->ServiceRecord().find("\"verified\":\"differs\""), std::string::npos) << dialog->ServiceRecord();
}

// The channel data is written back with the firmware, so it is read back
// and compared too: a block of it programmed wrongly fails the update.
TEST_F(UpdateFixture, VerificationCoversTheChannelDataWritten)
{
    const int channelBlock = static_cast<int>((0xFF9000 - kImageBase) / kBlockSize);
    settings.faults = {{RadioModel::Step::WriteData, channelBlock, 1, RadioModel::Fault::Corrupt}};
    Start();
    dialog->Options().verify = true;
    dialog->OnWrite();
    EXPECT_EQ(view.messages, Messages({STR_FIRM_WRITE_ERROR}));
    EXPECT_NE(dialog->FailureDetail().find("0xFF9064"), std::string::npos) << dialog->FailureDetail();
    EXPECT_NE(dialog->ServiceRecord().find("\"verified\":\"differs\""), std::string::npos) << dialog->ServiceRecord();
}

// The record names the firmware that went into the radio: the bytes that
// were converted, even when the file is replaced while the flash is written.
TEST_F(UpdateFixture, TheRecordNamesTheFirmwareConvertedNotTheFileAtTheEnd)
{
    const std::string written = FirmwareText(1);
    Start("", written);
    bool replaced = false;
    view.onProgress = [&](int) {
        if (view.ranges.back().second == 0x3333 && !replaced) {
            dir.Write("fw.002", FirmwareText(2, 2, 16));
            replaced = true;
        }
    };
    dialog->OnWrite();
    ASSERT_EQ(view.messages, Messages({STR_DONE}));
    Sha256 sha;
    sha.Add(written.data(), written.size());
    const std::string record = dialog->ServiceRecord();
    EXPECT_NE(record.find("\"sha256\":\"" + sha.HexDigest() + "\""), std::string::npos) << record;
    EXPECT_NE(record.find("\"size\":" + std::to_string(written.size()) + "}"), std::string::npos) << record;
}
