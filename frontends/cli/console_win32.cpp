#include <windows.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "frontends/cli/console_platform.h"

bool StdoutIsTerminal()
{
    return _isatty(_fileno(stdout)) != 0;
}

bool InputIsTerminal(int fd)
{
    return _isatty(fd) != 0;
}

struct PromptInput::Impl {
    HANDLE input;
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    HANDLE reader = nullptr;  // the thread blocked in ReadFile, if any
};

PromptInput::PromptInput(int fd) : m_impl(std::make_unique<Impl>())
{
    m_impl->input = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

PromptInput::~PromptInput() = default;

bool PromptInput::ReadLine(std::string& line)
{
    line.clear();
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &m_impl->reader, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    }
    bool ok = false;
    for (;;) {
        char c;
        DWORD n = 0;
        if (m_impl->cancelled || !ReadFile(m_impl->input, &c, 1, &n, nullptr) || n == 0)
            break;
        if (c == '\n') {
            ok = true;
            break;
        }
        line += c;
    }
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    CloseHandle(m_impl->reader);
    m_impl->reader = nullptr;
    return ok && !m_impl->cancelled;
}

void PromptInput::Cancel()
{
    m_impl->cancelled = true;
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (m_impl->reader)
        CancelSynchronousIo(m_impl->reader);
}

// Console control events arrive on a thread of the system's.
struct InterruptSource::Impl {
    static std::function<void()> handler;
    static std::atomic<int> count;
    static BOOL WINAPI OnControl(DWORD type)
    {
        if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
            return FALSE;
        if (count++ > 0)
            ExitProcess(130);
        handler();
        return TRUE;
    }
};

std::function<void()> InterruptSource::Impl::handler;
std::atomic<int> InterruptSource::Impl::count{0};

InterruptSource::InterruptSource(std::function<void()> onInterrupt) : m_impl(std::make_unique<Impl>())
{
    Impl::handler = std::move(onInterrupt);
    SetConsoleCtrlHandler(&Impl::OnControl, TRUE);
}

InterruptSource::~InterruptSource()
{
    SetConsoleCtrlHandler(&Impl::OnControl, FALSE);
}
