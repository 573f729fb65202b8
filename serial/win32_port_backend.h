#pragma once
#include <cstdint>
#include <memory>

#include "serial/port_backend.h"

// A COM port opened for overlapped I/O. The reader waits in a one-byte read
// that completes at the first byte (together with a stop event), then reads
// what is waiting; writes from other threads go out at once beside it, each
// with a bounded wait. Line errors are cleared and recorded whenever the
// port is looked at. The DCB and time-outs found at Open are restored at
// Close. At Open the adapter's latency timer is read, never changed.
class Win32PortBackend : public PortBackend {
public:
    Win32PortBackend();
    ~Win32PortBackend() override;
    bool Open(const std::string& name, std::string& error) override;
    void Close() override;
    long Write(const std::uint8_t* data, std::size_t length) override;
    std::size_t BytesWaiting() override;
    long Read(std::uint8_t* buffer, std::size_t length) override;
    WaitResult WaitReadable(std::chrono::milliseconds timeout) override;
    void CancelWait() override;
    std::size_t PurgeInput() override;
    std::size_t BytesUnsent() override;
    std::string TakeLineErrors() override;
    std::string LatencyAdvice() const override;
    int HoldBackMs() const override;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};
