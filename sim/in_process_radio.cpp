#include "sim/in_process_radio.h"

class InProcessRadio::Backend : public PortBackend {
public:
    explicit Backend(InProcessRadio& radio) : m_radio(radio) {}
    ~Backend() override { Close(); }

    bool Open(const std::string&, std::string& error) override
    {
        std::lock_guard<std::mutex> lock(m_radio.m_mutex);
        if (m_radio.m_open || m_radio.m_hungUp) {
            error = m_radio.m_hungUp ? "the line is down" : "port busy";
            return false;
        }
        m_radio.m_open = this;
        ++m_radio.m_opens;
        return true;
    }
    void Close() override
    {
        std::lock_guard<std::mutex> lock(m_radio.m_mutex);
        if (m_radio.m_open == this)
            m_radio.m_open = nullptr;
    }
    long Write(const std::uint8_t* data, std::size_t length) override
    {
        {
            std::lock_guard<std::mutex> lock(m_radio.m_mutex);
            if (m_radio.m_hungUp)
                return -1;
        }
        m_radio.m_link->FromTool(data, length);
        return static_cast<long>(length);
    }
    std::size_t BytesWaiting() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_rx.size();
    }
    long Read(std::uint8_t* buffer, std::size_t length) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::size_t n = 0;
        while (n < length && !m_rx.empty()) {
            buffer[n++] = m_rx.front();
            m_rx.pop_front();
        }
        return static_cast<long>(n);
    }
    WaitResult WaitReadable(std::chrono::milliseconds timeout) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, timeout, [&] { return !m_rx.empty() || m_cancel || m_hungUp; });
        if (!m_rx.empty())
            return WaitResult::Readable;
        if (m_hungUp)
            return WaitResult::HungUp;
        m_cancel = false;
        return WaitResult::TimedOut;
    }
    void CancelWait() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_cancel = true;
        }
        m_cv.notify_all();
    }
    std::size_t PurgeInput() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const std::size_t dropped = m_rx.size();
        m_rx.clear();
        return dropped;
    }

    void Receive(const std::uint8_t* data, std::size_t length)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_rx.insert(m_rx.end(), data, data + length);
        }
        m_cv.notify_all();
    }
    void HangUp()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_hungUp = true;
        }
        m_cv.notify_all();
    }

private:
    InProcessRadio& m_radio;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::uint8_t> m_rx;
    bool m_cancel = false;
    bool m_hungUp = false;
};

InProcessRadio::InProcessRadio(RadioModel::Settings settings) : m_model(std::move(settings))
{
    m_link = std::make_unique<SimLink>(
        m_model, [this](const std::uint8_t* d, std::size_t n) { Deliver(d, n); }, [this] { DropLine(); });
}

InProcessRadio::~InProcessRadio()
{
    m_link.reset();
}

std::unique_ptr<PortBackend> InProcessRadio::MakeBackend()
{
    return std::make_unique<Backend>(*this);
}

void InProcessRadio::Deliver(const std::uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_open)
        m_open->Receive(data, length);
}

void InProcessRadio::Inject(const std::vector<std::uint8_t>& bytes)
{
    Deliver(bytes.data(), bytes.size());
}

void InProcessRadio::DropLine()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hungUp = true;
    if (m_open)
        m_open->HangUp();
}

int InProcessRadio::Opens() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_opens;
}
