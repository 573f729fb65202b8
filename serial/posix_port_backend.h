#pragma once
#include <termios.h>

#include <mutex>

#include "serial/port_backend.h"

// A serial device through open/termios/poll/read/write, never blocking in
// a read. A name without a slash means /dev/NAME.
class PosixPortBackend : public PortBackend {
public:
    PosixPortBackend() = default;
    ~PosixPortBackend() override;

    bool Open(const std::string& name, std::string& error) override;
    void Close() override;
    long Write(const std::uint8_t* data, std::size_t length) override;
    std::size_t BytesWaiting() override;
    long Read(std::uint8_t* buffer, std::size_t length) override;
    WaitResult WaitReadable(std::chrono::milliseconds timeout) override;
    void CancelWait() override;
    void PurgeInput() override;

    static std::string DevicePath(const std::string& name);

private:
    void DrainOutput();

    int m_fd = -1;
    int m_wakeFd = -1;  // eventfd that ends a WaitReadable early
    std::mutex m_inputMutex;  // Read and PurgeInput exclude each other
    bool m_haveSaved = false;
    termios m_saved{};
};
