#pragma once
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "update/message_pump.h"
#include "platform/monitor.h"

// A window-message loop for front ends without a toolkit (the console and
// the tests): posted messages, one timer with a deadline, and a wake-up that
// other threads use to end a wait without a message.
class MessageQueue : public MessagePump {
public:
    using Clock = std::chrono::steady_clock;
    using Handler = std::function<void()>;

    explicit MessageQueue(Handler onTimer1) : m_onTimer1(std::move(onTimer1)) {}

    void Post(Handler message);               // any thread
    void Wake() override;                     // any thread
    void SetTimer1(std::chrono::milliseconds period);
    void KillTimer1() override;
    bool Timer1Armed() const;

    // MessagePump
    void SetTimer1(unsigned ms) override { SetTimer1(std::chrono::milliseconds(ms)); }
    bool DispatchNextMessage() override { return DispatchNext(); }
    bool DispatchPendingMessage() override { return DispatchPending(); }

    // Handles one message (true) or returns false after a wake. Blocks
    // while there is neither.
    bool DispatchNext();
    // Handles one message that is due now; never blocks.
    bool DispatchPending();

private:
    std::optional<Handler> TakeDue(std::unique_lock<Monitor>& lock, bool block);

    Handler m_onTimer1;
    mutable Monitor m_monitor;
    std::deque<Handler> m_posted;
    std::optional<Clock::time_point> m_timer1Due;
    bool m_woken = false;
};
