#include "serial/linux_port_backend.h"

#include <cerrno>
#include <chrono>
#include <thread>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

std::string ErrnoText(const char* what, int err)
{
    return std::string(what) + ": " + std::strerror(err);
}

// Why a device cannot be opened, with the fix where there is one.
std::string OpenErrorText(const std::string& path, int err)
{
    if (err == EACCES || err == EPERM) {
        struct stat st {};
        const struct group* g = ::stat(path.c_str(), &st) == 0 ? ::getgrgid(st.st_gid) : nullptr;
        if (g && st.st_gid != 0 && (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP)) {
            const std::string owner = g->gr_name;
            return path + ": permission denied; fix: add your user to the group '" + owner +
                   "' that owns it (sudo usermod -aG " + owner + " $USER), then log in again";
        }
        return path + ": permission denied, and no group of users may use it; fix: a udev rule that gives the "
                      "device to a group such as dialout (SUBSYSTEM==\"tty\", GROUP=\"dialout\", MODE=\"0660\"), "
                      "or run as the device's owner";
    }
    if (err == EBUSY)
        return path + ": port busy (in use by another program)";
    return ErrnoText(path.c_str(), err);
}

}  // namespace

LinuxPortBackend::LinuxPortBackend(std::unique_ptr<LineTuning> tuning) : m_tuning(std::move(tuning)) {}

LinuxPortBackend::~LinuxPortBackend()
{
    Close();
}

std::string LinuxPortBackend::DevicePath(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    return "/dev/" + name;
}

bool LinuxPortBackend::Open(const std::string& name, std::string& error)
{
    Close();
    const std::string path = DevicePath(name);
    // O_NONBLOCK keeps open from waiting for carrier, and stays: the reader
    // must never sit in a read() that a purge has emptied under it.
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = OpenErrorText(path, errno);
        return false;
    }
    auto fail = [&](const char* what) {
        error = ErrnoText(what, errno);
        ::close(fd);
        return false;
    };
    if (!::isatty(fd)) {
        error = path + ": not a serial port";
        ::close(fd);
        return false;
    }
    // Exclusive use: TIOCEXCL stops other opens (except root's); the flock
    // stops other instances of this tool, root included.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = path + ": port busy (in use by another program)";
        ::close(fd);
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail("TIOCEXCL");
    termios saved{};
    if (::tcgetattr(fd, &saved) != 0)
        return fail("tcgetattr");
    termios tio = saved;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B19200) != 0 || ::cfsetospeed(&tio, B19200) != 0)
        return fail("cfsetspeed");
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return fail("tcsetattr");
    // Raise DTR and RTS; a pseudo-terminal refuses this, which is harmless.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIS, &lines);
    int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        ::tcsetattr(fd, TCSANOW, &saved);
        return fail("eventfd");
    }
    m_fd = fd;
    m_wakeFd = wake;
    m_saved = saved;
    m_haveSaved = true;
    AskLowLatency(name);
    return true;
}

// A USB adapter holds a partial packet for its latency timer (16 ms by
// default), so every one-byte acknowledgement would come that much late.
// The driver's low-latency flag makes it pass bytes on at once; where the
// driver refuses it, the timer stays, and the advice says how to lower it.
void LinuxPortBackend::AskLowLatency(const std::string& name)
{
    m_restoreLowLatency = false;
    m_latencyAdvice.clear();
    m_holdBackMs = 0;
    if (!m_tuning)
        return;
    bool on = false;
    if (m_tuning->GetLowLatency(m_fd, on)) {
        if (on)
            return;
        if (m_tuning->SetLowLatency(m_fd, true)) {
            m_restoreLowLatency = true;
            return;
        }
    }
    const AdapterLatency latency = m_tuning->ReadLatency(name);
    m_latencyAdvice = LatencyAdviceText(DevicePath(name), latency);
    m_holdBackMs = latency.kind == AdapterLatency::Kind::Known ? latency.ms : 0;
}

