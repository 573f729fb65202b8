#pragma once

// How the update waits while a command is pending: one timer and the
// window's message loop. The loop must keep painting, CLOSE and the timer
// alive while the procedure is on the stack.
class MessagePump {
public:
    virtual ~MessagePump() = default;

    // Timer 1: fires once per arming unless killed or re-armed; its expiry
    // reaches the update as a time-out of the wait in progress.
    virtual void SetTimer1(unsigned ms) = 0;
    virtual void KillTimer1() = 0;
    // Blocks until one window message has been handled (true) or Wake() was
    // called (false). Handling a message may call back into the update.
    virtual bool DispatchNextMessage() = 0;
    // Handles one pending message if there is one, without blocking.
    virtual bool DispatchPendingMessage() = 0;
    // Callable from any thread: makes a blocked DispatchNextMessage return.
    virtual void Wake() = 0;
};
