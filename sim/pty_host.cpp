#include "sim/pty_host.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

PtyHost::PtyHost(RadioModel& model) : m_model(model) {}

PtyHost::~PtyHost()
{
    Stop();
}

bool PtyHost::Start(std::string& error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        error = std::string("pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(m_master);
    if (!name) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    m_slavePath = name;
    m_slaveKeep = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveKeep < 0) {
        error = m_slavePath + ": " + std::strerror(errno);
        return false;
    }
    // A raw line both ways: no echo, no translation of CR, LF or control bytes.
    termios tio{};
    ::tcgetattr(m_slaveKeep, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    ::tcsetattr(m_slaveKeep, TCSANOW, &tio);
    m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_link = std::make_unique<SimLink>(
        m_model, [this](const std::uint8_t* d, std::size_t n) { Deliver(d, n); }, [this] { HangUp(); });
    m_reader = std::thread(&PtyHost::ReadLoop, this);
    ::pthread_setname_np(m_reader.native_handle(), "sim-reader");
    return true;
}

void PtyHost::Stop()
{
    if (m_reader.joinable()) {
        std::uint64_t one = 1;
        (void)!::write(m_stopFd, &one, sizeof one);
        m_reader.join();
    }
    m_link.reset();
    for (int* fd : {&m_master, &m_slaveKeep, &m_stopFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void PtyHost::ReadLoop()
{
    using Clock = RadioModel::Clock;
    // A frame is abandoned after a pause the radio heard, so the reader
    // counts only time it spent listening. Bytes already waiting came while
    // it was busy or not running: no quiet at all. (A reader held through a
    // whole time-out takes the tool's retry as the rest of what it was
    // receiving; the retry then goes unanswered, which the tool reports,
    // where taking data for commands could program what was never sent.)
    // It listens in short slices: a slice that overran by far was the
    // machine holding every thread, the tool's too (a virtual machine stops
    // for most of a second at times), and counts for no more than a slice
    // and a little. Once it has heard a pause that abandons a frame, it
    // waits without slices.
    constexpr auto kSlice = std::chrono::milliseconds(20);
    constexpr auto kMostPerSlice = 2 * kSlice;
    const auto abandonAfter = m_model.AbandonAfter();
    std::uint8_t buf[1024];
    for (;;) {
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        Clock::duration heard{};
        int ready = ::poll(fds, 2, 0);
        while (ready == 0 || (ready < 0 && errno == EINTR)) {
            const auto before = Clock::now();
            ready = ::poll(fds, 2, heard <= abandonAfter ? static_cast<int>(kSlice.count()) : -1);
            heard += std::min<Clock::duration>(Clock::now() - before, kMostPerSlice);
        }
        if (ready < 0)
            return;
        if (fds[1].revents)
            return;
        if (m_hungUp)
            return;
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0)
            m_link->FromTool(buf, static_cast<std::size_t>(n), Clock::now() - heard);
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            return;
    }
}

void PtyHost::Deliver(const std::uint8_t* data, std::size_t length)
{
    std::size_t done = 0;
    while (!m_hungUp && done < length) {
        const ssize_t n = ::write(m_master, data + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void PtyHost::HangUp()
{
    // Dropping every handle on the master side hangs the line up for the
    // tool, as a USB adapter pulled out does. The reader ends on its own.
    // Runs on the link's thread, which is also the only writer of the master.
    m_hungUp = true;
    std::uint64_t one = 1;
    (void)!::write(m_stopFd, &one, sizeof one);
    if (m_reader.joinable())
        m_reader.join();
    ::close(m_slaveKeep);
    m_slaveKeep = -1;
    ::close(m_master);
    m_master = -1;
}
