#include "sim/radio_model.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {

constexpr std::uint8_t kContactRequest = 0x18;
constexpr std::uint8_t kContactAnswer = 0x11;
constexpr std::uint8_t kFrameAccept = 0x01;
constexpr std::uint8_t kFrameRefuse = 0x02;
constexpr std::uint8_t kStatusAccept = 0x31;  // "1"
constexpr std::uint8_t kStatusRefuse = 0x32;  // "2"
constexpr std::uint8_t kFrameStart = 0x00;    // a boot frame's first byte
constexpr std::uint8_t kBootStart = 0x40;
constexpr std::uint8_t kProtectQuery = 0xE8;
constexpr std::uint8_t kRead = 0x28;
constexpr std::uint8_t kClear1 = 0x38;
constexpr std::uint8_t kClear2 = 0x48;
constexpr std::uint8_t kWrite = 0x08;
constexpr std::uint32_t kBlock = 512;
constexpr std::uint32_t kChannelStart = 0xFF8000;
constexpr std::size_t kMaxRecorded = 4096;  // turnarounds or dropped stages kept: several updates' worth

}  // namespace

RadioModel::RadioModel(Settings settings) : m_settings(std::move(settings)), m_flash(FactoryFlash()) {}

std::chrono::nanoseconds RadioModel::ByteTime() const
{
    // 10 bits a byte (start, 8 data, stop) at 19200 baud.
    return m_settings.wireTiming ? std::chrono::nanoseconds(1'000'000'000LL * 10 / 19200) : std::chrono::nanoseconds(0);
}

std::vector<std::uint8_t> RadioModel::FactoryFlash()
{
    std::vector<std::uint8_t> flash(kFlashSize);
    for (std::uint32_t i = 0; i < kFlashSize; ++i)
        flash[i] = static_cast<std::uint8_t>((i * 7 + (i >> 9)) & 0xFF);  // old firmware
    static const char tag[] = "VR-3900 CHANNEL DATA ";
    for (std::uint32_t a = kChannelStart; a <= 0xFFBFFF; ++a) {
        const std::uint32_t i = a - kFlashBase;
        flash[i] = static_cast<std::uint8_t>(tag[(a - kChannelStart) % (sizeof tag - 1)] ^ ((a >> 9) & 0x1F));
    }
    return flash;
}

std::vector<std::uint8_t> RadioModel::Flash() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_flash;
}

void RadioModel::SetFlash(const std::vector<std::uint8_t>& flash)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_flash = flash;
    m_flash.resize(kFlashSize, 0xFF);
}

bool RadioModel::LoadFlash(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in) {
        error = path + ": cannot be read";
        return false;
    }
    if (data.size() != kFlashSize) {
        error = path + ": a flash file holds exactly 131072 bytes";
        return false;
    }
    SetFlash(data);
    return true;
}

bool RadioModel::SaveFlash(const std::string& path, std::string& error) const
{
    const std::vector<std::uint8_t> flash = Flash();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
    if (!out.flush()) {
        error = path + ": cannot be written";
        return false;
    }
    return true;
}

RadioModel::Transcript RadioModel::GetTranscript() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_transcript;
}

void RadioModel::Log(const char* fmt, unsigned value)
{
    char line[64];
    std::snprintf(line, sizeof line, fmt, value);
    m_transcript.commands.emplace_back(line);
}

void RadioModel::PowerCycle()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state = State::Loader;
    m_pending.clear();
    m_awaitingData = false;
    m_poweredOff = false;
    m_busyUntil = Clock::time_point{};
    m_givesUpWaiting = false;
    m_readingGivenUpData = false;
}

