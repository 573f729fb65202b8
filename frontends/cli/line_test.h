#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "serial/receive_sink.h"
#include "serial/serial_channel.h"

// One pattern of the line test, as it goes out.
struct LinePattern {
    enum class Kind { SingleByte, AllValues, Burst };
    Kind kind;
    std::vector<std::uint8_t> bytes;
};

// Round trips of one kind of pattern, in milliseconds.
struct LineFigures {
    int exchanges = 0;
    std::size_t bytes = 0;  // of one exchange
    double medianMs = 0, worstMs = 0;
    double wireMs = 0;  // the bytes' own time at 19200 baud, 10 bits each
};

struct LineTestReport {
    enum class Verdict {
        Sound,      // every pattern came back exact
        PortFault,  // the port did not open, refused a write or hung up
        Silent,     // nothing came back
        Different,  // something else came back: other bytes, too few, too many
        Late        // the pattern came back exact, but long after its time
    };
    Verdict verdict = Verdict::Sound;
    std::string reason;  // what went wrong, in words; empty when sound
    int patterns = 0;      // of the whole test
    int patternsBack = 0;  // that came back exact before it ended
    double lateMs = 0;     // Late: the round trip of the late pattern
    LineFigures single, allValues, bursts;
    // The time a one-byte exchange takes beyond its wire time: what the
    // line (adapter, driver) adds to each of an update's exchanges.
    double overheadMedianMs = 0, overheadWorstMs = 0;
    // The bursts came back faster than 19200 baud carries them: the port
    // is no real serial line (a pseudo-terminal, a virtual port).
    bool fasterThanWire = false;
};

// What a line's per-exchange overhead means for an update.
struct UpdateCost {
    // A clean update: its exchanges, and its bytes both ways (135279 to the
    // radio, 17052 back) at 19200 baud, 10 bits each.
    static constexpr int kExchanges = 636;
    static constexpr double kWireSeconds = 79.3;
    double addedMedianSeconds = 0, addedWorstSeconds = 0;
    static UpdateCost Of(const LineTestReport& report);
};

// Sends test patterns through the product's serial channel to a loopback
// (TX joined to RX) and checks that each comes back exact, timing each
// round trip. The first patterns are single bytes that no radio takes for a
// command; the test stops at the first that does not come back, so a radio
// on the line sees one harmless byte.
class LineTest : public ReceiveSink {
public:
    explicit LineTest(SerialChannel::BackendFactory factory);
    ~LineTest() override;

    // Every pattern, in the order sent.
    static std::vector<LinePattern> Patterns();
    // A byte that no command of the radio's loader or boot program begins
    // with, and that no command's fixed fields hold.
    static bool IsPlain(std::uint8_t value);

    LineTestReport Run(const std::string& port);
    void OnReceive(const unsigned char* data, unsigned count) override;

private:
    using Clock = std::chrono::steady_clock;
    bool Exchange(const LinePattern& pattern, double& roundTripMs, LineTestReport& report);
    bool Judge(const LinePattern& pattern, LineTestReport& report);
    bool Extra(LineTestReport& report);
    bool CameBackLate(const LinePattern& pattern, LineTestReport& report);
    bool StaysQuiet(LineTestReport& report);

    SerialChannel m_channel;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::uint8_t> m_received;  // of the exchange in progress, bounded
    std::size_t m_dropped = 0;             // bytes beyond the bound
    std::size_t m_expected = 0;            // the size of the exchange in progress
    std::string m_sent;                    // ... and what it sent, in words
    Clock::time_point m_lastArrival;
    Clock::time_point m_sentAt;  // of the exchange in progress
};
