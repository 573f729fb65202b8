#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// A simulated VR-3900 at byte level: the resident loader (contact, boot
// frames, boot start) and the boot program it starts (protect query, block
// read, the two clear commands, block write) over a 128 KiB flash at
// 0xFE0000-0xFFFFFF. Written from the wire protocol alone.
class RadioModel {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint32_t kFlashBase = 0xFE0000;
    static constexpr std::uint32_t kFlashSize = 0x20000;

    enum class Step { Contact, BootRecord, BootStart, Protect, ReadBlock, Clear1, Clear2, WriteCommand, WriteData };
    enum class Fault {
        Silence,  // no answer at all
        Refuse,   // the negative answer (0x02 or "2"; a read sends nothing)
        Short,    // an answer one byte short (a 1-byte answer: nothing)
        Garbage,  // stray bytes before the answer (with `lateBy`: its last bytes that much later)
        Late,     // the answer, but after `lateBy`: the radio is busy until then
        HangUp,   // the line drops instead of answering
        Extra,    // the answer and one byte more (its last byte again), `lateBy` after it
        Corrupt,  // a block's data programmed with one byte wrong, and acknowledged as good
        GaveUp    // a write command acknowledged, then its data not waited for (as after a
                  // pause on the line): they are read as commands (with `lateBy`: each
                  // answer to them after the first comes that much after the one before)
    };
    struct FaultRule {
        Step step;
        // Record number (boot frames), block number within the channel area
        // (reads, 0-31) or within the flash (writes, 0-255); -1: any.
        int index = -1;
        int attempts = 1;  // the first this many attempts at it are faulty
        Fault fault = Fault::Silence;
        // Late: this delay (0: the settings'); Extra: the extra byte this long
        // after the answer (0: right behind it); GaveUp: see above.
        std::chrono::milliseconds lateBy{0};
    };

    // Bytes the radio sends, due at a time; or the line dropping.
    struct Output {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
        bool hangUp = false;
    };

    // What becomes of one answer of the radio, for interruption tests.
    enum class Cut {
        None,      // answered as usual
        PowerOff,  // the radio loses its power: no answer, now or later
        HangUp     // the line drops instead of the answer
    };

    struct Settings {
        bool wireTiming = false;  // 19200 baud, 10 bits a byte, both ways
        std::chrono::milliseconds eraseTime{0};
        std::chrono::milliseconds lateBy{1500};
        // A pause this long inside a command or data stage abandons it. The
        // tool waits a second of quiet before any retry, so the limit sits
        // below that. Only a pause the reader heard counts: bytes that waited
        // while it was busy are none (Feed), and a pseudo-terminal's reader
        // counts only the time it listened (PtyHost).
        std::chrono::milliseconds abandonAfter{800};
        // Deliver the radio's output as a USB serial adapter does: packets of
        // up to 62 bytes, a partial one after the adapter's latency timer.
        bool usbBursts = false;
        std::chrono::milliseconds usbLatency{16};
        std::vector<FaultRule> faults;
        // Asked before each answer, with its number from 0 and its step
        // (under the model's lock: it must not call back into the model).
        std::function<Cut(int answer, Step step)> beforeAnswer;
    };

    explicit RadioModel(Settings settings);

    // The names of steps and faults on the simulator's command line
    // ("wdata", "silence").
    static const char* StepName(Step step);
    static const char* FaultName(Fault fault);

    // Takes bytes from the line, the first of them arriving at `arrival`,
    // and returns what the radio sends in answer. Thread-safe. A reader
    // that cannot tell when bytes arrived (they were waiting when it came
    // back from the last ones) names how long it has known the line quiet:
    // only that counts as a pause. A call of contact bytes alone is the tool
    // knocking (the radio was switched off and on): feed what one write or
    // one read brought, not byte by byte.
    std::vector<Output> Feed(const std::uint8_t* data, std::size_t length, Clock::time_point arrival,
                             Clock::time_point quietSince = Clock::time_point{});

    // The radio switched off and on (or the next radio on the cable): back
    // in its loader, the flash as it is. Thread-safe.
    void PowerCycle();

