// The Windows port backend on a real COM port (under wine, the simulated
// radio's pseudo-terminal mapped as COM1): writes never wait for the
// reader, an idle reader costs no CPU, Close is prompt, and a probed port
// keeps its settings.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <thread>

#include "serial/receive_sink.h"
#include "serial/serial_channel.h"
#include "serial/win32_port_backend.h"

namespace {

using Clock = std::chrono::steady_clock;
const char* const kPort = "COM1";

double ProcessCpuSeconds()
{
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

struct NullSink : ReceiveSink {
    void OnReceive(const unsigned char*, unsigned) override {}
};

}  // namespace

TEST(Win32Port, AWriteDoesNotWaitForTheReadersWait)
{
    Win32PortBackend port;
    std::string error;
    ASSERT_TRUE(port.Open(kPort, error)) << error;
    std::atomic<bool> waiting{false};
    std::thread reader([&] {
        waiting = true;
        port.WaitReadable(std::chrono::milliseconds(3000));  // nothing arrives: a long wait
    });
    while (!waiting)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the wait is pending now
    const std::uint8_t command[8] = {0x28, 0x00, 0x80, 0xFF, 0x00, 0x00, 0x02, 0x01};
    const auto start = Clock::now();
    EXPECT_EQ(port.Write(command, sizeof command), 8);
    const auto took = Clock::now() - start;
    // 8 bytes take 4 ms on the line; a write serialised behind the wait
    // would take the wait's 3 s.
    EXPECT_LT(took, std::chrono::milliseconds(500)) << std::chrono::duration<double>(took).count() << " s";
    std::printf("write of 8 bytes beside a pending wait: %.1f ms\n", std::chrono::duration<double>(took).count() * 1e3);
    port.CancelWait();
    reader.join();
    port.Close();
}

TEST(Win32Port, AnIdleReaderCostsNoCpuAndCloseIsPrompt)
{
    NullSink sink;
    SerialChannel channel(&sink, [] { return std::make_unique<Win32PortBackend>(); });
    ASSERT_TRUE(channel.Open(kPort)) << channel.LastOpenError();
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double share = (ProcessCpuSeconds() - cpu0) / wall;
    EXPECT_LT(share, 0.01) << share * 100 << " % of one core over " << wall << " s idle";
    std::printf("idle reader: %.3f %% of one core over %.1f s\n", share * 100, wall);

    const auto start = Clock::now();
    channel.Close();
    const auto took = Clock::now() - start;
    // It takes a few ms; a Close that waited for the reader's pending read
    // would wait for ever (or the 4 s limit). A busy virtual machine stops a
    // processor for 100 ms at times, so the bound leaves room for that.
    EXPECT_LT(took, std::chrono::milliseconds(500)) << std::chrono::duration<double>(took).count() << " s";
    std::printf("Close: %.1f ms\n", std::chrono::duration<double>(took).count() * 1e3);
}

TEST(Win32Port, AProbedPortKeepsItsSettings)
{
    HANDLE h = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB before{};
    before.DCBlength = sizeof before;
    ASSERT_TRUE(GetCommState(h, &before));
    before.BaudRate = 9600;
    before.ByteSize = 7;
    before.Parity = EVENPARITY;
    before.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(h, &before));
    ASSERT_TRUE(GetCommState(h, &before));
    CloseHandle(h);

    Win32PortBackend port;
    std::string error;
    ASSERT_TRUE(port.Open(kPort, error)) << error;
    port.Close();

    h = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB after{};
    after.DCBlength = sizeof after;
    ASSERT_TRUE(GetCommState(h, &after));
    CloseHandle(h);
    EXPECT_EQ(after.BaudRate, before.BaudRate);
    EXPECT_EQ(after.ByteSize, before.ByteSize);
    EXPECT_EQ(after.Parity, before.Parity);
    EXPECT_EQ(after.StopBits, before.StopBits);
}