// Waits (bounded) until the bytes written so far have left the line, so
// that restoring the line settings cannot cut the last command short.
void LinuxPortBackend::DrainOutput()
{
    // One byte takes 10 bits at 19200 baud; a line that does not drain in
    // that time and half a second more is given up on.
    auto byteTime = [](int bytes) { return std::chrono::microseconds(bytes * 10 * 1000000LL / 19200 + 1000); };
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
        return;
    const auto limit = std::chrono::steady_clock::now() + byteTime(queued) + std::chrono::milliseconds(500);
    while (queued > 0 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(byteTime(queued));
        if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0)
            return;
    }
}

void LinuxPortBackend::Close()
{
    if (m_fd >= 0) {
        DrainOutput();
        if (m_restoreLowLatency)
            (void)m_tuning->SetLowLatency(m_fd, false);
        m_restoreLowLatency = false;
        if (m_haveSaved)
            (void)::tcsetattr(m_fd, TCSANOW, &m_saved);
        (void)::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
    m_haveSaved = false;
}

long LinuxPortBackend::Write(const std::uint8_t* data, std::size_t length)
{
    // The descriptor does not block: when the driver's buffer is full, wait
    // for room, at most as long as the rest takes on the line plus a margin.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(length * 10 * 1000 / 19200 + 1000);
    std::size_t done = 0;
    while (done < length) {
        ssize_t n = ::write(m_fd, data + done, length - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - std::chrono::steady_clock::now());
        pollfd out{m_fd, POLLOUT, 0};
        if (errno != EAGAIN || left.count() <= 0 || ::poll(&out, 1, static_cast<int>(left.count())) <= 0)
            break;
    }
    return static_cast<long>(done);
}

std::size_t LinuxPortBackend::BytesWaiting()
{
    int waiting = 0;
    if (::ioctl(m_fd, FIONREAD, &waiting) != 0 || waiting < 0)
        return 0;
    return static_cast<std::size_t>(waiting);
}

long LinuxPortBackend::Read(std::uint8_t* buffer, std::size_t length)
{
    // A purge and a read exclude each other; a purge between the readiness
    // check and this read leaves nothing to read, and the read says so.
    std::lock_guard<std::mutex> lock(m_inputMutex);
    for (;;) {
        ssize_t n = ::read(m_fd, buffer, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        if (n == 0)
            return -1;  // poll said readable and nothing came: end of the line
        return static_cast<long>(n);
    }
}

PortBackend::WaitResult LinuxPortBackend::WaitReadable(std::chrono::milliseconds timeout)
{
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    int r = ::poll(fds, 2, static_cast<int>(timeout.count()));
    if (r < 0)
        return errno == EINTR ? WaitResult::TimedOut : WaitResult::HungUp;
    if (fds[1].revents & POLLIN) {
        std::uint64_t v;
        (void)!::read(m_wakeFd, &v, sizeof v);
        return WaitResult::TimedOut;
    }
    // Bytes that arrived before a hang-up are still read; after them, the
    // hang-up ends the wait for good.
    if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && BytesWaiting() == 0)
        return WaitResult::HungUp;
    if (fds[0].revents & POLLIN)
        return WaitResult::Readable;
    return WaitResult::TimedOut;
}

void LinuxPortBackend::CancelWait()
{
    if (m_wakeFd >= 0) {
        std::uint64_t one = 1;
        (void)!::write(m_wakeFd, &one, sizeof one);
    }
}

std::size_t LinuxPortBackend::PurgeInput()
{
    std::lock_guard<std::mutex> lock(m_inputMutex);
    const std::size_t waiting = BytesWaiting();
    (void)::tcflush(m_fd, TCIFLUSH);
    return waiting;
}

std::size_t LinuxPortBackend::BytesUnsent()
{
    int unsent = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &unsent) != 0 || unsent < 0)
        return 0;
    return static_cast<std::size_t>(unsent);
}