std::vector<RadioModel::Output> RadioModel::Feed(const std::uint8_t* data, std::size_t length, Clock::time_point arrival,
                                                 Clock::time_point quietSince)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Output> out;
    if (m_poweredOff)
        return out;
    const auto byteTime = ByteTime();
    m_transcript.bytesIn += length;
    // Like a real receiver, a pause in the middle of a command or data stage
    // abandons it, so that a sender retrying after a time-out is understood.
    // A radio that is busy (answering late) reads nothing meanwhile: bytes
    // that came in then wait for it, and it sees no pause before them.
    const Clock::time_point readyFrom = std::max({m_lastArrival, m_busyUntil, quietSince});
    if ((!m_pending.empty() || m_awaitingData) && arrival > readyFrom &&
        arrival - readyFrom > m_settings.abandonAfter) {
        if (m_transcript.abandoned.size() < kMaxRecorded) {
            // The pause heard, and the whole time since the tool's last
            // bytes and since the radio's own answer left it.
            auto ms = [](Clock::duration d) {
                return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
            };
            char what[48];
            if (m_awaitingData)
                std::snprintf(what, sizeof what, "the data of block %06X", static_cast<unsigned>(m_writeAddress));
            else
                std::snprintf(what, sizeof what, "a frame or command");
            char line[256];
            std::snprintf(line, sizeof line, "%s (%zu bytes in), after %lld ms heard quiet (%lld ms since the tool's "
                          "last byte, %lld ms since the radio's last answer)",
                          what, m_pending.size(), ms(arrival - readyFrom), ms(arrival - m_lastArrival),
                          ms(std::max(arrival - m_lineOut, Clock::duration::zero())));
            m_transcript.abandoned.emplace_back(line);
        }
        m_pending.clear();
        m_awaitingData = false;
    }
    m_lastArrival = arrival;
    m_knocking = length > 0 && std::all_of(data, data + length, [](std::uint8_t b) { return b == kContactRequest; });
    if (m_awaitingData && m_pending.empty() && length > 0 && m_transcript.dataTurnarounds.size() < kMaxRecorded)
        m_transcript.dataTurnarounds.push_back(std::max(arrival - m_lineOut, Clock::duration::zero()));
    for (std::size_t i = 0; i < length; ++i) {
        m_lineIn = std::max(m_lineIn, arrival) + byteTime;
        Byte(data[i], std::max(m_lineIn, m_busyUntil), out);
    }
    return out;
}

const char* RadioModel::StepName(Step s)
{
    static const char* const names[] = {"contact", "boot", "start", "protect", "read", "clear1", "clear2", "wcmd", "wdata"};
    return names[static_cast<int>(s)];
}

const char* RadioModel::FaultName(Fault f)
{
    static const char* const names[] = {"silence", "refuse", "short",   "garbage",
                                        "late",    "hangup", "extra", "corrupt", "gaveup"};
    return names[static_cast<int>(f)];
}

bool RadioModel::CorruptsNext(int index)
{
    for (const FaultRule& rule : m_settings.faults) {
        if (rule.step == Step::WriteData && rule.fault == Fault::Corrupt && (rule.index < 0 || rule.index == index))
            return true;
    }
    return false;
}

const RadioModel::FaultRule* RadioModel::FaultFor(Step step, int index)
{
    const std::pair<int, int> key(static_cast<int>(step), index);
    auto it = std::find_if(m_attempts.begin(), m_attempts.end(), [&](const auto& e) { return e.first == key; });
    if (it == m_attempts.end())
        it = m_attempts.insert(m_attempts.end(), {key, 0});
    const int attempt = ++it->second;
    for (const FaultRule& rule : m_settings.faults) {
        if (rule.step == step && (rule.index < 0 || rule.index == index) && attempt <= rule.attempts)
            return &rule;
    }
    return nullptr;
}

bool RadioModel::Answer(Step step, int index, std::vector<std::uint8_t> bytes, std::uint8_t refusal,
                        Clock::time_point at, std::chrono::nanoseconds work, std::vector<Output>& out)
{
    Clock::time_point start = std::max(at + work, m_lineOut);
    const Cut cut = m_settings.beforeAnswer ? m_settings.beforeAnswer(m_answers++, step) : Cut::None;
    if (cut == Cut::PowerOff) {
        m_poweredOff = true;
        return false;
    }
    if (cut == Cut::HangUp) {
        out.push_back({start, {}, true});
        return false;
    }
    if (const FaultRule* rule = FaultFor(step, index)) {
        switch (rule->fault) {
        case Fault::Silence:
            return false;
        case Fault::Refuse:
            if (refusal == 0)
                return false;
            bytes = {refusal};
            Emit(start, std::move(bytes), out);
            return false;
        case Fault::Short:
            bytes.pop_back();
            Emit(start, std::move(bytes), out);
            return false;
        case Fault::Garbage:
            bytes.insert(bytes.begin(), {0x7E, 0x55, 0xAA});
            if (rule->lateBy.count() > 0 && bytes.size() > 4) {
                // The tail that the stray bytes pushed past the answer's
                // length comes later, as a USB adapter holding its last
                // partial packet delivers it.
                std::vector<std::uint8_t> tail(bytes.end() - 3, bytes.end());
                bytes.resize(bytes.size() - 3);
                Emit(start, std::move(bytes), out);
                Emit(m_lineOut + rule->lateBy, std::move(tail), out);
                return true;
            }
            break;
        case Fault::Late:
            // The radio is busy until it answers.
            start += rule->lateBy.count() > 0 ? rule->lateBy : m_settings.lateBy;
            m_busyUntil = std::max(m_busyUntil, start);
            break;
        case Fault::Corrupt:
            break;  // the answer is as it should be; the flash is not
        case Fault::GaveUp:
            m_givesUpWaiting = true;  // the answer is as it should be; the data are not awaited
            m_givenUpAnswersLateBy = rule->lateBy;
            break;
        case Fault::Extra:
            if (rule->lateBy.count() == 0) {
                bytes.push_back(bytes.back());
                break;
            }
            {
                // The extra byte on its own, a while after the answer.
                const std::uint8_t extra = bytes.back();
                Emit(start, std::move(bytes), out);
                Emit(m_lineOut + rule->lateBy, {extra}, out);
            }
            return true;
        case Fault::HangUp:
            out.push_back({start, {}, true});
            return false;
        }
    }
    Emit(start, std::move(bytes), out);
    return true;
}

