#include <gtest/gtest.h>

#include <thread>

#include "serial/receive_sink.h"
#include "serial/serial_channel.h"
#include "test_support.h"

namespace {

// Keeps a copy of every hand-over.
class RecordingSink : public ReceiveSink {
public:
    SerialChannel* channel = nullptr;
    void OnReceive(const unsigned char* b, unsigned count) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        chunks.emplace_back(b, b + count);
    }
    std::size_t Total()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::size_t n = 0;
        for (auto& c : chunks)
            n += c.size();
        return n;
    }
    std::vector<std::vector<std::uint8_t>> chunks;

private:
    std::mutex m_mutex;
};

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(3000))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct ChannelFixture : ::testing::Test {
    std::shared_ptr<FakeBackend::Shared> shared = std::make_shared<FakeBackend::Shared>();
    RecordingSink sink;
    SerialChannel channel{&sink, [this] { return std::make_unique<FakeBackend>(shared); }, FastTiming().closeWait};
    ChannelFixture() { sink.channel = &channel; }
    void Arrive(std::vector<std::uint8_t> bytes)
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->pending.insert(shared->pending.end(), bytes.begin(), bytes.end());
    }
};

}  // namespace

TEST_F(ChannelFixture, ReadsAtMost529BytesThenTheRestAtOnce)
{
    Arrive(std::vector<std::uint8_t>(600, 0x5A));
    ASSERT_TRUE(channel.Open("fake"));
    ASSERT_TRUE(WaitFor([&] { return sink.Total() == 600; }));
    channel.Close();
    ASSERT_EQ(sink.chunks.size(), 2u);
    EXPECT_EQ(sink.chunks[0].size(), 529u);
    EXPECT_EQ(sink.chunks[1].size(), 71u);
}

// The reader has seen a late answer waiting; before it reads, the next
// exchange purges the line and its reply arrives. The reply is read after
// the purge and must reach the sink; the late answer never does.
TEST_F(ChannelFixture, AReplyReadJustAfterAPurgeIsHandedOverAndTheStaleBytesAreNot)
{
    Arrive({0xEE});
    shared->onBytesWaiting = [this] {
        channel.Purge();
        Arrive({0x31});
    };
    ASSERT_TRUE(channel.Open("fake"));
    ASSERT_TRUE(WaitFor([&] { return sink.Total() >= 1; })) << "the reply read after the purge was dropped";
    channel.Close();
    EXPECT_EQ(sink.chunks, (std::vector<std::vector<std::uint8_t>>{{0x31}}));
}

TEST_F(ChannelFixture, WriteOnClosedChannelReportsAndWritesNothing)
{
    int reports = 0;
    channel.SetClosedPortReporter([&] { ++reports; });
    const std::uint8_t b = 0x18;
    EXPECT_EQ(channel.Write(&b, 1), 0u);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(channel.WriteIfOpen(&b, 1), 0u);  // the timer thread's write stays silent
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(shared->written.empty());
}

TEST_F(ChannelFixture, OpenTwiceReopensAndCloseIsIdempotent)
{
    channel.Close();  // never opened: nothing happens
    EXPECT_EQ(shared->closes, 0);
    ASSERT_TRUE(channel.Open("fake"));
    ASSERT_TRUE(channel.Open("fake"));
    EXPECT_EQ(shared->opens, 2);
    EXPECT_EQ(shared->closes, 1);
    const std::uint8_t b = 0x42;
    EXPECT_EQ(channel.Write(&b, 1), 1u);
    channel.Close();
    channel.Close();
    EXPECT_EQ(shared->closes, 2);
    EXPECT_FALSE(channel.IsOpen());
}

TEST_F(ChannelFixture, FailedOpenLeavesTheChannelClosed)
{
    shared->failOpen = true;
    EXPECT_FALSE(channel.Open("fake"));
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(channel.LastOpenError(), "no such device");
    EXPECT_EQ(shared->closes, 0);
}

TEST_F(ChannelFixture, AReaderThatOutlivesCloseNeverTouchesAReleasedPortNorTheSink)
{
    shared->readerStuck = true;
    ASSERT_TRUE(channel.Open("fake"));
    ASSERT_TRUE(WaitFor([&] { return shared->readerInside.load(); }));
    const auto start = std::chrono::steady_clock::now();
    channel.Close();  // gives up waiting after the close wait
    EXPECT_GE(std::chrono::steady_clock::now() - start, FastTiming().closeWait);
    EXPECT_FALSE(channel.IsOpen());
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        EXPECT_EQ(shared->closes, 0) << "the port was released under a running reader";
    }
    Arrive({0x11, 0x22});
    shared->readerStuck = false;
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> lock(shared->mutex);
        return shared->closes == 1;
    }));
    EXPECT_FALSE(shared->closedWhileReaderInside);
    EXPECT_EQ(sink.Total(), 0u);
}

