// vokta4-cli line-test on pseudo-terminals: one whose far end echoes (a
// loopback plug), one that garbles, and the simulated radio, which does
// not echo.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "frontends/cli/line_test.h"
#include "process.h"
#include "sim/radio_model.h"
#include "update/protocol.h"

namespace {

// The far end of a pseudo-terminal: sends back what comes in, as it is or
// with one bit flipped, perhaps late or only its first bytes, and keeps
// what it got.
class LoopbackPeer {
public:
    explicit LoopbackPeer(bool garble, std::size_t echoed = SIZE_MAX, int delayMs = 0)
        : m_garble(garble), m_echoed(echoed), m_delayMs(delayMs)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_path = ::ptsname(m_master);
        m_keep = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);  // the line stays up between opens
        termios tio{};
        ::tcgetattr(m_keep, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_keep, TCSANOW, &tio);
        m_stop = ::eventfd(0, EFD_CLOEXEC);
        m_thread = std::thread([this] { Loop(); });
    }
    ~LoopbackPeer()
    {
        if (m_thread.joinable()) {
            std::uint64_t one = 1;
            (void)!::write(m_stop, &one, sizeof one);
            m_thread.join();
        }
        for (int fd : {m_master, m_keep, m_stop})
            if (fd >= 0)
                ::close(fd);
    }
    const std::string& Path() const { return m_path; }
    std::vector<std::uint8_t> Received()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

private:
    void Loop()
    {
        std::uint8_t buf[1024];
        for (;;) {
            pollfd fds[2] = {{m_master, POLLIN, 0}, {m_stop, POLLIN, 0}};
            if (::poll(fds, 2, -1) <= 0 || fds[1].revents)
                return;
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                continue;
            std::size_t total;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_received.insert(m_received.end(), buf, buf + n);
                total = m_received.size();
            }
            if (total > m_echoed)
                continue;  // the echo has stopped
            if (m_garble)
                buf[n / 2] ^= 0x10;
            std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
            (void)!::write(m_master, buf, static_cast<std::size_t>(n));
        }
    }

    const bool m_garble;
    const std::size_t m_echoed;
    const int m_delayMs;
    int m_master = -1, m_keep = -1, m_stop = -1;
    std::string m_path;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::uint8_t> m_received;
};

std::vector<std::uint8_t> AllPatternBytes()
{
    std::vector<std::uint8_t> all;
    for (const LinePattern& p : LineTest::Patterns())
        all.insert(all.end(), p.bytes.begin(), p.bytes.end());
    return all;
}

struct LineTestFixture : ::testing::Test, CliWorkspace {
    LineTestFixture() : CliWorkspace(1) {}
    std::vector<std::string> LineTestCommand(const std::string& port) const
    {
        return {VOKTA4_CLI, "line-test", "--yes", "--port", port};
    }
};

}  // namespace

TEST_F(LineTestFixture, AnEchoingLineIsSoundWithItsRoundTripsAndTheirCostToAnUpdate)
{
    LoopbackPeer peer(false);
    ASSERT_FALSE(peer.Path().empty());
    Process cli(LineTestCommand(peer.Path()), env);
    ASSERT_EQ(cli.Wait(std::chrono::seconds(30)), 0) << cli.Err();
    const std::string out = cli.Out();
    for (const char* text : {"single bytes     32 x   1 byte   round trip median ", "all byte values   1 x 256 bytes",
                             "bursts            4 x 514 bytes", "per exchange beyond the wire time: median ",
                             "an update (636 exchanges, 79.3 s on the wire at 19200 baud) takes about ",
                             "no real serial line", "the line is sound"})
        EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
    // Every pattern went out once, whole, and nothing else.
    EXPECT_EQ(peer.Received(), AllPatternBytes());
}

