#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial/port_backend.h"

class ReceiveSink;

// One serial port with its reader thread. Opened and closed many times
// over its life; every chunk read is handed to the sink on the reader
// thread.
class SerialChannel {
public:
    static constexpr std::size_t kReadBufferSize = 530;
    static constexpr std::size_t kMaxRead = kReadBufferSize - 1;

    using BackendFactory = std::function<std::unique_ptr<PortBackend>()>;

    // `closeWait` bounds how long Close waits for the reader thread to end.
    SerialChannel(ReceiveSink* sink, BackendFactory factory,
                  std::chrono::milliseconds closeWait = std::chrono::milliseconds(4000));
    virtual ~SerialChannel();
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    bool Open(const std::string& name);
    void Close();
    bool IsOpen() const;
    // True once the open line has hung up (a USB adapter pulled out, the far
    // end of a pseudo-terminal closed).
    bool LineDown() const;
    // Writes on the UI thread: a closed port is reported through the
    // closed-port callback ("Not Open COM Port") and 0 returned.
    std::uint32_t Write(const void* data, std::uint32_t length);
    // Writes from another thread: a closed port is silently skipped.
    std::uint32_t WriteIfOpen(const void* data, std::uint32_t length);
    // Drops input not yet handed to the sink, in the driver and in flight.
    void Purge();
    // The bytes purges have discarded since the last call: those the driver
    // held and those read just before a purge. Bytes nobody awaited.
    std::size_t TakeDroppedBytes();
    // Bytes written but not yet sent on by the driver (0 where unknown).
    std::size_t BytesUnsent();
    // The line errors seen since the last call, in words (empty: none).
    std::string TakeLineErrors();
    // While open: what the port's USB adapter costs in time and how to
    // lower it, when its latency timer is high and stays so (empty: nothing
    // to say). Read once after Open, for the log.
    std::string LatencyAdvice() const;
    // See PortBackend::HoldBackMs (0 while closed).
    int HoldBackMs() const;

    const std::string& LastOpenError() const { return m_lastOpenError; }
    void SetClosedPortReporter(std::function<void()> report) { m_reportClosedPort = std::move(report); }
    // Observes every chunk written and handed over (for traces). Called on the
    // writing or reading thread.
    using TrafficObserver = std::function<void(bool sent, const std::uint8_t* data, std::size_t length)>;
    void SetTrafficObserver(TrafficObserver observer);

private:
    struct Gate;
    struct ReaderState;
    static void ReaderThread(std::shared_ptr<ReaderState> state, std::shared_ptr<Gate> gate);
    std::uint32_t WriteOpen(const void* data, std::uint32_t length, bool report);

    const BackendFactory m_factory;
    const std::chrono::milliseconds m_closeWait;

    // m_hPort: the backend shared with the reader thread (null when closed).
    mutable std::mutex m_portMutex;
    std::shared_ptr<ReaderState> m_hPort;
    std::thread m_pThread;

    // Hand-over gate, shared with reader threads: delivery to the sink and
    // Purge/Close exclude each other. Holds the read buffer.
    std::shared_ptr<Gate> m_gate;

    std::string m_lastOpenError;
    std::function<void()> m_reportClosedPort;
};
