#pragma once

// Receiver of the bytes a SerialChannel reads. OnReceive runs on the
// channel's reader thread; `data[0..count-1]` are valid until it returns.
class ReceiveSink {
public:
    virtual ~ReceiveSink() = default;
    virtual void OnReceive(const unsigned char* data, unsigned count) = 0;
};
