#pragma once
#include <windows.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "serial/win32_port_backend.h"

// 10 bits a byte at 19200 baud, in milliseconds, rounded up.
inline DWORD LineMs(std::size_t bytes)
{
    return static_cast<DWORD>((bytes * 10 * 1000 + 19199) / 19200);
}

// The open port's handle, its overlapped operations and their buffers.
// Left allocated for good when a driver never completes a cancelled read.
struct Win32PortBackend::Impl {
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE stop = nullptr;  // auto-reset: ends one WaitReadable
    // The reader waits in a one-byte read that completes at the first byte;
    // that byte and those waiting behind it are taken at once and kept here
    // until Read hands them on, so that one arrival costs one wait, one
    // status call and one read.
    OVERLAPPED waitOv{};
    std::array<std::uint8_t, 1024> held{};
    DWORD heldFrom = 0, heldTo = 0;  // held[heldFrom, heldTo) is not yet read
    bool waitPending = false;        // the waiting read is in flight
    bool dropCompletion = false;     // it completed before a purge: its bytes are stale
    // Some drivers complete the waiting read at once with nothing instead of
    // at the first byte. The reader then waits for a received-character
    // event (eventOv), or, where the driver has no events either, pauses.
    bool emptyReads = false;
    OVERLAPPED eventOv{};
    DWORD eventMask = 0;
    bool eventPending = false;  // the event wait is in flight
    bool eventsArmed = false;   // the port's event mask is set
    bool eventsRefused = false;
    std::string latencyAdvice;
    int holdBackMs = 0;  // the adapter's latency timer, where known
    OVERLAPPED readOv{};
    OVERLAPPED writeOv{};
    DCB savedDcb{};
    COMMTIMEOUTS savedTimeouts{};
    std::mutex inputMutex;  // reading, the first byte and PurgeInput exclude each other
    std::mutex errorMutex;
    unsigned framing = 0, overrun = 0, parity = 0, breaks = 0;

    Impl();
    ~Impl();
    // Clears and records the line's errors; the bytes waiting, or -1 when
    // the device is gone.
    long CheckLine(DWORD* outQueue = nullptr);
    // After the first byte has come into held[0]: clears and records the
    // line's errors (the port goes on working) and reads the bytes waiting
    // behind it, which a read then returns at once. False when the device
    // is gone.
    bool TakeRest();
    // Reads what the driver holds, up to `want` bytes; returns at once (the
    // time-outs say so).
    DWORD ReadNow(std::uint8_t* into, DWORD want);
    enum class Armed { Pending, Fired, Unavailable };
    // Starts the wait for a received-character event, unless one is in flight.
    Armed ArmEvent();
    // The reader's wait on a driver whose waiting read completes empty: the
    // event is armed before the driver is looked at, so that a byte arriving
    // after the look ends the wait.
    WaitResult WaitForEvent(std::chrono::milliseconds timeout);
    // Waits, until `deadline`, for a cancelled overlapped operation to
    // complete; false when the driver has not completed it.
    bool AwaitCancelled(OVERLAPPED& ov, bool& pending, ULONGLONG deadline);
    // Waits (bounded) until the bytes written have left the line, so that
    // restoring the settings cannot cut the last command short.
    void DrainOutput();
};
