#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <cstdint>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "frontends/cli/console_platform.h"

bool StdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) != 0;
}

bool TerminalRedraws()
{
    return StdoutIsTerminal();
}

int TerminalColumns()
{
    winsize size{};
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

bool InputIsTerminal(int fd)
{
    return ::isatty(fd) != 0;
}

bool StdoutAndStderrShareTarget()
{
    struct stat out {}, err {};
    if (::fstat(STDOUT_FILENO, &out) != 0 || ::fstat(STDERR_FILENO, &err) != 0)
        return true;
    return out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

std::string PortFullName(const std::string& port)
{
    if (port.find('/') == std::string::npos)
        return "/dev/" + port;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(port, ec);
    return ec ? port : full.lexically_normal().string();
}

std::string QuoteArgument(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct PromptInput::Impl {
    int fd;
    int cancelFd;
};

PromptInput::PromptInput(int fd) : m_impl(std::make_unique<Impl>())
{
    m_impl->fd = fd;
    m_impl->cancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

PromptInput::~PromptInput()
{
    ::close(m_impl->cancelFd);
}

bool PromptInput::ReadChar(char& c)
{
    for (;;) {
        pollfd fds[2] = {{m_impl->fd, POLLIN, 0}, {m_impl->cancelFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (fds[1].revents)
            return false;
        return ::read(m_impl->fd, &c, 1) == 1;
    }
}

void PromptInput::Cancel()
{
    std::uint64_t one = 1;
    (void)!::write(m_impl->cancelFd, &one, sizeof one);
}

struct KeyByKey::Impl {
    int fd = -1;
    termios saved{};
    bool changed = false;
};

KeyByKey::KeyByKey(int fd) : m_impl(std::make_unique<Impl>())
{
    m_impl->fd = fd;
    if (!::isatty(fd) || ::tcgetattr(fd, &m_impl->saved) != 0)
        return;
    termios keys = m_impl->saved;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    m_impl->changed = ::tcsetattr(fd, TCSANOW, &keys) == 0;
}

KeyByKey::~KeyByKey()
{
    if (m_impl->changed)
        ::tcsetattr(m_impl->fd, TCSANOW, &m_impl->saved);
}

// Signals are taken by sigwait on a thread of their own (so the handler may
// take locks), not by whichever thread they hit.
struct InterruptSource::Impl {
    sigset_t set{};
    std::thread thread;
    std::atomic<bool> finishing{false};  // the SIGUSR1 that ends the thread is ours
};

// Every signal whose default would end the program ends the update as
// SIGTERM does: what the radio's state allows, and the restore command
// printed. Synchronous faults (SIGSEGV, ...) are not requests.
InterruptSource::InterruptSource(std::function<void(StopRequest)> onStop) : m_impl(std::make_unique<Impl>())
{
    ::signal(SIGPIPE, SIG_IGN);  // a closed pipe makes writes fail instead
    sigemptyset(&m_impl->set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
                    SIGXFSZ, SIGIO})
        sigaddset(&m_impl->set, sig);
#ifdef SIGPWR
    sigaddset(&m_impl->set, SIGPWR);
#endif
    pthread_sigmask(SIG_BLOCK, &m_impl->set, nullptr);
    m_impl->thread = std::thread([impl = m_impl.get(), onStop] {
        for (;;) {
            int sig = 0;
            if (sigwait(&impl->set, &sig) != 0 || (sig == SIGUSR1 && impl->finishing.load()))
                return;
            onStop(sig == SIGINT ? StopRequest::Interrupt
                                 : sig == SIGHUP ? StopRequest::HangUp : StopRequest::Terminate);
        }
    });
}

InterruptSource::~InterruptSource()
{
    m_impl->finishing = true;
    pthread_kill(m_impl->thread.native_handle(), SIGUSR1);
    m_impl->thread.join();
}

void InterruptSource::Finished() {}
