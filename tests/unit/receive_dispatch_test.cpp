#include <gtest/gtest.h>

#include <thread>

#include "res/resource.h"
#include "sim/in_process_radio.h"
#include "test_support.h"

using A = UpdaterDialogTestAccess;

namespace {

template <typename Pred>
bool Eventually(Pred pred)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The dialog on a fake port whose incoming bytes the test supplies.
struct DispatchFixture : ::testing::Test {
    std::shared_ptr<FakeBackend::Shared> shared = std::make_shared<FakeBackend::Shared>();
    ScriptedView view;
    TestHost host;
    std::unique_ptr<UpdaterDialog> dialog;

    DispatchFixture()
    {
        host.backends = [this] { return std::make_unique<FakeBackend>(shared); };
        OpenWith(FastTiming());
    }
    void OpenWith(const Timing& timing)
    {
        view.dialog = nullptr;
        dialog = std::make_unique<UpdaterDialog>(view, host, timing);
        view.dialog = dialog.get();
        EXPECT_TRUE(dialog->Serial().Open("fake"));
    }
    void Arrive(std::vector<std::uint8_t> bytes)
    {
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->pending.insert(shared->pending.end(), bytes.begin(), bytes.end());
        }
        ASSERT_TRUE(Eventually([&] {
            std::lock_guard<std::mutex> lock(shared->mutex);
            return shared->pending.empty();
        }));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // let the hand-over finish
    }
};

}  // namespace

// An answer that arrives while the driver still holds the command's bytes
// cannot be the answer to it: the exchange fails as lost, and the same
// answer counts once the command has gone out.
TEST_F(DispatchFixture, AnAnswerWhileTheCommandIsStillUnsentIsNotItsAnswer)
{
    // The answer is judged when it comes, so a generous time-out costs
    // nothing and a busy machine cannot turn an answer into silence.
    Timing timing = FastTiming();
    timing.protectTimeout = std::chrono::seconds(5);
    OpenWith(timing);
    A::SetRun(*dialog, true);
    for (const std::size_t unsent : {std::size_t{8}, std::size_t{0}}) {
        shared->unsent = unsent;
        std::size_t writes = 0;
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            writes = shared->written.size();
        }
        // The answer comes once the query has been written (to the driver,
        // which may still hold it), never before the exchange began.
        std::thread radio([this, writes] {
            ASSERT_TRUE(Eventually([&] {
                std::lock_guard<std::mutex> lock(shared->mutex);
                return shared->written.size() > writes;
            }));
            Arrive({'1'});
        });
        const bool answered = QueryDataProtect(A::Context(*dialog));
        radio.join();
        EXPECT_EQ(answered, unsent == 0);
        if (unsent > 0) {
            EXPECT_NE(dialog->FailureDetail().find("before the command had been sent"), std::string::npos)
                << dialog->FailureDetail();
        }
    }
}

