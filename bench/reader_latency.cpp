// How fast a reply reaches the dialog, and what the command wait costs.
//   (a) latency from a byte written on a pseudo-terminal's far end to the
//       hand-over (OnReceive), for the channel's poll()-based reader and for
//       a reader that sleeps 10 ms whenever nothing is waiting;
//   (b) CPU time of the UI thread over a 5 s wait for a reply that never
//       comes, for the dialog's sleeping wait and for a wait that spins.
// Figures are ratios measured side by side in one run.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/silent_view.h"
#include "update/message_queue.h"
#include "platform/native_host.h"
#include "dialog/updater_dialog.h"
#include "update/update_steps.h"
#include "serial/linux_port_backend.h"
#include "serial/receive_sink.h"
#include "serial/serial_channel.h"
#include "tests/unit/pty.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Stats {
    double median, p99;
};

Stats Summarise(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[v.size() * 99 / 100]};
}

// Writes one byte at a time with irregular gaps; `received` returns when the
// reader handed it over.
template <typename Received>
std::vector<double> Measure(int master, int samples, Received received)
{
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(3000 + (i * 7919) % 9000));
        const std::uint8_t b = static_cast<std::uint8_t>(i);
        const auto sent = Clock::now();
        (void)!::write(master, &b, 1);
        const auto got = received(i);
        ms.push_back(std::chrono::duration<double, std::milli>(got - sent).count());
    }
    return ms;
}

class TimestampSink : public ReceiveSink {
public:
    std::atomic<int> count{0};
    std::atomic<Clock::rep> last{0};
    void OnReceive(const unsigned char*, unsigned n) override
    {
        last = Clock::now().time_since_epoch().count();
        count += static_cast<int>(n);
    }
};

std::vector<double> PollReader(Pty& pty, int samples)
{
    TimestampSink sink;
    SerialChannel channel(&sink, [] { return std::make_unique<LinuxPortBackend>(); });
    channel.Open(pty.slave);
    auto v = Measure(pty.master, samples, [&](int i) {
        while (sink.count <= i)
            std::this_thread::yield();
        return Clock::time_point(Clock::duration(sink.last.load()));
    });
    channel.Close();
    return v;
}

// The 10 ms sleep-poll reader: ask how many bytes wait; none: sleep 10 ms.
std::vector<double> SleepPollReader(Pty& pty, int samples)
{
    const int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    std::atomic<bool> run{true};
    std::atomic<int> count{0};
    std::atomic<Clock::rep> last{0};
    std::thread reader([&] {
        std::uint8_t buf[530];
        while (run) {
            int waiting = 0;
            ::ioctl(fd, FIONREAD, &waiting);
            if (waiting == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            const ssize_t n = ::read(fd, buf, std::min(waiting, 529));
            if (n > 0) {
                last = Clock::now().time_since_epoch().count();
                count += static_cast<int>(n);
            }
        }
    });
    auto v = Measure(pty.master, samples, [&](int i) {
        while (count <= i)
            std::this_thread::yield();
        return Clock::time_point(Clock::duration(last.load()));
    });
    run = false;
    reader.join();
    ::close(fd);
    return v;
}

// A window that shows nothing, with a queue that runs timer 1: enough for
// the dialog's command wait.
struct BenchView : SilentView {
    UpdaterDialog* dialog = nullptr;
    MessageQueue queue{[this] { dialog->OnTimer(); }};
};

double ThreadCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU share of the UI thread while QueryDataProtect waits 5 s in vain.
double SleepingWaitCpuShare(Pty& pty)
{
    NativeHost host;
    BenchView view;
    Timing timing;
    timing.protectTimeout = std::chrono::milliseconds(5000);
    UpdaterDialog dialog(view, view.queue, host, timing);
    view.dialog = &dialog;
    dialog.Serial().Open(pty.slave);
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = Clock::now();
    // No radio answers on this line: the wait lasts until timer 1 expires.
    const bool answered = QueryDataProtect(dialog.Job().Context());
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = ThreadCpuSeconds() - cpu0;
    dialog.Serial().Close();
    return answered ? -1 : cpu / wall;
}

// A wait that polls its flags without sleeping, for 5 s.
double SpinningWaitCpuShare()
{
    std::atomic<bool> done{false};
    MessageQueue queue([] {});
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = Clock::now();
    const auto end = t0 + std::chrono::seconds(5);
    while (!done && Clock::now() < end)
        queue.DispatchPending();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    return (ThreadCpuSeconds() - cpu0) / wall;
}

}  // namespace

int main()
{
    const int samples = 300;
    Pty pty;
    const Stats poll = Summarise(PollReader(pty, samples));
    const Stats sleep = Summarise(SleepPollReader(pty, samples));
    std::printf("reply latency, byte on the line to hand-over (%d samples each):\n", samples);
    std::printf("  poll() reader:        median %.3f ms, p99 %.3f ms\n", poll.median, poll.p99);
    std::printf("  10 ms sleep-poll:     median %.3f ms, p99 %.3f ms\n", sleep.median, sleep.p99);
    std::printf("  ratio (poll / sleep): median %.3f, p99 %.3f\n", poll.median / sleep.median, poll.p99 / sleep.p99);

    const double sleeping = SleepingWaitCpuShare(pty);
    const double spinning = SpinningWaitCpuShare();
    std::printf("UI thread CPU over a 5 s wait for a reply:\n");
    std::printf("  sleeping wait: %.3f %% of wall time\n", sleeping * 100);
    std::printf("  spinning wait: %.1f %% of wall time\n", spinning * 100);
    std::printf("  ratio (sleeping / spinning): %.5f\n", sleeping / spinning);
    return 0;
}
