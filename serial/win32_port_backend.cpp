#include "serial/win32_port_backend.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <string>
#include <thread>

#include "serial/adapter_latency.h"
#include "serial/win32_port_impl.h"
#include "serial/win32_text.h"

namespace {

std::string LastErrorText(const std::string& what)
{
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION)
        return what + ": port busy (in use by another program)";
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                   sizeof text / sizeof text[0], nullptr);
    std::string s = what + ": " + WideToUtf8(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

// 19200 baud, 8N1, DTR and RTS raised, no flow control of any kind. Beyond
// the line itself: no DSR output flow control and no DSR sensitivity (a
// cable that does not drive DSR would stall every write or drop every byte),
// no null stripping (0x00 is data here), no abort on error (one framing
// error, such as a radio being switched on, would fail every later read and
// write until cleared).
void ConfigureLine(DCB& dcb)
{
    dcb.DCBlength = sizeof(DCB);
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
    dcb.fOutxDsrFlow = 0;
    dcb.fDsrSensitivity = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = 0;
}

// A read returns at once with what is waiting and, when nothing is, at the
// first byte that arrives (a pending read is how the reader waits); a write
// has a time-out of its own as a last resort behind the bounded wait in Write.
COMMTIMEOUTS OurTimeouts()
{
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutConstant = MAXDWORD - 1;
    t.WriteTotalTimeoutMultiplier = 1;
    t.WriteTotalTimeoutConstant = 1000;
    return t;
}

}  // namespace

Win32PortBackend::Win32PortBackend() : m_impl(std::make_unique<Impl>()) {}

Win32PortBackend::~Win32PortBackend()
{
    Close();
}

bool Win32PortBackend::Open(const std::string& name, std::string& error)
{
    Close();
    const std::string path = name.compare(0, 4, "\\\\.\\") == 0 ? name : "\\\\.\\" + name;
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastErrorText(name);
        return false;
    }
    Impl& d = *m_impl;
    d.savedDcb.DCBlength = sizeof(DCB);
    if (!GetCommState(h, &d.savedDcb) || !GetCommTimeouts(h, &d.savedTimeouts)) {
        error = LastErrorText(name + " (not a serial port?)");
        CloseHandle(h);
        return false;
    }
    DCB dcb = d.savedDcb;
    ConfigureLine(dcb);
    COMMTIMEOUTS timeouts = OurTimeouts();
    if (!SetCommState(h, &dcb) || !SetCommTimeouts(h, &timeouts)) {
        error = LastErrorText(name + " (line settings)");
        SetCommState(h, &d.savedDcb);
        SetCommTimeouts(h, &d.savedTimeouts);
        CloseHandle(h);
        return false;
    }
    d.port = h;
    const AdapterLatency latency = ReadAdapterLatency(name);
    d.latencyAdvice = LatencyAdviceText(name, latency);
    d.holdBackMs = latency.kind == AdapterLatency::Kind::Known ? latency.ms : 0;
    d.emptyReads = d.eventPending = d.eventsArmed = d.eventsRefused = false;
    // While a port is open the program times its pauses and waits to the
    // millisecond, not to the system's default tick of about 15.6 ms.
    timeBeginPeriod(1);
    d.CheckLine();  // errors from before the open are not this update's
    d.framing = d.overrun = d.parity = d.breaks = 0;
    d.heldFrom = d.heldTo = 0;
    ResetEvent(d.stop);
    return true;
}

void Win32PortBackend::Close()
{
    Impl& d = *m_impl;
    if (d.port == INVALID_HANDLE_VALUE)
        return;
    d.DrainOutput();
    // The reader's pending read and event wait are cancelled, and their
    // completion awaited: the driver writes their OVERLAPPED and buffer
    // until then. A driver gets about two seconds for it.
    CancelIoEx(d.port, nullptr);
    const ULONGLONG deadline = GetTickCount64() + 2000;
    const bool readSettled = d.AwaitCancelled(d.waitOv, d.waitPending, deadline);
    const bool eventSettled = d.AwaitCancelled(d.eventOv, d.eventPending, deadline);
    SetCommState(d.port, &d.savedDcb);
    SetCommTimeouts(d.port, &d.savedTimeouts);
    CloseHandle(d.port);
    d.port = INVALID_HANDLE_VALUE;
    timeEndPeriod(1);
    if (!readSettled || !eventSettled) {
        // The driver may still write into them: they are left allocated for
        // good rather than freed under it, and the backend goes on with new ones.
        (void)m_impl.release();
        m_impl = std::make_unique<Impl>();
    }
}

long Win32PortBackend::Write(const std::uint8_t* data, std::size_t length)
{
    Impl& d = *m_impl;
    DWORD written = 0;  // WriteFile resets the event itself
    if (WriteFile(d.port, data, static_cast<DWORD>(length), &written, &d.writeOv))
        return static_cast<long>(written);
    if (GetLastError() != ERROR_IO_PENDING)
        return 0;
    // The bytes' own time on the line and a margin: a write never waits for
    // the reader, and never for good.
    if (WaitForSingleObject(d.writeOv.hEvent, LineMs(length) + 500) != WAIT_OBJECT_0)
        CancelIoEx(d.port, &d.writeOv);
    if (!GetOverlappedResult(d.port, &d.writeOv, &written, TRUE))
        d.CheckLine();
    return static_cast<long>(written);
}