void RadioModel::Emit(Clock::time_point start, std::vector<std::uint8_t> bytes, std::vector<Output>& out)
{
    if (bytes.empty())
        return;
    if (m_readingGivenUpData && m_givenUpAnswers++ > 0)
        start += m_givenUpAnswersLateBy;
    m_transcript.bytesOut += bytes.size();
    m_lineOut = start + ByteTime() * static_cast<long>(bytes.size());
    out.push_back({start, std::move(bytes), false});
}

void RadioModel::Byte(std::uint8_t b, Clock::time_point at, std::vector<Output>& out)
{
    if (m_state == State::Loader)
        LoaderByte(b, at, out);
    else if (m_awaitingData)
        DataByte(b, at, out);
    else
        BootByte(b, at, out);
}

// The resident loader: contact, boot frames, boot start.
void RadioModel::LoaderByte(std::uint8_t b, Clock::time_point at, std::vector<Output>& out)
{
    if (m_pending.empty()) {
        if (b == kContactRequest) {
            ++m_transcript.contacts;
            Answer(Step::Contact, -1, {kContactAnswer}, 0, at, {}, out);
        } else if (b == kFrameStart || b == kBootStart) {
            m_pending.push_back(b);
        }
        return;
    }
    m_pending.push_back(b);
    if (m_pending[0] == kBootStart) {  // and four zero bytes
        if (m_pending.size() < 5)
            return;
        const bool ok = std::all_of(m_pending.begin() + 1, m_pending.end(), [](std::uint8_t v) { return v == 0; }) &&
                        m_transcript.bootFrames > 0;
        m_pending.clear();
        Log("boot start %u", ok ? 1u : 0u);
        // A start that is not answered "1" leaves the loader in charge.
        if (Answer(Step::BootStart, -1, {ok ? kStatusAccept : kStatusRefuse}, kStatusRefuse, at, {}, out) && ok) {
            m_state = State::Boot;
            m_transcript.bootStarted = true;
        }
        return;
    }
    // Boot frame: 00, address high, address low, 00, n, n data bytes, sum.
    if (m_pending.size() < 5)
        return;
    const std::size_t n = m_pending[4];
    if (m_pending.size() < 6 + n)
        return;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 5 + n; ++i)
        sum = static_cast<std::uint8_t>(sum + m_pending[i]);
    const bool ok = m_pending[3] == 0x00 && n > 0 && n <= 122 && sum == m_pending[5 + n];
    const int index = m_transcript.bootFrames + m_transcript.badBootFrames;
    (ok ? m_transcript.bootFrames : m_transcript.badBootFrames)++;
    m_pending.clear();
    Answer(Step::BootRecord, index, {ok ? kFrameAccept : kFrameRefuse}, kFrameRefuse, at, {}, out);
}

// The data stage of a block write: 512 bytes, programmed, acknowledged.
void RadioModel::DataByte(std::uint8_t b, Clock::time_point at, std::vector<Output>& out)
{
    m_pending.push_back(b);
    if (m_pending.size() < kBlock)
        return;
    m_awaitingData = false;
    bool ok = true;
    const std::uint32_t offset = m_writeAddress - kFlashBase;
    for (std::uint32_t i = 0; i < kBlock; ++i) {
        // Flash programming only clears bits: an unerased byte refuses.
        if ((m_flash[offset + i] & m_pending[i]) != m_pending[i])
            ok = false;
    }
    if (ok) {
        for (std::uint32_t i = 0; i < kBlock; ++i)
            m_flash[offset + i] = m_pending[i];
        // A silent programming fault: one bit of the block stays wrong.
        if (CorruptsNext(static_cast<int>(offset / kBlock)))
            m_flash[offset + 100] = static_cast<std::uint8_t>(m_flash[offset + 100] ^ 0x01);
    }
    m_pending.clear();
    Answer(Step::WriteData, static_cast<int>(offset / kBlock), {ok ? kStatusAccept : kStatusRefuse}, kStatusRefuse,
           at, {}, out);
}

