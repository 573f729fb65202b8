#include "serial/serial_channel.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>

#include "serial/receive_sink.h"

// The hand-over point between reader threads and the sink. Shared with
// every reader, so that a reader outliving Close (or the channel) only
// ever touches this, and never calls the sink once closed.
struct SerialChannel::Gate {
    std::mutex mutex;
    unsigned epoch = 0;  // advanced by Purge, Open and Close
    std::size_t dropped = 0;  // bytes discarded by purges since TakeDroppedBytes
    ReceiveSink* sink = nullptr;
    TrafficObserver observer;

    void Deliver(const std::atomic<bool>& running, const std::uint8_t* data, std::size_t n, unsigned readEpoch)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running)
            return;
        if (readEpoch != epoch) {
            dropped += n;  // read before a purge: purged
            return;
        }
        if (observer)
            observer(false, data, n);
        if (sink)
            sink->OnReceive(data, static_cast<unsigned>(n));
    }
};

// State shared by the channel and one reader thread. The backend lives as
// long as either holds it, so a reader that outlives Close's wait never
// touches a released handle: the last owner closes the port.
struct SerialChannel::ReaderState {
    std::unique_ptr<PortBackend> backend;
    std::atomic<bool> running{true};
    std::atomic<bool> hungUp{false};
    std::mutex doneMutex;
    std::condition_variable doneCv;
    bool done = false;
    std::mutex writeMutex;  // the UI and resend-timer threads both write
    // The reader's read and a purge exclude each other, and the reader takes
    // the purge epoch inside the same hold as its read: a chunk read before
    // a purge carries the old epoch and is dropped, one read after it
    // carries the new one and is delivered.
    std::mutex inputMutex;

    ~ReaderState()
    {
        if (backend)
            backend->Close();
    }
};

SerialChannel::SerialChannel(ReceiveSink* sink, BackendFactory factory, std::chrono::milliseconds closeWait)
    : m_factory(std::move(factory)), m_closeWait(closeWait), m_gate(std::make_shared<Gate>())
{
    m_gate->sink = sink;  // fixed for the channel's life; may be null
}

SerialChannel::~SerialChannel()
{
    Close();
}

bool SerialChannel::Open(const std::string& name)
{
    Close();
    m_lastOpenError.clear();
    auto state = std::make_shared<ReaderState>();
    state->backend = m_factory();
    if (!state->backend || !state->backend->Open(name, m_lastOpenError)) {
        state->backend.reset();  // never opened: nothing to close
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_gate->mutex);
        ++m_gate->epoch;
    }
    {
        std::lock_guard<std::mutex> lock(m_portMutex);
        m_hPort = state;
    }
    m_pThread = std::thread(&SerialChannel::ReaderThread, state, m_gate);
    return true;
}

void SerialChannel::Close()
{
    std::shared_ptr<ReaderState> state;
    {
        std::lock_guard<std::mutex> lock(m_portMutex);
        state = std::move(m_hPort);
        m_hPort.reset();
    }
    if (!state)
        return;
    state->running = false;
    state->backend->CancelWait();
    {
        // After this no chunk of this reader reaches the sink: a delivery in
        // progress has finished, and later ones see `running` cleared.
        std::lock_guard<std::mutex> lock(m_gate->mutex);
        ++m_gate->epoch;
    }
    if (m_pThread.joinable()) {
        std::unique_lock<std::mutex> lock(state->doneMutex);
        bool ended = state->doneCv.wait_for(lock, m_closeWait, [&] { return state->done; });
        lock.unlock();
        if (ended)
            m_pThread.join();
        else
            m_pThread.detach();  // it still holds `state`; the port closes when it lets go
    }
    // Dropping our reference closes the port unless a stuck reader still has it.
}

bool SerialChannel::IsOpen() const
{
    std::lock_guard<std::mutex> lock(m_portMutex);
    return m_hPort != nullptr;
}

bool SerialChannel::LineDown() const
{
    std::lock_guard<std::mutex> lock(m_portMutex);
    return m_hPort && m_hPort->hungUp;
}

std::uint32_t SerialChannel::Write(const void* data, std::uint32_t length)
{
    return WriteOpen(data, length, true);
}

std::uint32_t SerialChannel::WriteIfOpen(const void* data, std::uint32_t length)
{
    return WriteOpen(data, length, false);
}

