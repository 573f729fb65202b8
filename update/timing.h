#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <initializer_list>

// Every period the update uses, in one place. The product runs with the
// defaults; tests scale them down so that time-outs and countdowns take
// milliseconds instead of seconds.
struct Timing {
    using ms = std::chrono::milliseconds;

    ms contactTimeout{5000};    // ConnectRadio: the loader must answer within this
    ms resendPeriod{50};        // contact byte repeated while waiting for the loader
    ms bootRecordTimeout{1000}; // answer to one boot frame
    ms bootStartTimeout{1000};  // answer to the boot start command
    // The data-protect query is answered by the boot program that has just
    // answered the boot start, with one byte and no flash access, so it gets
    // the same allowance as the boot start: long enough for any healthy radio,
    // short enough that a dead line is reported within a second.
    ms protectTimeout{1000};
    ms blockTimeout{1000};      // each stage of a block read or write
    ms clearTick{1000};         // one period of the ROM clear countdown
    ms stepPause{10};           // pause after each block and before the conversion
    // A USB serial adapter holds a partial packet up to its latency timer
    // (16 ms by default): after the last channel-data reply and after the
    // last acknowledgement the line is listened to at least this long for
    // bytes beyond them (longer where the adapter's timer is known longer).
    ms replyListen{20};
    ms closeWait{4000};         // how long Close waits for the reader thread
    // Before a retry the line must have been quiet for a whole block time-out,
    // so that a late answer to the failed attempt cannot count for the
    // retry; a line that keeps talking is given up on after this long.
    ms drainLimit{3000};
    // One byte on the wire: 10 bits at 19200 baud. No answer can come
    // before its command and data have reached the radio.
    std::chrono::nanoseconds byteTime{520833};

    // Every period divided by `divisor` (at least 1 ms each).
    Timing ScaledDown(int divisor) const
    {
        Timing t = *this;
        for (ms* p : {&t.contactTimeout, &t.resendPeriod, &t.bootRecordTimeout, &t.bootStartTimeout,
                      &t.protectTimeout, &t.blockTimeout, &t.clearTick, &t.stepPause, &t.replyListen,
                      &t.closeWait, &t.drainLimit}) {
            *p = ms(std::max<long long>(1, p->count() / divisor));
        }
        return t;
    }
};

// The steady clock in nanoseconds, for times shared between threads.
inline std::int64_t SteadyNanos()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
