#pragma once
#include <termios.h>

#include <memory>
#include <mutex>

#include "serial/line_tuning.h"
#include "serial/port_backend.h"

// A serial device through open/termios/poll/read/write, never blocking in
// a read. A name without a slash means /dev/NAME. At Open it asks the
// driver for low latency (a USB adapter then passes each reply on at once)
// and puts the driver's setting back at Close; a port that refuses is used
// as it is.
class LinuxPortBackend : public PortBackend {
public:
    explicit LinuxPortBackend(std::unique_ptr<LineTuning> tuning = MakeSystemLineTuning());
    ~LinuxPortBackend() override;

    bool Open(const std::string& name, std::string& error) override;
    void Close() override;
    long Write(const std::uint8_t* data, std::size_t length) override;
    std::size_t BytesWaiting() override;
    long Read(std::uint8_t* buffer, std::size_t length) override;
    WaitResult WaitReadable(std::chrono::milliseconds timeout) override;
    void CancelWait() override;
    std::size_t PurgeInput() override;
    std::size_t BytesUnsent() override;
    std::string LatencyAdvice() const override { return m_latencyAdvice; }
    int HoldBackMs() const override { return m_holdBackMs; }

    static std::string DevicePath(const std::string& name);

private:
    void DrainOutput();
    void AskLowLatency(const std::string& name);

    int m_fd = -1;
    int m_wakeFd = -1;  // eventfd that ends a WaitReadable early
    std::mutex m_inputMutex;  // Read and PurgeInput exclude each other
    bool m_haveSaved = false;
    termios m_saved{};
    std::unique_ptr<LineTuning> m_tuning;
    bool m_restoreLowLatency = false;  // low latency was set by Open
    std::string m_latencyAdvice;
    int m_holdBackMs = 0;  // the adapter's timer where low latency was refused
};
