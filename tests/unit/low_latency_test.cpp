// The driver's low latency on a POSIX port: what Open asks for, what Close
// puts back, and that a port refusing it is used as it is.
#include <gtest/gtest.h>

#include "pty.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "serial/linux_adapter_latency.h"
#include "serial/linux_port_backend.h"

namespace {

// A driver that answers as told and records every change asked of it, with
// whether the port was still open at the time.
struct FakeDriver {
    bool answers = true;
    bool lowLatency = false;
    bool acceptsSet = true;
    AdapterLatency latency;
    std::vector<std::pair<bool, bool>> sets;  // (on, descriptor open)
    int latencyReads = 0;
};

class FakeTuning : public LineTuning {
public:
    explicit FakeTuning(FakeDriver& d) : m_d(d) {}
    bool GetLowLatency(int, bool& on) override
    {
        on = m_d.lowLatency;
        return m_d.answers;
    }
    bool SetLowLatency(int fd, bool on) override
    {
        m_d.sets.emplace_back(on, ::fcntl(fd, F_GETFD) != -1);
        if (!m_d.answers || !m_d.acceptsSet)
            return false;
        m_d.lowLatency = on;
        return true;
    }
    AdapterLatency ReadLatency(const std::string&) override
    {
        ++m_d.latencyReads;
        return m_d.latency;
    }

private:
    FakeDriver& m_d;
};

// Sends one byte from the far end and reads it through the port.
bool ByteArrives(Pty& pty, LinuxPortBackend& port)
{
    const std::uint8_t sent = 0x5A;
    if (::write(pty.master, &sent, 1) != 1 || port.WaitReadable(std::chrono::seconds(2)) != PortBackend::WaitResult::Readable)
        return false;
    std::uint8_t got = 0;
    return port.Read(&got, 1) == 1 && got == sent;
}

}  // namespace

TEST(LowLatency, SetAtOpenAndPutBackAtCloseOnlyWhenOpenChangedIt)
{
    Pty pty;
    FakeDriver off;
    {
        LinuxPortBackend port(std::make_unique<FakeTuning>(off));
        std::string error;
        ASSERT_TRUE(port.Open(pty.slave, error)) << error;
        EXPECT_TRUE(off.lowLatency);
        EXPECT_TRUE(port.LatencyAdvice().empty());
        EXPECT_EQ(port.HoldBackMs(), 0);  // low latency: nothing held back
        port.Close();
    }
    // Set, then cleared again while the port was still open.
    ASSERT_EQ(off.sets, (std::vector<std::pair<bool, bool>>{{true, true}, {false, true}}));
    EXPECT_FALSE(off.lowLatency);
    EXPECT_EQ(off.latencyReads, 0);

    // Already on: left as the system had it, also at Close.
    FakeDriver on;
    on.lowLatency = true;
    LinuxPortBackend port(std::make_unique<FakeTuning>(on));
    std::string error;
    ASSERT_TRUE(port.Open(pty.slave, error)) << error;
    port.Close();
    EXPECT_TRUE(on.sets.empty());
    EXPECT_TRUE(on.lowLatency);
}

TEST(LowLatency, ADriverThatRefusesLeavesTheTimerAndAnAdviceButThePortWorks)
{
    Pty pty;
    FakeDriver refusing;
    refusing.acceptsSet = false;
    refusing.latency = {AdapterLatency::Kind::Known, 16};
    LinuxPortBackend port(std::make_unique<FakeTuning>(refusing));
    std::string error;
    ASSERT_TRUE(port.Open(pty.slave, error)) << error;
    EXPECT_TRUE(ByteArrives(pty, port));
    EXPECT_NE(port.LatencyAdvice().find("16 ms"), std::string::npos) << port.LatencyAdvice();
    EXPECT_NE(port.LatencyAdvice().find("latency_timer"), std::string::npos) << port.LatencyAdvice();
    EXPECT_EQ(port.HoldBackMs(), 16);  // the update listens that long for held-back bytes
    port.Close();
    EXPECT_EQ(refusing.sets.size(), 1u);  // the refused set only: nothing to put back

    // The system's own calls on a pseudo-terminal: refused, and harmless.
    bool on = false;
    EXPECT_FALSE(MakeSystemLineTuning()->GetLowLatency(pty.master, on));
    LinuxPortBackend real;
    ASSERT_TRUE(real.Open(pty.slave, error)) << error;
    EXPECT_TRUE(ByteArrives(pty, real));
    EXPECT_TRUE(real.LatencyAdvice().empty());
}

// The timer as sysfs publishes it: under the tty's device, which lies in the
// USB tree for an adapter.
TEST(LowLatency, TheAdapterTimerIsReadFromTheTtysUsbDevice)
{
    namespace fs = std::filesystem;
    const fs::path sys = fs::temp_directory_path() / ("vokta4-sysfs-" + std::to_string(::getpid()));
    fs::remove_all(sys);
    auto tty = [&](const std::string& name, const std::string& device, const char* timer) {
        fs::create_directories(sys / "class/tty" / name);
        if (device.empty())
            return;
        fs::create_directories(sys / device);
        fs::create_directory_symlink(sys / device, sys / "class/tty" / name / "device");
        if (timer)
            std::ofstream(sys / device / "latency_timer") << timer;
    };
    tty("ttyUSB0", "devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0", "16\n");
    tty("ttyUSB1", "devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB1", nullptr);
    tty("ttyS0", "devices/pnp0/00:04", nullptr);
    tty("console", "", nullptr);

    const AdapterLatency ftdi = ReadAdapterLatencyIn(sys.string(), "ttyUSB0");
    EXPECT_EQ(ftdi.kind, AdapterLatency::Kind::Known);
    EXPECT_EQ(ftdi.ms, 16);
    EXPECT_EQ(ReadAdapterLatencyIn(sys.string(), "/dev/ttyUSB1").kind, AdapterLatency::Kind::Unknown);
    EXPECT_EQ(ReadAdapterLatencyIn(sys.string(), "ttyS0").kind, AdapterLatency::Kind::NotUsb);
    EXPECT_EQ(ReadAdapterLatencyIn(sys.string(), "console").kind, AdapterLatency::Kind::NotUsb);
    EXPECT_EQ(ReadAdapterLatencyIn(sys.string(), "ttyXYZ").kind, AdapterLatency::Kind::Unknown);
    Pty pty;
    EXPECT_EQ(ReadAdapterLatencyIn(sys.string(), pty.slave).kind, AdapterLatency::Kind::NotUsb);
    fs::remove_all(sys);
}