std::uint32_t SerialChannel::WriteOpen(const void* data, std::uint32_t length, bool report)
{
    std::shared_ptr<ReaderState> state;
    {
        std::lock_guard<std::mutex> lock(m_portMutex);
        state = m_hPort;
    }
    if (!state) {
        if (report && m_reportClosedPort)
            m_reportClosedPort();
        return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    long written;
    {
        std::lock_guard<std::mutex> lock(state->writeMutex);
        written = state->backend->Write(bytes, length);
        if (written > 0) {
            std::lock_guard<std::mutex> glock(m_gate->mutex);
            if (m_gate->observer)
                m_gate->observer(true, bytes, static_cast<std::size_t>(written));
        }
    }
    return written > 0 ? static_cast<std::uint32_t>(written) : 0;
}

void SerialChannel::Purge()
{
    std::shared_ptr<ReaderState> state;
    {
        std::lock_guard<std::mutex> lock(m_portMutex);
        state = m_hPort;
    }
    std::unique_lock<std::mutex> input;
    if (state)
        input = std::unique_lock<std::mutex>(state->inputMutex);
    std::lock_guard<std::mutex> lock(m_gate->mutex);
    ++m_gate->epoch;  // a chunk read before this point is dropped at delivery
    if (state)
        m_gate->dropped += state->backend->PurgeInput();
}

std::size_t SerialChannel::TakeDroppedBytes()
{
    std::lock_guard<std::mutex> lock(m_gate->mutex);
    const std::size_t dropped = m_gate->dropped;
    m_gate->dropped = 0;
    return dropped;
}

std::size_t SerialChannel::BytesUnsent()
{
    std::shared_ptr<ReaderState> state;
    {
        std::lock_guard<std::mutex> lock(m_portMutex);
        state = m_hPort;
    }
    if (!state)
        return 0;
    std::lock_guard<std::mutex> write(state->writeMutex);
    return state->backend->BytesUnsent();
}

std::string SerialChannel::TakeLineErrors()
{
    std::shared_ptr<ReaderState> state;
    {
        std::lock_guard<std::mutex> lock(m_portMutex);
        state = m_hPort;
    }
    return state ? state->backend->TakeLineErrors() : std::string();
}

std::string SerialChannel::LatencyAdvice() const
{
    std::lock_guard<std::mutex> lock(m_portMutex);
    return m_hPort ? m_hPort->backend->LatencyAdvice() : std::string();
}

int SerialChannel::HoldBackMs() const
{
    std::lock_guard<std::mutex> lock(m_portMutex);
    return m_hPort ? m_hPort->backend->HoldBackMs() : 0;
}

void SerialChannel::SetTrafficObserver(TrafficObserver observer)
{
    std::lock_guard<std::mutex> lock(m_gate->mutex);
    m_gate->observer = std::move(observer);
}

void SerialChannel::ReaderThread(std::shared_ptr<ReaderState> state, std::shared_ptr<Gate> gate)
{
    // The wait returns as soon as bytes arrive; its timeout only bounds how
    // long a missed CancelWait could keep the thread alive.
    const auto waitLimit = std::chrono::milliseconds(100);
    std::array<std::uint8_t, kReadBufferSize> chunk{};
    while (state->running) {
        PortBackend::WaitResult w = state->backend->WaitReadable(waitLimit);
        if (w == PortBackend::WaitResult::HungUp) {
            state->hungUp = true;
            break;  // the line is gone; the exchange in progress times out
        }
        if (w != PortBackend::WaitResult::Readable)
            continue;
        // Readable with nothing waiting means end of input: read one byte,
        // which either arrives or shows the hang-up, instead of spinning.
        std::size_t want = std::min<std::size_t>(std::max<std::size_t>(state->backend->BytesWaiting(), 1), kMaxRead);
        unsigned epoch;
        long n;
        {
            // A purge comes wholly before this read (its bytes are new, and
            // the epoch says so) or wholly after it (they are stale).
            std::lock_guard<std::mutex> input(state->inputMutex);
            {
                std::lock_guard<std::mutex> lock(gate->mutex);
                epoch = gate->epoch;
            }
            n = state->backend->Read(chunk.data(), want);
        }
        if (n < 0) {
            state->hungUp = true;
            break;
        }
        if (n == 0)
            continue;
        gate->Deliver(state->running, chunk.data(), static_cast<std::size_t>(n), epoch);
    }
    std::lock_guard<std::mutex> lock(state->doneMutex);
    state->done = true;
    state->doneCv.notify_all();
}
