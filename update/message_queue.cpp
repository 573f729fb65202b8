#include "update/message_queue.h"

void MessageQueue::Post(Handler message)
{
    {
        std::lock_guard<Monitor> lock(m_monitor);
        m_posted.push_back(std::move(message));
    }
    m_monitor.NotifyAll();
}

void MessageQueue::Wake()
{
    {
        std::lock_guard<Monitor> lock(m_monitor);
        m_woken = true;
    }
    m_monitor.NotifyAll();
}

void MessageQueue::SetTimer1(std::chrono::milliseconds period)
{
    {
        std::lock_guard<Monitor> lock(m_monitor);
        m_timer1Due = Clock::now() + period;
    }
    m_monitor.NotifyAll();
}

void MessageQueue::KillTimer1()
{
    std::lock_guard<Monitor> lock(m_monitor);
    m_timer1Due.reset();
}

bool MessageQueue::Timer1Armed() const
{
    std::lock_guard<Monitor> lock(m_monitor);
    return m_timer1Due.has_value();
}

// Returns the next message to handle, or nothing after a wake (or, when not
// blocking, when nothing is due). Posted messages come before the timer,
// as a window's queue delivers WM_TIMER only when nothing else is waiting.
std::optional<MessageQueue::Handler> MessageQueue::TakeDue(std::unique_lock<Monitor>& /* held */, bool block)
{
    for (;;) {
        if (!m_posted.empty()) {
            Handler h = std::move(m_posted.front());
            m_posted.pop_front();
            return h;
        }
        if (m_timer1Due && Clock::now() >= *m_timer1Due) {
            // A window timer stays armed after it fires; the handler kills it.
            m_timer1Due = Clock::now() + std::chrono::hours(24 * 365);
            return m_onTimer1;
        }
        // A wake is meant for the blocking wait; a non-blocking look leaves it.
        if (!block)
            return std::nullopt;
        if (m_woken) {
            m_woken = false;
            return std::nullopt;
        }
        if (m_timer1Due)
            m_monitor.WaitUntil(*m_timer1Due);
        else
            m_monitor.Wait();
    }
}

bool MessageQueue::DispatchNext()
{
    std::unique_lock<Monitor> lock(m_monitor);
    std::optional<Handler> h = TakeDue(lock, true);
    lock.unlock();
    if (!h)
        return false;
    (*h)();
    return true;
}

bool MessageQueue::DispatchPending()
{
    std::unique_lock<Monitor> lock(m_monitor);
    std::optional<Handler> h = TakeDue(lock, false);
    lock.unlock();
    if (!h)
        return false;
    (*h)();
    return true;
}
