#include "frontends/cli/line_test.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "update/protocol.h"

namespace {

// 10 bits a byte (start, 8 data, stop) at 19200 baud.
constexpr double kByteMs = 1000.0 * 10 / 19200;
// The longest burst of an update: a read reply, a block behind its header.
constexpr std::size_t kBurstSize = 514;
constexpr int kSingles = 32;
constexpr int kBursts = 4;
// How long an echo may take beyond its own wire time: a USB adapter holds a
// partial packet for its latency timer (16 ms by default), a loaded system
// holds bytes back for a while.
constexpr std::chrono::milliseconds kSlack{1000};
// After the slack, how much longer an echo is waited for: one that comes
// then is the line's latency, not a missing loopback.
constexpr std::chrono::milliseconds kLateLimit{2000};
// After the last pattern the line must stay quiet this long.
constexpr std::chrono::milliseconds kQuiet{200};
// Bytes kept of one exchange: a burst and one read more.
constexpr std::size_t kKept = kBurstSize + SerialChannel::kReadBufferSize;
// Single bytes: alternating, grouped and lone bits.
constexpr std::uint8_t kSingleValues[] = {0x55, 0xAA, 0x5A, 0xA5, 0x0F, 0xF0, 0x33, 0xCC,
                                          0x3C, 0xC3, 0x66, 0x99, 0x7E, 0x81, 0x7F, 0x80};
// The high address byte of every flash address (0xFE0000-0xFFFFFF).
constexpr std::uint8_t kFlashHighLow = 0xFE, kFlashHighHigh = 0xFF;

std::string Hex(std::uint8_t b)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

std::string Bytes(std::size_t n)
{
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

std::string Describe(const LinePattern& p)
{
    switch (p.kind) {
    case LinePattern::Kind::SingleByte:
        return "the single byte " + Hex(p.bytes.front());
    case LinePattern::Kind::AllValues:
        return "the 256 byte values";
    case LinePattern::Kind::Burst:
        break;
    }
    return "a " + std::to_string(p.bytes.size()) + "-byte burst";
}

LineFigures Figures(std::vector<double> ms, std::size_t bytes)
{
    LineFigures f;
    f.exchanges = static_cast<int>(ms.size());
    f.bytes = bytes;
    f.wireMs = kByteMs * static_cast<double>(bytes);
    if (ms.empty())
        return f;
    std::sort(ms.begin(), ms.end());
    f.medianMs = ms[ms.size() / 2];
    f.worstMs = ms.back();
    return f;
}

}  // namespace

UpdateCost UpdateCost::Of(const LineTestReport& report)
{
    UpdateCost cost;
    cost.addedMedianSeconds = kExchanges * report.overheadMedianMs / 1000;
    cost.addedWorstSeconds = kExchanges * report.overheadWorstMs / 1000;
    return cost;
}

LineTest::LineTest(SerialChannel::BackendFactory factory) : m_channel(this, std::move(factory)) {}

LineTest::~LineTest()
{
    m_channel.Close();  // no chunk reaches OnReceive after this
}

bool LineTest::IsPlain(std::uint8_t value)
{
    using namespace protocol;
    static constexpr std::uint8_t kNotPlain[] = {
        // bytes that begin a command of the loader or the boot program
        kContactRequest, kBootFrameStart, kBootStart, kProtectQuery, kReadBlock, kClearFirst, kClearSecond,
        kWriteBlock,
        // bytes that make a command's fields valid: area, length, flash address
        kAreaLow, kAreaHigh, kLengthLowBlock, kLengthHighBlock, kLengthHighClear, kFlashHighLow, kFlashHighHigh};
    return std::find(std::begin(kNotPlain), std::end(kNotPlain), value) == std::end(kNotPlain);
}

std::vector<LinePattern> LineTest::Patterns()
{
    std::vector<LinePattern> patterns;
    for (int i = 0; i < kSingles; ++i)
        patterns.push_back({LinePattern::Kind::SingleByte, {kSingleValues[i % std::size(kSingleValues)]}});

    std::vector<std::uint8_t> plain, other;
    for (int v = 0; v < 256; ++v)
        (IsPlain(static_cast<std::uint8_t>(v)) ? plain : other).push_back(static_cast<std::uint8_t>(v));
    // Every byte that is not plain is followed by seven plain ones: whatever
    // begins there, an 8-byte command read from it names no flash address,
    // no length and no area, and no boot frame or boot start is complete.
    constexpr std::size_t kFollow = 7;
    const std::size_t fillers = other.size() * kFollow;
    std::vector<std::uint8_t> all(plain.begin() + fillers, plain.end());
    for (std::size_t i = 0; i < other.size(); ++i) {
        all.push_back(other[i]);
        all.insert(all.end(), plain.begin() + i * kFollow, plain.begin() + (i + 1) * kFollow);
    }
    patterns.push_back({LinePattern::Kind::AllValues, all});

    // Bursts of plain bytes, each walking them with another stride.
    static constexpr std::size_t kStrides[kBursts] = {1, 3, 97, 139};
    for (std::size_t k = 0; k < kBursts; ++k) {
        std::vector<std::uint8_t> burst(kBurstSize);
        for (std::size_t i = 0; i < kBurstSize; ++i)
            burst[i] = plain[(k * 61 + i * kStrides[k]) % plain.size()];
        patterns.push_back({LinePattern::Kind::Burst, burst});
    }
    return patterns;
}

void LineTest::OnReceive(const unsigned char* data, unsigned count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::size_t keep = std::min<std::size_t>(count, kKept - m_received.size());
    m_received.insert(m_received.end(), data, data + keep);
    m_dropped += count - keep;
    m_lastArrival = Clock::now();
    m_cv.notify_all();
}

LineTestReport LineTest::Run(const std::string& port)
{
    LineTestReport report;
    if (!m_channel.Open(port)) {
        report.verdict = LineTestReport::Verdict::PortFault;
        report.reason = port + " did not open: " + m_channel.LastOpenError();
        return report;
    }
    // What the driver held from before is no answer; whatever comes in from
    // here on without having been sent fails the test.
    m_channel.Purge();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.clear();
        m_expected = 0;
        m_sent.clear();
    }
    std::vector<double> singles, all, bursts;
    const std::vector<LinePattern> patterns = Patterns();
    report.patterns = static_cast<int>(patterns.size());
    for (const LinePattern& p : patterns) {
        double ms = 0;
        if (!Exchange(p, ms, report)) {
            m_channel.Close();
            return report;
        }
        ++report.patternsBack;
        (p.kind == LinePattern::Kind::SingleByte ? singles : p.kind == LinePattern::Kind::AllValues ? all : bursts)
            .push_back(ms);
    }
    const bool quiet = StaysQuiet(report);
    m_channel.Close();
    if (!quiet)
        return report;
    report.single = Figures(singles, 1);
    report.allValues = Figures(all, 256);
    report.bursts = Figures(bursts, kBurstSize);
    report.overheadMedianMs = std::max(0.0, report.single.medianMs - report.single.wireMs);
    report.overheadWorstMs = std::max(0.0, report.single.worstMs - report.single.wireMs);
    report.fasterThanWire = report.bursts.medianMs < 0.9 * report.bursts.wireMs;
    return report;
}

