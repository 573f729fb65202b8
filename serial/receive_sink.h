#pragma once

// Receiver of the bytes a SerialChannel reads. OnReceive runs on the
// channel's reader thread; the bytes are the channel's ReadBuffer()[0..count-1],
// followed by at least one zero byte, valid until OnReceive returns.
class ReceiveSink {
public:
    virtual ~ReceiveSink() = default;
    virtual void OnReceive(unsigned count) = 0;
};
