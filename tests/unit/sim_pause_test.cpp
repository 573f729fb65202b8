#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <thread>
#include <vector>

#include "sim/pty_host.h"
#include "sim/radio_model.h"

namespace {

using namespace std::chrono_literals;

// A boot frame the loader accepts: 00, address, 00, n, n data bytes, sum.
std::vector<std::uint8_t> BootFrame()
{
    std::vector<std::uint8_t> frame = {0x00, 0x80, 0x00, 0x00, 4, 1, 2, 3, 4};
    std::uint8_t sum = 0;
    for (std::uint8_t b : frame)
        sum = static_cast<std::uint8_t>(sum + b);
    frame.push_back(sum);
    return frame;
}

// The radio on a pseudo-terminal, the test as the tool on its other side;
// the radio's reader is held inside its answer to contact until the test
// has sent what it sends meanwhile, and 300 ms more.
class HeldReader : public ::testing::Test {
protected:
    void SetUp() override
    {
        RadioModel::Settings settings;
        settings.abandonAfter = 90ms;
        settings.beforeAnswer = [this](int, RadioModel::Step step) {
            if (step == RadioModel::Step::Contact) {
                m_held.set_value();
                m_sentMeanwhile.get_future().wait();
                std::this_thread::sleep_for(300ms);
            }
            return RadioModel::Cut::None;
        };
        m_model = std::make_unique<RadioModel>(settings);
        m_host = std::make_unique<PtyHost>(*m_model);
        std::string error;
        ASSERT_TRUE(m_host->Start(error)) << error;
        m_tool = ::open(m_host->SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(m_tool, 0);
        termios t{};
        ::tcgetattr(m_tool, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_tool, TCSANOW, &t);
    }
    void TearDown() override
    {
        if (m_tool >= 0)
            ::close(m_tool);
        m_host.reset();
    }
    void Send(std::vector<std::uint8_t> bytes) { ASSERT_EQ(::write(m_tool, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    // Everything the radio says within a second.
    std::vector<std::uint8_t> Answers()
    {
        std::vector<std::uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + 1s;
        for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
            pollfd p{m_tool, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            std::uint8_t buf[64];
            const ssize_t n = ::read(m_tool, buf, sizeof buf);
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    // Bytes the radio has taken from the line, once it has taken `count`.
    bool Taken(std::size_t count)
    {
        for (int i = 0; i < 200 && m_model->GetTranscript().bytesIn < count; ++i)
            std::this_thread::sleep_for(5ms);
        return m_model->GetTranscript().bytesIn >= count;
    }

    std::promise<void> m_held, m_sentMeanwhile;
    std::unique_ptr<RadioModel> m_model;
    std::unique_ptr<PtyHost> m_host;
    int m_tool = -1;
};

// Holds the simulated radio's reader thread for half a second, wherever it is,
// as a virtual machine that stops holds every thread.
void HoldTheReaderForHalfASecond()
{
    struct sigaction hold{};
    hold.sa_handler = [](int) {
        const timespec half{0, 500000000};
        ::nanosleep(&half, nullptr);
    };
    ::sigaction(SIGUSR1, &hold, nullptr);
    DIR* tasks = ::opendir("/proc/self/task");
    ASSERT_NE(tasks, nullptr);
    while (const dirent* task = ::readdir(tasks)) {
        std::string name;
        std::getline(std::ifstream(std::string("/proc/self/task/") + task->d_name + "/comm"), name);
        if (name == "sim-reader")
            ::syscall(SYS_tgkill, ::getpid(), std::atoi(task->d_name), SIGUSR1);
    }
    ::closedir(tasks);
}

}  // namespace

// Bytes that wait while the radio's reader is held (a loaded machine holds a
// simulator for a second now and then) came on a busy line: the frame they
// complete is taken whole. A frame the tool itself pauses in is abandoned, as
// a real receiver does, so that a retry after a time-out is understood.
TEST_F(HeldReader, OnlyAPauseTheReaderWaitedThroughAbandonsAFrame)
{
    const std::vector<std::uint8_t> frame = BootFrame();
    // Contact and the frame's first bytes together; the rest of the frame
    // while the reader is held in its answer to contact.
    Send({0x18, frame[0], frame[1], frame[2]});
    ASSERT_EQ(m_held.get_future().wait_for(5s), std::future_status::ready);
    Send(std::vector<std::uint8_t>(frame.begin() + 3, frame.end()));
    m_sentMeanwhile.set_value();
    EXPECT_EQ(Answers(), (std::vector<std::uint8_t>{0x11, 0x01})) << "the held bytes were taken for a pause";

    // The tool pauses in the middle of a frame: the radio, waiting, hears it.
    const std::size_t before = m_model->GetTranscript().bytesIn;
    Send(std::vector<std::uint8_t>(frame.begin(), frame.begin() + 3));
    ASSERT_TRUE(Taken(before + 3));
    std::this_thread::sleep_for(600ms);
    Send(std::vector<std::uint8_t>(frame.begin() + 3, frame.end()));
    EXPECT_EQ(Answers(), std::vector<std::uint8_t>{}) << "a frame paused in was taken whole";
    // The radio names what it dropped, for a test that fails because of it.
    const std::vector<std::string> abandoned = m_model->GetTranscript().abandoned;
    ASSERT_EQ(abandoned.size(), 1u);
    EXPECT_NE(abandoned[0].find("a frame or command (3 bytes in)"), std::string::npos) << abandoned[0];
}

// The reader held while it listens, and the rest of the frame sent
// meanwhile: a machine that stopped for half a second made no pause on the line.
TEST_F(HeldReader, AReaderHeldWhileListeningTakesTheFrameWhole)
{
    const std::vector<std::uint8_t> frame = BootFrame();
    Send(std::vector<std::uint8_t>(frame.begin(), frame.begin() + 3));
    ASSERT_TRUE(Taken(3));
    HoldTheReaderForHalfASecond();
    Send(std::vector<std::uint8_t>(frame.begin() + 3, frame.end()));
    EXPECT_EQ(Answers(), std::vector<std::uint8_t>{0x01}) << "the machine's stop was taken for a pause";
    ::signal(SIGUSR1, SIG_DFL);
}

// A machine that stops for a second between a write command's
// acknowledgement and its data: the radio gives up waiting and reads the data
// as commands. Contact bytes among them are no knock of the loader: the boot
// program still runs, and the tool's retry after its second of quiet is
// answered.
TEST(RadioPause, DataTheRadioGaveUpOnLeaveTheBootProgramRunning)
{
    RadioModel model{RadioModel::Settings()};
    RadioModel::Clock::time_point t = RadioModel::Clock::now();
    auto feed = [&](const std::vector<std::uint8_t>& bytes, std::chrono::milliseconds after) {
        t += after;
        std::vector<std::uint8_t> said;
        for (const RadioModel::Output& o : model.Feed(bytes.data(), bytes.size(), t))
            said.insert(said.end(), o.bytes.begin(), o.bytes.end());
        return said;
    };
    const std::vector<std::uint8_t> writeCommand = {0x08, 0x00, 0x00, 0xFE, 0x00, 0x00, 0x02, 0x00};
    std::vector<std::uint8_t> data(512);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);  // 0x18 at 40, 296
    ASSERT_EQ(feed({0x18}, 0ms), std::vector<std::uint8_t>{0x11});
    ASSERT_EQ(feed(BootFrame(), 10ms), std::vector<std::uint8_t>{0x01});
    ASSERT_EQ(feed({0x40, 0, 0, 0, 0}, 10ms), std::vector<std::uint8_t>{0x31});
    ASSERT_EQ(feed(writeCommand, 10ms), std::vector<std::uint8_t>{0x31});
    feed(data, 1500ms);
    EXPECT_EQ(feed(writeCommand, 2000ms), std::vector<std::uint8_t>{0x31}) << "the boot program no longer runs";
    // Contact bytes alone are the tool knocking after the radio was switched off and on.
    EXPECT_EQ(feed({0x18, 0x18}, 2000ms), (std::vector<std::uint8_t>{0x11, 0x11}));
}