    // Flash contents; load/save as a raw 131072-byte file.
    std::vector<std::uint8_t> Flash() const;
    void SetFlash(const std::vector<std::uint8_t>& flash);
    bool LoadFlash(const std::string& path, std::string& error);
    bool SaveFlash(const std::string& path, std::string& error) const;
    // The flash a radio has before its first update: old firmware and
    // recognisable channel data.
    static std::vector<std::uint8_t> FactoryFlash();

    // Transcript.
    struct Transcript {
        std::uint64_t bytesIn = 0;
        std::uint64_t bytesOut = 0;
        int contacts = 0;
        int bootFrames = 0;
        int badBootFrames = 0;
        bool bootStarted = false;
        std::vector<std::string> commands;  // one line per command, e.g. "read FF8000"
        // For each block write: from the last bit of the command's
        // acknowledgement on the line to the first data byte's arrival, the
        // tool's turnaround with the link's own latency both ways.
        std::vector<std::chrono::nanoseconds> dataTurnarounds;
        // Each stage a pause abandoned, with the pause, e.g. "the data of
        // block FEEA00 (0 bytes in), after 812 ms heard quiet (...)".
        std::vector<std::string> abandoned;
    };
    Transcript GetTranscript() const;
    std::chrono::nanoseconds ByteTime() const;
    // A pause this long inside a stage abandons it.
    std::chrono::milliseconds AbandonAfter() const { return m_settings.abandonAfter; }
    bool UsbBursts() const { return m_settings.usbBursts; }
    std::chrono::milliseconds UsbLatency() const { return m_settings.usbLatency; }

private:
    enum class State { Loader, Boot };
    void Byte(std::uint8_t b, Clock::time_point at, std::vector<Output>& out);
    void LoaderByte(std::uint8_t b, Clock::time_point at, std::vector<Output>& out);
    void DataByte(std::uint8_t b, Clock::time_point at, std::vector<Output>& out);
    void BootByte(std::uint8_t b, Clock::time_point at, std::vector<Output>& out);
    // True when a Corrupt rule applies to this attempt of a block's data.
    bool CorruptsNext(int index);
    // Queues the answer of one step, unless a fault rule changes it. True
    // when the intended answer went out (perhaps late or after garbage).
    bool Answer(Step step, int index, std::vector<std::uint8_t> bytes, std::uint8_t refusal, Clock::time_point at,
                std::chrono::nanoseconds work, std::vector<Output>& out);
    void Emit(Clock::time_point start, std::vector<std::uint8_t> bytes, std::vector<Output>& out);
    const FaultRule* FaultFor(Step step, int index);
    void Command(const std::vector<std::uint8_t>& cmd, Clock::time_point at, std::vector<Output>& out);
    void Log(const char* fmt, unsigned value);

    mutable std::mutex m_mutex;
    Settings m_settings;
    State m_state = State::Loader;
    std::vector<std::uint8_t> m_flash;
    std::vector<std::uint8_t> m_pending;  // bytes of the frame or command being received
    std::uint32_t m_writeAddress = 0;     // block expected by a write's data stage
    bool m_awaitingData = false;
    Clock::time_point m_lastArrival{};
    Clock::time_point m_lineIn{};         // when the latest byte finished arriving
    Clock::time_point m_lineOut{};        // when the radio's transmitter is free
    int m_answers = 0;
    bool m_poweredOff = false;
    bool m_knocking = false;  // the bytes being fed are contact bytes alone
    bool m_givesUpWaiting = false;  // the write command just answered gets no data stage
    // Answering its data read as commands, until a write command awaits data
    // again: the answers after the first this much later.
    bool m_readingGivenUpData = false;
    std::chrono::milliseconds m_givenUpAnswersLateBy{0};
    int m_givenUpAnswers = 0;
    Clock::time_point m_busyUntil{};      // a late answer: the radio reads nothing until then
    std::vector<std::pair<std::pair<int, int>, int>> m_attempts;  // (step, index) -> count
    Transcript m_transcript;
};
