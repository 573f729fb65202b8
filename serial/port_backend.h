#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// One serial device as the platform gives it. SerialChannel owns the rules
// (reader thread, hand-over, closed-port reports); a backend only wraps the
// system calls. Read, BytesWaiting and WaitReadable run on the reader
// thread; Write may run on two threads, but never at the same time.
class PortBackend {
public:
    enum class WaitResult { Readable, TimedOut, HungUp };

    virtual ~PortBackend() = default;

    // Opens the device exclusively and sets 19200 baud, 8N1, raw, no flow
    // control, DTR and RTS raised. On failure `error` says why.
    virtual bool Open(const std::string& name, std::string& error) = 0;
    // Restores the line settings found at Open and releases the device.
    virtual void Close() = 0;
    virtual long Write(const std::uint8_t* data, std::size_t length) = 0;
    virtual std::size_t BytesWaiting() = 0;
    virtual long Read(std::uint8_t* buffer, std::size_t length) = 0;
    // Waits until input is waiting, the timeout passes, the line hangs up,
    // or CancelWait() is called (TimedOut).
    virtual WaitResult WaitReadable(std::chrono::milliseconds timeout) = 0;
    virtual void CancelWait() = 0;
    // Discards input received but not yet read; returns how many bytes it
    // discarded, as far as the platform can tell.
    virtual std::size_t PurgeInput() = 0;
    // Bytes written but not yet sent on (0 where the platform cannot tell).
    // A reply that arrives while its command is still unsent cannot be its
    // reply.
    virtual std::size_t BytesUnsent() { return 0; }
    // The line errors (framing, overrun, parity, break) seen since the last
    // call, in words; empty when there were none or the platform cannot tell.
    virtual std::string TakeLineErrors() { return std::string(); }
    // After Open: when the port's USB adapter delays replies (a latency
    // timer above 2 ms that stays), what it costs and how to lower it, for
    // the log; empty otherwise.
    virtual std::string LatencyAdvice() const { return std::string(); }
    // After Open: how long the port's USB adapter may hold received bytes
    // back (its latency timer), where it is known and stays; 0 otherwise.
    virtual int HoldBackMs() const { return 0; }
};
