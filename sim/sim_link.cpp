#include "sim/sim_link.h"

#include <algorithm>

SimLink::SimLink(RadioModel& model, Deliver deliver, HangUp hangUp)
    : m_model(model), m_deliver(std::move(deliver)), m_hangUp(std::move(hangUp)), m_thread(&SimLink::Run, this)
{
}

SimLink::~SimLink()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

void SimLink::FromTool(const std::uint8_t* data, std::size_t length, RadioModel::Clock::time_point quietSince)
{
    std::vector<RadioModel::Output> outputs = m_model.Feed(data, length, RadioModel::Clock::now(), quietSince);
    if (outputs.empty())
        return;
    const auto byteTime = m_model.ByteTime();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (RadioModel::Output& o : outputs) {
            if (o.hangUp) {
                m_due.emplace(o.due, Chunk{{}, true});
                continue;
            }
            // With wire timing, each piece is handed over when its last byte
            // has crossed the line; without, the answer goes at once. Through
            // a USB adapter pieces are packets of 62 bytes, and a partial one
            // waits for the adapter's latency timer.
            const bool usb = m_model.UsbBursts();
            const std::size_t piece = usb ? kUsbPacket : byteTime.count() == 0 ? o.bytes.size() : 16;
            for (std::size_t at = 0; at < o.bytes.size(); at += piece) {
                const std::size_t end = std::min(o.bytes.size(), at + piece);
                Chunk c{std::vector<std::uint8_t>(o.bytes.begin() + static_cast<long>(at),
                                                  o.bytes.begin() + static_cast<long>(end)),
                        false};
                auto due = o.due + byteTime * static_cast<long>(end);
                if (usb && end - at < kUsbPacket)
                    due += m_model.UsbLatency();
                // A link never reorders bytes.
                due = std::max(due, m_lastDue);
                m_lastDue = due;
                m_due.emplace(due, std::move(c));
            }
        }
    }
    m_cv.notify_all();
}

void SimLink::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (m_due.empty()) {
            m_cv.wait(lock);
            continue;
        }
        const auto due = m_due.begin()->first;
        if (RadioModel::Clock::now() < due) {
            m_cv.wait_until(lock, due);
            continue;
        }
        Chunk c = std::move(m_due.begin()->second);
        m_due.erase(m_due.begin());
        lock.unlock();
        if (c.hangUp)
            m_hangUp();
        else
            m_deliver(c.bytes.data(), c.bytes.size());
        lock.lock();
    }
}
