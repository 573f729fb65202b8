#include <windows.h>
#include <shellapi.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cctype>
#include <cstdio>
#include <mutex>

#include "frontends/cli/console_platform.h"
#include "platform/win32_text.h"

bool StdoutIsTerminal()
{
    return _isatty(_fileno(stdout)) != 0;
}

bool TerminalRedraws()
{
    // The console moves the cursor on escape sequences only when asked to.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!StdoutIsTerminal() || !GetConsoleMode(out, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int TerminalColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool InputIsTerminal(int fd)
{
    return _isatty(fd) != 0;
}

bool StdoutAndStderrShareTarget()
{
    BY_HANDLE_FILE_INFORMATION out{}, err{};
    HANDLE o = GetStdHandle(STD_OUTPUT_HANDLE), e = GetStdHandle(STD_ERROR_HANDLE);
    if (_isatty(_fileno(stdout)) && _isatty(_fileno(stderr)))
        return true;  // one console
    if (!GetFileInformationByHandle(o, &out) || !GetFileInformationByHandle(e, &err))
        return false;
    return out.dwVolumeSerialNumber == err.dwVolumeSerialNumber && out.nFileIndexHigh == err.nFileIndexHigh &&
           out.nFileIndexLow == err.nFileIndexLow;
}

std::vector<std::string> Utf8Arguments(int, char**)
{
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return args;
}

// Port names are the device namespace's, in any case: "com3" and
// "\\.\COM3" name one port.
std::string PortFullName(const std::string& port)
{
    std::string name = port.rfind("\\\\.\\", 0) == 0 ? port.substr(4) : port;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return "\\\\.\\" + name;
}

// cmd.exe: double quotes; a file name cannot contain one.
// As the C runtime splits a command line: backslashes are plain except
// before a quote, where each is doubled and the quote escaped; those before
// the closing quote double too, so that "C:\\dir\\" stays one argument.
std::string QuoteArgument(const std::string& text)
{
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

struct PromptInput::Impl {
    HANDLE input;
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    std::condition_variable idle;
    HANDLE reader = nullptr;  // the thread in ReadFile, if any
};

PromptInput::PromptInput(int fd) : m_impl(std::make_unique<Impl>())
{
    m_impl->input = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

PromptInput::~PromptInput() = default;

bool PromptInput::ReadChar(char& c)
{
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        // Without its own handle the read could not be cancelled: the input
        // is taken as ended rather than holding the program at its end.
        if (m_impl->cancelled)
            return false;
        if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &m_impl->reader, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            m_impl->reader = nullptr;
            return false;
        }
    }
    DWORD n = 0;
    const bool read = ReadFile(m_impl->input, &c, 1, &n, nullptr) && n == 1;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        CloseHandle(m_impl->reader);
        m_impl->reader = nullptr;
    }
    m_impl->idle.notify_all();
    return read && !m_impl->cancelled;
}

void PromptInput::Cancel()
{
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    m_impl->cancelled = true;
    // A cancel reaches only a read already begun: one asked for just before
    // the reader entered ReadFile is asked again until the reader has left.
    while (m_impl->reader) {
        CancelSynchronousIo(m_impl->reader);
        m_impl->idle.wait_for(lock, std::chrono::milliseconds(20));
    }
}

struct KeyByKey::Impl {
    HANDLE input = nullptr;
    DWORD saved = 0;
    bool changed = false;
};

KeyByKey::KeyByKey(int fd) : m_impl(std::make_unique<Impl>())
{
    m_impl->input = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (!GetConsoleMode(m_impl->input, &m_impl->saved))
        return;
    m_impl->changed = SetConsoleMode(m_impl->input, m_impl->saved & ~DWORD(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) != 0;
}

KeyByKey::~KeyByKey()
{
    if (m_impl->changed)
        SetConsoleMode(m_impl->input, m_impl->saved);
}

// Console control events arrive on a thread of the system's. For a closing
// console, log-off or shut-down Windows ends the process when the handler
// returns (or a few seconds later): the handler holds it until the update's
// tear-down has run, as long as Windows allows.
struct InterruptSource::Impl {
    static std::function<void(StopRequest)> handler;
    static HANDLE finished;  // manual-reset event: the tear-down is done

    static BOOL WINAPI OnControl(DWORD type)
    {
        switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            handler(StopRequest::Interrupt);
            return TRUE;
        case CTRL_CLOSE_EVENT:
            handler(StopRequest::HangUp);
            break;
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            handler(StopRequest::Terminate);
            break;
        default:
            return FALSE;
        }
        WaitForSingleObject(finished, 4500);  // Windows allows about five seconds
        return TRUE;
    }
};

std::function<void(StopRequest)> InterruptSource::Impl::handler;
HANDLE InterruptSource::Impl::finished = nullptr;

InterruptSource::InterruptSource(std::function<void(StopRequest)> onStop) : m_impl(std::make_unique<Impl>())
{
    Impl::handler = std::move(onStop);
    Impl::finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(&Impl::OnControl, TRUE);
}

InterruptSource::~InterruptSource()
{
    Finished();
    SetConsoleCtrlHandler(&Impl::OnControl, FALSE);
}

void InterruptSource::Finished()
{
    if (Impl::finished)
        SetEvent(Impl::finished);
}
