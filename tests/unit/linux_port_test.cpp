#include <gtest/gtest.h>

#include "pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "platform/native_host.h"
#include "serial/linux_port_backend.h"

namespace {

termios Settings(const std::string& path)
{
    termios t{};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ::tcgetattr(fd, &t);
    ::close(fd);
    return t;
}

}  // namespace

TEST(LinuxPortBackend, SetsRaw19200AndRestoresTheLineSettingsAtClose)
{
    Pty pty;
    const int keep = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
    termios cooked{};
    ::tcgetattr(keep, &cooked);
    cooked.c_lflag |= ECHO | ICANON;
    ::cfsetispeed(&cooked, B9600);
    ::cfsetospeed(&cooked, B9600);
    ::tcsetattr(keep, TCSANOW, &cooked);

    LinuxPortBackend port;
    std::string error;
    ASSERT_TRUE(port.Open(pty.slave, error)) << error;
    termios t = Settings(pty.slave);
    EXPECT_EQ(::cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON), 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    port.Close();
    t = Settings(pty.slave);
    EXPECT_EQ(::cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON), cooked.c_lflag & (ECHO | ICANON));
    ::close(keep);
}

TEST(LinuxPortBackend, ASecondOpenOfABusyPortFails)
{
    Pty pty;
    LinuxPortBackend first, second;
    std::string error;
    ASSERT_TRUE(first.Open(pty.slave, error)) << error;
    EXPECT_FALSE(second.Open(pty.slave, error));
    EXPECT_NE(error.find("busy"), std::string::npos) << error;
    first.Close();
    EXPECT_TRUE(second.Open(pty.slave, error)) << error;
}

TEST(LinuxPortBackend, BytesTravelBothWaysAndAHangUpIsSeen)
{
    Pty pty;
    LinuxPortBackend port;
    std::string error;
    ASSERT_TRUE(port.Open(pty.slave, error)) << error;
    const std::uint8_t out[3] = {0x18, 0x00, 0xFF};
    EXPECT_EQ(port.Write(out, 3), 3);
    std::uint8_t got[3] = {};
    ASSERT_EQ(::read(pty.master, got, 3), 3);
    EXPECT_EQ(std::vector<std::uint8_t>(got, got + 3), std::vector<std::uint8_t>(out, out + 3));

    const std::uint8_t in[2] = {0x11, 0x31};
    ASSERT_EQ(::write(pty.master, in, 2), 2);
    EXPECT_EQ(port.WaitReadable(std::chrono::milliseconds(1000)), PortBackend::WaitResult::Readable);
    EXPECT_EQ(port.BytesWaiting(), 2u);
    std::uint8_t buf[8] = {};
    EXPECT_EQ(port.Read(buf, 2), 2);
    EXPECT_EQ(buf[1], 0x31);

    ::close(pty.master);
    pty.master = ::open("/dev/null", O_RDONLY);
    EXPECT_EQ(port.WaitReadable(std::chrono::milliseconds(1000)), PortBackend::WaitResult::HungUp);
}

TEST(LinuxPortBackend, APurgeBetweenReadinessAndReadNeverLeavesTheReaderBlocked)
{
    Pty pty;
    LinuxPortBackend port;
    std::string error;
    ASSERT_TRUE(port.Open(pty.slave, error)) << error;
    const std::uint8_t late = '1';
    ASSERT_EQ(::write(pty.master, &late, 1), 1);
    ASSERT_EQ(port.WaitReadable(std::chrono::milliseconds(1000)), PortBackend::WaitResult::Readable);
    port.PurgeInput();  // the next command's purge lands here

    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration took{};
    std::thread reader([&] {
        std::uint8_t buf[8];
        EXPECT_EQ(port.Read(buf, sizeof buf), 0);
        took = std::chrono::steady_clock::now() - start;
    });
    // A reader stuck in read() would only come back with the next byte.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(::write(pty.master, &late, 1), 1);
    reader.join();
    EXPECT_LT(took, std::chrono::milliseconds(400));
}

TEST(LinuxPortBackend, AMissingDeviceFailsWithItsReason)
{
    LinuxPortBackend port;
    std::string error;
    EXPECT_FALSE(port.Open("/dev/vokta4-no-such-port", error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_EQ(LinuxPortBackend::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(LinuxPortBackend::DevicePath("/tmp/radio"), "/tmp/radio");
}

TEST(PortList, EnvironmentListReplacesEnumeration)
{
    EXPECT_EQ(SplitPortList("/tmp/a:/dev/pts/3::b", ':'), (std::vector<std::string>{"/tmp/a", "/dev/pts/3", "b"}));
    ::setenv("VOKTA4_PORTS", "/tmp/radio-a:/tmp/radio-b", 1);
    NativeHost host;
    std::vector<std::string> names;
    EXPECT_TRUE(host.EnumeratePorts(names));
    EXPECT_EQ(names, (std::vector<std::string>{"/tmp/radio-a", "/tmp/radio-b"}));
}