bool LineTest::Exchange(const LinePattern& pattern, double& roundTripMs, LineTestReport& report)
{
    {
        // What came back of the last exchange beyond its size came back
        // without having been sent; the check and the clearing are one hold.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_received.size() > m_expected)
            return Extra(report);
        m_received.clear();
        m_dropped = 0;
        m_expected = pattern.bytes.size();
        m_sent = Describe(pattern);
    }
    const std::size_t size = pattern.bytes.size();
    const auto start = Clock::now();
    m_sentAt = start;
    const std::uint32_t written = m_channel.Write(pattern.bytes.data(), static_cast<std::uint32_t>(size));
    if (written != size) {
        report.verdict = LineTestReport::Verdict::PortFault;
        report.reason = "the port took " + std::to_string(written) + " of the " + std::to_string(size) +
                        " bytes of " + Describe(pattern);
        return false;
    }
    const auto wire = std::chrono::microseconds(static_cast<long>(kByteMs * 1000 * static_cast<double>(size)));
    std::unique_lock<std::mutex> lock(m_mutex);
    auto differs = [&] {
        const std::size_t n = std::min(size, m_received.size());
        return !std::equal(m_received.begin(), m_received.begin() + n, pattern.bytes.begin());
    };
    m_cv.wait_until(lock, start + wire + kSlack, [&] { return m_received.size() >= size || differs(); });
    if (m_received.size() == size && !differs()) {
        roundTripMs = std::chrono::duration<double, std::milli>(m_lastArrival - start).count();
        return true;
    }
    return Judge(pattern, report);
}

