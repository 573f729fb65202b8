#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "serial/receive_sink.h"
#include "serial/serial_channel.h"
#include "update/message_pump.h"
#include "update/timing.h"

class PeriodicTimer;
struct Exchange;
enum class ExchangeResult;

// The line to one radio: the serial channel, the receive dispatch on the
// reader thread, and one command exchange at a time with a deadline of its
// own, waited for in the message loop. It knows the protocol's reply
// shapes, not the update's steps.
class RadioLink : public ReceiveSink {
public:
    static constexpr std::size_t kTxBufSize = 128;
    static constexpr std::size_t kRxBufSize = 530;

    // Receive modes of the dispatch: which reply bytes complete the exchange
    // in progress. kModeIdle drops every byte; it holds between exchanges so
    // that a stray byte cannot complete the next one.
    enum ReceiveMode : std::int32_t {
        kModeIdle = 0,
        kModeContact = 1,     // the loader's contact answer
        kModeBootRecord = 2,  // a boot frame's accept or refuse byte
        kModeStatus = 3,      // "1" or "2" from the boot program
        kModeBlockRead = 4    // a read reply, complete at the expected count
    };

    RadioLink(MessagePump& pump, std::function<std::unique_ptr<PortBackend>()> backends, Timing timing);
    ~RadioLink() override;

    SerialChannel& Serial() { return *m_pSerial; }
    MessagePump& Pump() { return m_pump; }
    const Timing& Times() const { return m_timing; }

    // The run flag: cleared by CLOSE or a stop request (UI thread); every
    // wait ends at once and no further command goes out.
    void Start();
    void Stop() { m_bRun = 0; }
    bool Running() const { return m_bRun != 0; }
    // Timer 1 expired (UI thread): the wait in progress times out once its
    // deadline has come; a timer that fired before it is armed again for
    // the rest.
    void OnTimer();
    void OnReceive(const unsigned char* data, unsigned count) override;  // reader thread

    // Sends, waits and judges one exchange; on failure `detail` says why.
    ExchangeResult Run(const Exchange& exchange, std::string& detail);
    // Before a retry: waits (bounded) until the line has been quiet, so that
    // a late reply to the failed attempt cannot merge with the next one. It
    // waits in the message loop and ends early when the update is stopped.
    void DrainLine();
    // After a block read kept listening through the pause: false (with the
    // detail) when the reply was longer or shorter than `expected`.
    bool ReplyHadLength(std::int32_t expected, std::string& detail);
    // Bytes that came since the last call while no exchange awaited them:
    // after an answer, between exchanges, or dropped by a purge before a
    // command. Each is evidence that an exchange was not what it seemed.
    int TakeLateBytes();
    // The same count (with what a purge dropped), left to be taken.
    int LateBytesSoFar();
    // Late bytes that came between the reply judged before the last block
    // read and that read's own reply: the earlier reply may have been
    // longer than it looked (a USB adapter can deliver its tail that late).
    int LateBytesBeforeLastReply() const { return m_lateBeforeReply; }
    // After the last acknowledgement: false (with the detail) when bytes
    // came that no exchange awaited, or the update was stopped. The line is
    // listened to for as long as a USB adapter may hold a byte back, or a
    // whole block time-out when `suspicious` (late bytes came before).
    bool LineStaysQuiet(bool suspicious, std::string& detail);
    void Pause();
    // How long to listen for bytes a USB adapter may still hold back: the
    // longer of the reply listen and the adapter's known latency timer.
    std::chrono::milliseconds AdapterListen() const;
    // Waits until `period` has passed since the radio's last answer: the
    // radio gets its pause, and the time spent since the answer counts.
    void PauseAfterReply(std::chrono::milliseconds period);

    // The command buffer the steps build their commands in, and the reply
    // of the last block read (two header bytes, then the block).
    std::uint8_t* TxBuf() { return m_txBuf.data(); }
    const std::uint8_t* RxBuf() const { return m_rxBuf.data(); }
    std::int32_t RxCount() const { return m_nRxCount.load(std::memory_order_relaxed); }

    // ---- resend timer of the contact byte ----
    bool StartResendTimer(std::chrono::milliseconds period);
    void StopResendTimer();
    void OnResendTick();

private:
    friend struct RadioLinkTestAccess;  // white-box tests of the dispatch
    enum class WaitResult { Reply, Aborted, TimedOut };

    void Dispatch(const std::uint8_t* buf, unsigned count);
    void PrepareExchange(ReceiveMode mode, std::int32_t expected = 0);
    void EndExchange();
    // Pumps messages until the reply, an abort or a time-out. Leaves timer 1
    // stopped on abort; on time-out the timer handler has stopped it.
    WaitResult WaitReply();
    // The wait in progress ends at now + `ms`: the link keeps the deadline,
    // and timer 1 only wakes the front end's loop for it.
    void ArmDeadline(unsigned ms);
    ExchangeResult Judge(const Exchange& x, WaitResult w, std::string& detail);

    MessagePump& m_pump;
    const Timing m_timing;

    std::uint8_t m_bRun = 0;
    std::unique_ptr<SerialChannel> m_pSerial;
    std::atomic<std::int32_t> m_nRxExpected{0};
    std::atomic<std::int32_t> m_nRxCount{0};
    std::array<std::uint8_t, kRxBufSize> m_rxBuf{};
    std::atomic<std::uint8_t> m_bReplyError{0};
    std::array<std::uint8_t, kTxBufSize> m_txBuf{};
    std::uint8_t m_bTimedOut = 0;
    std::int64_t m_deadlineNanos = 0;  // steady clock: when the wait in progress times out
    std::atomic<std::uint8_t> m_bReplyDone{0};
    std::atomic<ReceiveMode> m_nMode{kModeIdle};

    // Preparing an exchange and dispatching a chunk exclude each other.
    std::mutex m_exchangeMutex;
    std::atomic<std::int64_t> m_lastRxNanos{0};  // steady clock of the latest chunk
    std::atomic<int> m_strayBytes{0};  // bytes received while no exchange awaited any
    std::atomic<int> m_lateBytes{0};   // the same, kept across exchanges until taken
    int m_lateBeforeReply = 0;
    std::int64_t m_lastTxNanos = 0;  // steady clock when the last command was written (UI thread)
    std::atomic<std::int64_t> m_replyNanos{0};  // steady clock when the awaited reply completed
    // When the bytes written so far have all crossed the wire at 19200 baud,
    // counted from the write of each (UI thread).
    std::int64_t m_wireFreeNanos = 0;
    // Whether the line keeps to a wire's speed: the first answers of an
    // update show it (a pseudo-terminal or virtual port answers faster than
    // any wire, and there the wire-time check is off).
    int m_answersJudged = 0;
    int m_answersOnTime = 0;
    static constexpr int kWireEvidence = 16;  // long answers judged before the line's speed is known
    static constexpr std::size_t kWireEvidenceBytes = 256;
    bool AnswerBeforeItCouldCome(std::size_t sent, std::size_t reply);
    bool LineKeepsWireTime() const;
    std::unique_ptr<PeriodicTimer> m_resendTimer;
};