// The link keeps the deadline of a wait: a window timer that fires early
// only wakes the loop, and silence is a time-out after the whole period.
TEST_F(DispatchFixture, ATimerThatFiresEarlyNeverShortensTheTimeOut)
{
    Timing timing = FastTiming();
    timing.protectTimeout = std::chrono::milliseconds(200);
    OpenWith(timing);
    view.timerShare = 0.25;
    A::SetRun(*dialog, true);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(QueryDataProtect(A::Context(*dialog)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_NE(dialog->FailureDetail().find("did not answer"), std::string::npos) << dialog->FailureDetail();
}

TEST_F(DispatchFixture, ContactCompletesOnA0x11AnywhereInTheChunk)
{
    A::Prepare(*dialog, RadioLink::kModeContact);
    Arrive({0x00, 0x55, 0x31});
    EXPECT_FALSE(A::ReplyDone(*dialog));
    Arrive({0x7F, 0x11, 0x42});
    EXPECT_TRUE(Eventually([&] { return A::ReplyDone(*dialog); }));
}

// A reply that is complete before the wait begins (a fast radio, a busy
// machine) must not hide a CLOSE already queued: the update stops at this
// exchange, not at some later one.
TEST_F(DispatchFixture, ACloseQueuedBeforeAnEarlyReplyStopsTheWait)
{
    A::SetRun(*dialog, true);
    A::SetUpdating(*dialog, true);
    A::Prepare(*dialog, RadioLink::kModeContact);
    Arrive({0x11});
    ASSERT_TRUE(A::ReplyDone(*dialog));
    view.PostClose();
    EXPECT_FALSE(A::WaitEndsInReply(*dialog));
    EXPECT_TRUE(view.ended);
}

TEST_F(DispatchFixture, ARefusalAnywhereInTheChunkStandsBesideAnAccept)
{
    A::Prepare(*dialog, RadioLink::kModeBootRecord);
    Arrive({0x02, 0x01});
    EXPECT_TRUE(A::ReplyDone(*dialog));
    EXPECT_TRUE(A::ReplyError(*dialog));

    A::Prepare(*dialog, RadioLink::kModeStatus);
    Arrive({0x01, 0x02});  // boot-record bytes mean nothing in the status mode
    EXPECT_FALSE(A::ReplyDone(*dialog));
    Arrive({'1'});
    EXPECT_TRUE(A::ReplyDone(*dialog));
    EXPECT_FALSE(A::ReplyError(*dialog));
}

TEST_F(DispatchFixture, ABlockReplySplit300And214CompletesOnTheSecondChunkInOrder)
{
    A::Prepare(*dialog, RadioLink::kModeBlockRead, 514);
    std::vector<std::uint8_t> reply(514);
    for (std::size_t i = 0; i < reply.size(); ++i)
        reply[i] = static_cast<std::uint8_t>(i * 7);
    Arrive(std::vector<std::uint8_t>(reply.begin(), reply.begin() + 300));
    EXPECT_FALSE(A::ReplyDone(*dialog));
    EXPECT_EQ(A::RxCount(*dialog), 300);
    Arrive(std::vector<std::uint8_t>(reply.begin() + 300, reply.end()));
    EXPECT_TRUE(A::ReplyDone(*dialog));
    EXPECT_EQ(std::vector<std::uint8_t>(A::RxBuf(*dialog), A::RxBuf(*dialog) + 514), reply);
}

TEST_F(DispatchFixture, BytesBeyondTheReceiveBufferAreNeverStored)
{
    A::Prepare(*dialog, RadioLink::kModeBlockRead, 514);
    Arrive(std::vector<std::uint8_t>(529, 0xAB));
    Arrive(std::vector<std::uint8_t>(529, 0xCD));  // would run 528 bytes past the buffer
    EXPECT_TRUE(A::ReplyDone(*dialog));
    EXPECT_EQ(A::RxCount(*dialog), 1058);
    EXPECT_EQ(A::RxBuf(*dialog)[528], 0xAB);
    EXPECT_EQ(A::RxBuf(*dialog)[529], 0xCD);
}

TEST_F(DispatchFixture, BetweenExchangesBytesAreDropped)
{
    A::Prepare(*dialog, RadioLink::kModeIdle);
    Arrive({0x11, 0x01, 0x31});
    EXPECT_FALSE(A::ReplyDone(*dialog));
}

// ---- the short exchanges against the simulated radio ----

namespace {

struct RadioFixture : ::testing::Test {
    TempDir dir;
    RadioModel::Settings settings;
    std::unique_ptr<InProcessRadio> radio;
    ScriptedView view;
    TestHost host;
    std::unique_ptr<UpdaterDialog> dialog;

    void Start()
    {
        radio = std::make_unique<InProcessRadio>(settings);
        host.backends = [this] { return radio->MakeBackend(); };
        host.moduleFile = dir.Path() + "/vokta4";
        dir.Write("boot.s19", kSimBootProgram);
        dialog = std::make_unique<UpdaterDialog>(view, host, FastTiming());
        view.dialog = dialog.get();
        ASSERT_TRUE(A::CheckBootProgram(*dialog));
        ASSERT_TRUE(dialog->Serial().Open("sim"));
        A::SetRun(*dialog, true);
        A::SetUpdating(*dialog, true);
    }
    ~RadioFixture() override
    {
        dialog.reset();
        radio.reset();
    }
};

}  // namespace

TEST_F(RadioFixture, ContactIsResentEvery50msUntilTheLoaderAnswersThenStops)
{
    settings.faults = {{RadioModel::Step::Contact, -1, 3, RadioModel::Fault::Silence}};
    Start();
    EXPECT_TRUE(ConnectRadio(UpdaterDialogTestAccess::Context(*dialog)));
    EXPECT_TRUE(view.messages.empty());
    const int contacts = radio->Model().GetTranscript().contacts;
    EXPECT_GE(contacts, 4);
    std::this_thread::sleep_for(FastTiming().resendPeriod * 5);
    EXPECT_EQ(radio->Model().GetTranscript().contacts, contacts) << "the resend went on after the answer";
    EXPECT_FALSE(view.Timer1Armed());
}

TEST_F(RadioFixture, ASilentLoaderGivesTimeOutExactlyOnce)
{
    settings.faults = {{RadioModel::Step::Contact, -1, 1000, RadioModel::Fault::Silence}};
    Start();
    EXPECT_FALSE(ConnectRadio(UpdaterDialogTestAccess::Context(*dialog)));
    EXPECT_EQ(view.messages, std::vector<std::string>{TXT_TIME_OUT});
    std::this_thread::sleep_for(FastTiming().contactTimeout);
    EXPECT_FALSE(view.DispatchPendingMessage()) << "timer 1 fired again";
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(RadioFixture, CloseDuringAWaitFailsSilentlyAndClosesThePort)
{
    settings.faults = {{RadioModel::Step::Contact, -1, 1000, RadioModel::Fault::Silence}};
    Start();
    view.PostClose();
    EXPECT_FALSE(ConnectRadio(UpdaterDialogTestAccess::Context(*dialog)));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.ended);
    EXPECT_FALSE(dialog->Serial().IsOpen());
    EXPECT_FALSE(view.Timer1Armed());
}

TEST_F(RadioFixture, EitherStatusAnswerCompletesBootStartAndProtectQuery)
{
    settings.faults = {{RadioModel::Step::BootStart, -1, 1, RadioModel::Fault::Refuse},
                       {RadioModel::Step::Protect, -1, 1, RadioModel::Fault::Refuse}};
    Start();
    ASSERT_TRUE(ConnectRadio(UpdaterDialogTestAccess::Context(*dialog)));
    ASSERT_TRUE(UploadBootProgram(UpdaterDialogTestAccess::Context(*dialog)));
    EXPECT_TRUE(StartBootProgram(UpdaterDialogTestAccess::Context(*dialog)));  // "2"
    EXPECT_TRUE(StartBootProgram(UpdaterDialogTestAccess::Context(*dialog)));  // "1": the boot program runs
    EXPECT_TRUE(QueryDataProtect(UpdaterDialogTestAccess::Context(*dialog)));  // "2"
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(RadioFixture, AStaleByteBeforeACommandDoesNotCompleteIt)
{
    settings.faults = {{RadioModel::Step::Protect, -1, 1, RadioModel::Fault::Silence}};
    Start();
    ASSERT_TRUE(ConnectRadio(UpdaterDialogTestAccess::Context(*dialog)));
    ASSERT_TRUE(UploadBootProgram(UpdaterDialogTestAccess::Context(*dialog)));
    ASSERT_TRUE(StartBootProgram(UpdaterDialogTestAccess::Context(*dialog)));
    radio->Inject({'1'});  // a late answer to something earlier
    EXPECT_FALSE(QueryDataProtect(UpdaterDialogTestAccess::Context(*dialog)));
    EXPECT_EQ(view.messages, std::vector<std::string>{TXT_TIME_OUT});
}

TEST_F(RadioFixture, AResendTickAfterCloseWritesNothingAndShowsNothing)
{
    settings.faults = {{RadioModel::Step::Contact, -1, 1000, RadioModel::Fault::Silence}};
    Start();
    dialog->Serial().Close();
    ASSERT_TRUE(UpdaterDialogTestAccess::Link(*dialog).StartResendTimer(std::chrono::milliseconds(1)));
    UpdaterDialogTestAccess::Prepare(*dialog, RadioLink::kModeContact);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    UpdaterDialogTestAccess::Link(*dialog).StopResendTimer();
    EXPECT_TRUE(view.messages.empty());
}