// An exchange that did not come back exact: why, in words. Runs under m_mutex.
bool LineTest::Judge(const LinePattern& pattern, LineTestReport& report)
{
    const std::string what = Describe(pattern);
    const std::size_t received = m_received.size(), size = pattern.bytes.size();
    const std::size_t n = std::min(received, size);
    const auto mismatch = std::mismatch(m_received.begin(), m_received.begin() + n, pattern.bytes.begin());
    report.verdict = LineTestReport::Verdict::Different;
    if (mismatch.first != m_received.begin() + n) {
        const auto at = static_cast<std::size_t>(mismatch.first - m_received.begin());
        report.reason = (size == 1 ? what : "byte " + std::to_string(at + 1) + " of " + what) + " came back as " +
                        Hex(*mismatch.first) + " instead of " + Hex(*mismatch.second);
    } else if (received > size) {
        return Extra(report);
    } else if (received == 0 && m_channel.LineDown()) {
        report.verdict = LineTestReport::Verdict::PortFault;
        report.reason = "the line hung up after sending " + what;
    } else if (received == 0 && CameBackLate(pattern, report)) {
        report.verdict = LineTestReport::Verdict::Late;
        char ms[32];
        std::snprintf(ms, sizeof ms, "%.0f ms", report.lateMs);
        report.reason = what + " came back exact, but only after " + ms;
    } else if (received == 0) {
        report.verdict = LineTestReport::Verdict::Silent;
        report.reason = "nothing came back within " + std::to_string((kSlack + kLateLimit).count()) +
                        " ms of sending " + what;
        if (report.patternsBack > 0)
            report.reason += ", pattern " + std::to_string(report.patternsBack + 1) + " of " +
                             std::to_string(report.patterns) + ": the echo stopped";
    } else {
        report.reason = "only " + std::to_string(received) + " of the " + Bytes(size) + " of " + what +
                        " came back";
    }
    const std::string lineErrors = m_channel.TakeLineErrors();
    if (!lineErrors.empty())
        report.reason += " (line errors: " + lineErrors + ")";
    return false;
}

// Whether the whole pattern comes back exact within the late limit after
// the slack; its round trip in the report. Runs under m_mutex (held).
bool LineTest::CameBackLate(const LinePattern& pattern, LineTestReport& report)
{
    std::unique_lock<std::mutex> lock(m_mutex, std::adopt_lock);
    const bool back = m_cv.wait_for(lock, kLateLimit, [&] { return m_received.size() >= pattern.bytes.size(); });
    lock.release();  // the caller's hold
    if (!back || m_received.size() != pattern.bytes.size() ||
        !std::equal(m_received.begin(), m_received.end(), pattern.bytes.begin()))
        return false;
    report.lateMs = std::chrono::duration<double, std::milli>(m_lastArrival - m_sentAt).count();
    return true;
}

// Bytes beyond what the last exchange sent. Runs under m_mutex.
bool LineTest::Extra(LineTestReport& report)
{
    report.verdict = LineTestReport::Verdict::Different;
    const std::size_t extra = m_received.size() - m_expected + m_dropped;
    report.reason = m_sent.empty() ? Bytes(extra) + " came in before anything was sent"
                                   : Bytes(extra) + " more came back than were sent, after " + m_sent;
    return false;
}

// After the last pattern the line must stay quiet.
bool LineTest::StaysQuiet(LineTestReport& report)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_cv.wait_for(lock, kQuiet, [&] { return m_received.size() > m_expected; }))
        return Extra(report);
    return true;
}
