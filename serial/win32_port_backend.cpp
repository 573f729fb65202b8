#include "serial/win32_port_backend.h"

#include <windows.h>

#include <algorithm>

namespace {

std::string LastErrorText(const std::string& what)
{
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED)
        return what + ": port busy (in use by another program)";
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    std::string s = what + ": " + text;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

HANDLE H(void* p) { return static_cast<HANDLE>(p); }

}  // namespace

Win32PortBackend::~Win32PortBackend()
{
    Close();
}

bool Win32PortBackend::Open(const std::string& name, std::string& error)
{
    Close();
    const std::string path = name.compare(0, 4, "\\\\.\\") == 0 ? name : "\\\\.\\" + name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastErrorText(name);
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        error = LastErrorText(name + " (GetCommState)");
        CloseHandle(h);
        return false;
    }
    dcb.DCBlength = 28;  // sizeof(DCB): the structure's version as the driver checks it
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.XonLim = 100;
    dcb.XoffLim = 1500;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(h, &dcb)) {
        error = LastErrorText(name + " (SetCommState)");
        CloseHandle(h);
        return false;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 10;
    SetCommTimeouts(h, &timeouts);
    m_hPort = h;
    return true;
}

void Win32PortBackend::Close()
{
    if (m_hPort) {
        CloseHandle(H(m_hPort));
        m_hPort = nullptr;
    }
}

long Win32PortBackend::Write(const std::uint8_t* data, std::size_t length)
{
    DWORD written = 0;
    WriteFile(H(m_hPort), data, static_cast<DWORD>(length), &written, nullptr);
    return static_cast<long>(written);
}

std::size_t Win32PortBackend::BytesWaiting()
{
    DWORD errors = 0;
    COMSTAT stat{};
    ClearCommError(H(m_hPort), &errors, &stat);
    std::lock_guard<std::mutex> lock(m_stashMutex);
    return stat.cbInQue + (m_haveStash ? 1 : 0);
}

long Win32PortBackend::Read(std::uint8_t* buffer, std::size_t length)
{
    if (length == 0)
        return 0;
    long n = 0;
    {
        std::lock_guard<std::mutex> lock(m_stashMutex);
        if (m_haveStash) {
            buffer[n++] = m_stash;
            m_haveStash = false;
        }
    }
    if (static_cast<std::size_t>(n) < length) {
        DWORD errors = 0;
        COMSTAT stat{};
        ClearCommError(H(m_hPort), &errors, &stat);
        const DWORD want = std::min<DWORD>(stat.cbInQue, static_cast<DWORD>(length - n));
        DWORD got = 0;
        if (want > 0 && ReadFile(H(m_hPort), buffer + n, want, &got, nullptr))
            n += static_cast<long>(got);
    }
    return n;
}

PortBackend::WaitResult Win32PortBackend::WaitReadable(std::chrono::milliseconds)
{
    {
        std::lock_guard<std::mutex> lock(m_stashMutex);
        if (m_haveStash)
            return WaitResult::Readable;
    }
    // Returns at the first byte, or after the 10 ms read time-out.
    std::uint8_t b = 0;
    DWORD got = 0;
    if (!ReadFile(H(m_hPort), &b, 1, &got, nullptr))
        return GetLastError() == ERROR_OPERATION_ABORTED ? WaitResult::TimedOut : WaitResult::HungUp;
    if (got == 0)
        return WaitResult::TimedOut;
    std::lock_guard<std::mutex> lock(m_stashMutex);
    m_stash = b;
    m_haveStash = true;
    return WaitResult::Readable;
}

void Win32PortBackend::PurgeInput()
{
    PurgeComm(H(m_hPort), PURGE_RXCLEAR);
    std::lock_guard<std::mutex> lock(m_stashMutex);
    m_haveStash = false;
}