// Input is handed on only from what the waiting read took (see TakeRest);
// bytes the driver holds beyond that complete the next wait at once.
std::size_t Win32PortBackend::BytesWaiting()
{
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> lock(d.inputMutex);
    return d.heldTo - d.heldFrom;
}

long Win32PortBackend::Read(std::uint8_t* buffer, std::size_t length)
{
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> lock(d.inputMutex);
    // Nothing held: a purge came between the wait and this read.
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(d.heldTo - d.heldFrom, length));
    std::copy_n(d.held.data() + d.heldFrom, n, buffer);
    d.heldFrom += n;
    return static_cast<long>(n);
}

PortBackend::WaitResult Win32PortBackend::WaitReadable(std::chrono::milliseconds timeout)
{
    Impl& d = *m_impl;
    if (d.emptyReads)
        return d.WaitForEvent(timeout);
    if (!d.waitPending) {
        // Issued under the lock, so that a purge either comes before it
        // (and the bytes it brings are new) or finds it pending.
        std::lock_guard<std::mutex> lock(d.inputMutex);
        if (d.heldTo > d.heldFrom)
            return WaitResult::Readable;
        d.heldFrom = d.heldTo = 0;
        d.dropCompletion = false;
        DWORD n = 0;
        if (ReadFile(d.port, d.held.data(), 1, &n, &d.waitOv)) {
            d.emptyReads = n == 0;  // from now on the reader waits for events
            return n == 0 ? WaitResult::TimedOut : d.TakeRest() ? WaitResult::Readable : WaitResult::HungUp;
        }
        if (GetLastError() != ERROR_IO_PENDING)
            return WaitResult::HungUp;  // the device has gone
        d.waitPending = true;
    }
    HANDLE events[2] = {d.waitOv.hEvent, d.stop};
    const DWORD r = WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(timeout.count()));
    if (r != WAIT_OBJECT_0)
        return WaitResult::TimedOut;  // stopped, or nothing yet: the read stays pending
    std::lock_guard<std::mutex> lock(d.inputMutex);
    d.waitPending = false;
    DWORD n = 0;
    if (!GetOverlappedResult(d.port, &d.waitOv, &n, FALSE))
        return GetLastError() == ERROR_OPERATION_ABORTED ? WaitResult::TimedOut : WaitResult::HungUp;
    // A byte that came before a purge belongs to nothing.
    if (d.dropCompletion)
        return WaitResult::TimedOut;
    if (n == 0) {
        d.emptyReads = true;  // completed with nothing: from now on the reader waits for events
        return WaitResult::TimedOut;
    }
    return d.TakeRest() ? WaitResult::Readable : WaitResult::HungUp;
}

void Win32PortBackend::CancelWait()
{
    SetEvent(m_impl->stop);
}

std::size_t Win32PortBackend::PurgeInput()
{
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> lock(d.inputMutex);
    const long inDriver = d.CheckLine();
    std::size_t dropped = (inDriver > 0 ? static_cast<std::size_t>(inDriver) : 0) + (d.heldTo - d.heldFrom);
    PurgeComm(d.port, PURGE_RXCLEAR);
    // Looked at after the purge: a waiting read complete by now took its
    // byte before the purge (or at its very moment), and the byte is
    // dropped. One still pending can only complete with a byte from after
    // it, which belongs to the next exchange (as on a line purged by the
    // driver). Not cancelling it keeps a purge cheap.
    if (d.waitPending && HasOverlappedIoCompleted(&d.waitOv)) {
        d.dropCompletion = true;
        dropped += static_cast<std::size_t>(d.waitOv.InternalHigh);  // the bytes it took (an empty read: none)
    }
    d.heldFrom = d.heldTo = 0;
    return dropped;
}

std::size_t Win32PortBackend::BytesUnsent()
{
    DWORD unsent = 0;
    return m_impl->CheckLine(&unsent) < 0 ? 0 : static_cast<std::size_t>(unsent);
}

std::string Win32PortBackend::LatencyAdvice() const
{
    return m_impl->latencyAdvice;
}

std::string Win32PortBackend::TakeLineErrors()
{
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> lock(d.errorMutex);
    std::string text;
    auto add = [&text](unsigned n, const char* what) {
        if (n)
            text += (text.empty() ? "" : ", ") + std::string(what) + " " + std::to_string(n) + "x";
    };
    add(d.framing, "framing error");
    add(d.overrun, "overrun");
    add(d.parity, "parity error");
    add(d.breaks, "break");
    d.framing = d.overrun = d.parity = d.breaks = 0;
    return text;
}

int Win32PortBackend::HoldBackMs() const
{
    return m_impl->holdBackMs;
}