// A line that answers other bytes fails at the first of them; a radio does
// not echo, and sees a single byte that no command of it begins with.
TEST_F(LineTestFixture, AGarblingLineOrARadioFailsWithTheReasonAfterOneByte)
{
    {
        LoopbackPeer peer(true);
        Process cli(LineTestCommand(peer.Path()), env);
        EXPECT_EQ(cli.Wait(std::chrono::seconds(30)), 1);
        EXPECT_NE(cli.Err().find("the single byte 0x55 came back as 0x45 instead of 0x55"), std::string::npos)
            << cli.Err();
        EXPECT_NE(cli.Err().find("hint: an adapter fault"), std::string::npos) << cli.Err();
        EXPECT_EQ(peer.Received(), std::vector<std::uint8_t>{0x55});
    }
    const std::string flash = dir.File("flash.bin");
    Simulator sim(flash, {"--transcript", dir.File("transcript.txt")});
    ASSERT_FALSE(sim.Port().empty());
    const auto start = std::chrono::steady_clock::now();
    Process cli(LineTestCommand(sim.Port()), env);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(30)), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(cli.Err().find("nothing came back within 3000 ms of sending the single byte 0x55"), std::string::npos)
        << cli.Err();
    EXPECT_NE(cli.Err().find("A radio does not echo: unplug it"), std::string::npos) << cli.Err();
    sim.Stop();
    const std::string transcript = Text(dir.File("transcript.txt"));
    EXPECT_NE(transcript.find("bytes_in 1\nbytes_out 0\ncontacts 0\nboot_frames 0\nbad_boot_frames 0\n"),
              std::string::npos)
        << transcript;
    EXPECT_EQ(ReadBinary(flash), RadioModel::FactoryFlash());
}

// What the test says when the line is not the fault it first looks like:
// a port another program holds, an echo that stops, an echo that comes
// late; and it asks before it sends anything.
TEST_F(LineTestFixture, EachHintNamesWhatIsWrong)
{
    struct Case {
        const char* what;
        std::size_t echoed;
        int delayMs;
        bool hold;
        const char* reason;
        const char* hint;
    };
    for (const Case& c : {Case{"busy", SIZE_MAX, 0, true, "port busy", "hint: another program has the port open"},
                          Case{"stops", 40, 0, false, "the echo stopped", "hint: the echo stopped after 32 of 37"},
                          Case{"late", SIZE_MAX, 1300, false, "came back exact, but only after ",
                               "hint: that is the line's latency"}}) {
        LoopbackPeer peer(false, c.echoed, c.delayMs);
        const int held = c.hold ? ::open(peer.Path().c_str(), O_RDWR | O_NOCTTY) : -1;
        if (c.hold) {
            ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
        }
        Process cli(LineTestCommand(peer.Path()), env);
        EXPECT_EQ(cli.Wait(std::chrono::seconds(30)), 1) << c.what;
        EXPECT_NE(cli.Err().find(c.reason), std::string::npos) << c.what << ": " << cli.Err();
        EXPECT_NE(cli.Err().find(c.hint), std::string::npos) << c.what << ": " << cli.Err();
        if (held >= 0)
            ::close(held);
    }
    LoopbackPeer peer(false);
    Process asked({VOKTA4_CLI, "line-test", "--port", peer.Path()}, env);  // no answer: the input ends
    EXPECT_EQ(asked.Wait(), 1);
    EXPECT_NE(asked.Err().find("Unplug the radio from this cable"), std::string::npos) << asked.Err();
    EXPECT_NE(asked.Err().find("the test does not start (nothing was sent)"), std::string::npos) << asked.Err();
    EXPECT_TRUE(peer.Received().empty());
}

// A radio on a line that echoes (a cable joining TX and RX at the radio's
// end) gets every pattern: no pattern begins with a command byte, single
// bytes and bursts hold none, and a block command read from anywhere in a
// pattern names no area.
TEST(LineTestPatterns, HoldNoCommandThatNamesAnArea)
{
    using namespace protocol;
    const std::vector<std::uint8_t> starts = {kContactRequest, kBootFrameStart, kBootStart, kProtectQuery,
                                              kReadBlock,      kClearFirst,     kClearSecond, kWriteBlock};
    const std::vector<std::uint8_t> blockCommands = {kReadBlock, kClearFirst, kClearSecond, kWriteBlock};
    auto in = [](const std::vector<std::uint8_t>& set, std::uint8_t b) {
        return std::find(set.begin(), set.end(), b) != set.end();
    };
    for (const LinePattern& p : LineTest::Patterns()) {
        EXPECT_FALSE(in(starts, p.bytes.front()));
        if (p.kind != LinePattern::Kind::AllValues) {
            EXPECT_TRUE(std::none_of(p.bytes.begin(), p.bytes.end(), [&](std::uint8_t b) { return in(starts, b); }));
        }
        for (std::size_t i = 0; i < p.bytes.size(); ++i) {
            if (!in(blockCommands, p.bytes[i]))
                continue;
            ASSERT_LT(i + kCommandLength - 1, p.bytes.size()) << "a command cut at the pattern's end";
            const std::uint8_t area = p.bytes[i + kCommandLength - 1];
            EXPECT_TRUE(area != kAreaLow && area != kAreaHigh) << "byte " << i;
        }
    }
}
