#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "update/radio_link.h"

// One command exchange with the radio: what goes out, which reply
// completes it, how long the radio has, and what to tell the technician
// when it fails. Every step of the update talks to the radio through this.
struct Exchange {
    struct Piece {
        const std::uint8_t* data;
        std::uint32_t length;
    };

    RadioLink::ReceiveMode mode = RadioLink::kModeStatus;
    std::vector<Piece> pieces;     // written in this order, one write each
    std::int32_t expected = 0;     // block read: the reply's length
    std::chrono::milliseconds period{1000};
    // The wait ends at the `periods`-th expiry of timer 1; each expiry before
    // it is reported to `onPeriod` with the periods left after it.
    int periods = 1;
    std::function<void(int left)> onPeriod;
    bool armAfterWrite = false;    // the period counts from the end of the write
    bool resendContact = false;    // repeat the contact byte until answered
    bool keepListening = false;    // leave the receive mode set after the reply
    bool refusalFails = true;      // false: either answer completes it
    const char* timeOutMessage = nullptr;  // message box at a time-out, if any

    // The failure detail is `context` followed by one of these.
    std::string context;
    std::string silence;   // the radio did not answer
    std::string refusal;   // the radio refused
    std::string stopped;   // CLOSE ended the wait (empty: nothing to note)
};

// Early: an answer came while the command was still unsent, so it cannot
// have been the answer to it.
enum class ExchangeResult { Reply, Refused, Early, Aborted, TimedOut, LineDown };

// The detail of a line that has hung up.
extern const char* const kLineDownText;
