#pragma once
#include <cstdint>
#include <mutex>

#include "serial/port_backend.h"

// A COM port through CreateFileA("\\.\NAME"), the DCB and synchronous
// ReadFile/WriteFile. The read time-outs make ReadFile return as soon as a
// byte arrives, or after 10 ms, so the reader never sleeps blindly.
class Win32PortBackend : public PortBackend {
public:
    ~Win32PortBackend() override;
    bool Open(const std::string& name, std::string& error) override;
    void Close() override;
    long Write(const std::uint8_t* data, std::size_t length) override;
    std::size_t BytesWaiting() override;
    long Read(std::uint8_t* buffer, std::size_t length) override;
    WaitResult WaitReadable(std::chrono::milliseconds timeout) override;
    void CancelWait() override {}
    void PurgeInput() override;

private:
    void* m_hPort = nullptr;
    std::mutex m_stashMutex;
    bool m_haveStash = false;  // one byte taken by WaitReadable, not yet read
    std::uint8_t m_stash = 0;
};
