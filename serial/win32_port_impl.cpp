// The state behind a Win32PortBackend: the line's checks, the waits and reads
// of the reader, and the bounded wait for cancelled operations at Close.
#include "serial/win32_port_impl.h"

#include <algorithm>

Win32PortBackend::Impl::Impl()
{
    stop = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    waitOv.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    eventOv.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    readOv.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    writeOv.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

Win32PortBackend::Impl::~Impl()
{
    for (HANDLE h : {stop, waitOv.hEvent, eventOv.hEvent, readOv.hEvent, writeOv.hEvent})
        CloseHandle(h);
}

long Win32PortBackend::Impl::CheckLine(DWORD* outQueue)
{
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(port, &errors, &stat))
        return -1;
    if (errors) {
        std::lock_guard<std::mutex> lock(errorMutex);
        framing += (errors & CE_FRAME) != 0;
        overrun += (errors & (CE_OVERRUN | CE_RXOVER)) != 0;
        parity += (errors & CE_RXPARITY) != 0;
        breaks += (errors & CE_BREAK) != 0;
    }
    if (outQueue)
        *outQueue = stat.cbOutQue;
    return static_cast<long>(stat.cbInQue);
}

bool Win32PortBackend::Impl::TakeRest()
{
    heldFrom = 0;
    heldTo = 1;
    const long waiting = CheckLine();
    if (waiting < 0)
        return false;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(static_cast<std::size_t>(waiting), held.size() - 1));
    if (want > 0)
        heldTo += ReadNow(held.data() + 1, want);
    return true;
}

DWORD Win32PortBackend::Impl::ReadNow(std::uint8_t* into, DWORD want)
{
    DWORD got = 0;
    if (ReadFile(port, into, want, &got, &readOv) ||
        (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(port, &readOv, &got, TRUE)))
        return got;
    return 0;
}

Win32PortBackend::Impl::Armed Win32PortBackend::Impl::ArmEvent()
{
    if (eventPending)
        return Armed::Pending;
    if (eventsRefused || (!eventsArmed && !SetCommMask(port, EV_RXCHAR))) {
        eventsRefused = true;
        return Armed::Unavailable;
    }
    eventsArmed = true;
    ResetEvent(eventOv.hEvent);
    if (WaitCommEvent(port, &eventMask, &eventOv))
        return Armed::Fired;
    if (GetLastError() != ERROR_IO_PENDING) {
        eventsRefused = true;
        return Armed::Unavailable;
    }
    eventPending = true;
    return Armed::Pending;
}

PortBackend::WaitResult Win32PortBackend::Impl::WaitForEvent(std::chrono::milliseconds timeout)
{
    for (int pass = 0; pass < 2; ++pass) {
        const Armed armed = ArmEvent();
        {
            std::lock_guard<std::mutex> lock(inputMutex);
            if (heldTo > heldFrom)
                return WaitResult::Readable;
            const long waiting = CheckLine();
            if (waiting < 0)
                return WaitResult::HungUp;
            if (waiting > 0) {
                heldFrom = 0;
                heldTo = ReadNow(held.data(), static_cast<DWORD>(std::min<std::size_t>(static_cast<std::size_t>(waiting), held.size())));
                return heldTo > 0 ? WaitResult::Readable : WaitResult::TimedOut;
            }
        }
        if (armed == Armed::Fired)
            continue;
        if (armed == Armed::Unavailable) {
            WaitForSingleObject(stop, static_cast<DWORD>(std::min<long long>(timeout.count(), 5)));
            return WaitResult::TimedOut;
        }
        HANDLE events[2] = {eventOv.hEvent, stop};
        if (WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
            return WaitResult::TimedOut;
        DWORD n = 0;
        GetOverlappedResult(port, &eventOv, &n, FALSE);
        eventPending = false;
    }
    return WaitResult::TimedOut;
}

bool Win32PortBackend::Impl::AwaitCancelled(OVERLAPPED& ov, bool& pending, ULONGLONG deadline)
{
    if (!pending)
        return true;
    const ULONGLONG now = GetTickCount64();
    if (WaitForSingleObject(ov.hEvent, static_cast<DWORD>(deadline > now ? deadline - now : 0)) != WAIT_OBJECT_0)
        return false;
    DWORD n = 0;
    GetOverlappedResult(port, &ov, &n, FALSE);
    pending = false;
    return true;
}

void Win32PortBackend::Impl::DrainOutput()
{
    DWORD queued = 0;
    if (CheckLine(&queued) < 0 || queued == 0)
        return;
    const ULONGLONG limit = GetTickCount64() + LineMs(queued) + 500;
    while (queued > 0 && GetTickCount64() < limit) {
        Sleep(LineMs(queued) + 1);
        if (CheckLine(&queued) < 0)
            return;
    }
}