// The boot program: protect query and the 8-byte block commands.
void RadioModel::BootByte(std::uint8_t b, Clock::time_point at, std::vector<Output>& out)
{
    if (m_pending.empty()) {
        if (b == kContactRequest && m_knocking) {
            // The loader's contact byte while the boot program runs: the
            // radio has been switched off and on, and its loader answers.
            // Only contact bytes that came alone (one write of the tool, one
            // read of the line) are the tool knocking; one among other bytes
            // (a block's data the radio gave up waiting for, read as
            // commands) is nothing the boot program knows.
            m_state = State::Loader;
            ++m_transcript.contacts;
            Answer(Step::Contact, -1, {kContactAnswer}, 0, at, {}, out);
        } else if (b == kProtectQuery) {
            Log("protect %u", 0);
            Answer(Step::Protect, -1, {kStatusAccept}, kStatusRefuse, at, {}, out);
        } else if (b == kRead || b == kClear1 || b == kClear2 || b == kWrite) {
            m_pending.push_back(b);
        }
        return;
    }
    m_pending.push_back(b);
    if (m_pending.size() == 8) {
        const std::vector<std::uint8_t> cmd = m_pending;
        m_pending.clear();
        Command(cmd, at, out);
    }
}

void RadioModel::Command(const std::vector<std::uint8_t>& cmd, Clock::time_point at, std::vector<Output>& out)
{
    const std::uint32_t address = cmd[1] | (cmd[2] << 8) | (cmd[3] << 16);
    const std::uint32_t length = cmd[5] | (cmd[6] << 8);
    const std::uint8_t area = cmd[7];
    const bool inFlash = address >= kFlashBase && address - kFlashBase + kBlock <= kFlashSize && address % kBlock == 0;
    const std::uint8_t expectedArea = ((address >> 16) & 0xFF) == 0xFE ? 0 : 1;
    switch (cmd[0]) {
    case kRead: {
        Log("read %06X", address);
        if (!inFlash || length != kBlock || area != expectedArea)
            return;  // nothing sensible to send: the tool times out
        std::vector<std::uint8_t> reply = {0x00, 0x02};
        reply.insert(reply.end(), m_flash.begin() + (address - kFlashBase),
                     m_flash.begin() + (address - kFlashBase + kBlock));
        const int index = static_cast<int>((address - kChannelStart) / kBlock);
        Answer(Step::ReadBlock, address >= kChannelStart ? index : -2, std::move(reply), 0, at, {}, out);
        return;
    }
    case kClear1:
    case kClear2: {
        Log(cmd[0] == kClear1 ? "clear1 area %u" : "clear2 area %u", area);
        const bool ok = address == kFlashBase && length == 0 && area <= 1;
        if (ok) {
            const std::uint32_t from = area == 0 ? 0 : 0x10000;
            std::fill(m_flash.begin() + from, m_flash.begin() + from + 0x10000, 0xFF);
        }
        Answer(cmd[0] == kClear1 ? Step::Clear1 : Step::Clear2, -1, {ok ? kStatusAccept : kStatusRefuse}, kStatusRefuse,
               at, m_settings.eraseTime, out);
        return;
    }
    case kWrite: {
        Log("write %06X", address);
        const bool ok = inFlash && length == kBlock && area == expectedArea;
        const bool accepted = Answer(Step::WriteCommand, inFlash ? static_cast<int>((address - kFlashBase) / kBlock) : -2,
                                     {ok ? kStatusAccept : kStatusRefuse}, kStatusRefuse, at, {}, out);
        m_awaitingData = ok && accepted && !m_givesUpWaiting;
        if (m_givesUpWaiting) {
            m_readingGivenUpData = true;
            m_givenUpAnswers = 0;
        } else if (m_awaitingData) {
            m_readingGivenUpData = false;
        }
        m_givesUpWaiting = false;
        m_writeAddress = address;
        return;
    }
    default:
        return;
    }
}
