#include "test_support.h"

#include "update/memory_map.h"
#include "sim/radio_model.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

Timing FastTiming()
{
    return Timing().ScaledDown(VOKTA4_TEST_TIME_DIVISOR);
}

TempDir::TempDir()
{
    static std::atomic<int> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        const std::filesystem::path p = std::filesystem::temp_directory_path() /
                                        ("vokta4-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
        if (std::filesystem::create_directory(p)) {
            m_path = p.generic_string();
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void TempDir::Write(const std::string& name, const std::string& content) const
{
    std::ofstream(File(name), std::ios::binary) << content;
}

std::vector<std::uint8_t> ReadBinary(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ScriptedView::ScriptedView()
    : m_queue([this] {
          if (dialog)
              dialog->OnTimer();
      })
{
}

void ScriptedView::PostClose()
{
    m_queue.Post([this] { dialog->OnCloseButton(); });
}

int ScriptedView::CountMessages(const std::string& text) const
{
    int n = 0;
    for (const std::string& m : messages)
        n += m == text;
    return n;
}

std::string ScriptedView::SelectedPort() const
{
    if (selected < 0 || selected >= static_cast<int>(ports.size()))
        return std::string();
    return ports[static_cast<std::size_t>(selected)];
}

void ScriptedView::SelectPort(const std::string& name)
{
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i] == name)
            selected = static_cast<int>(i);
    }
}

void ScriptedView::SetLogText(const std::string& l, const std::string& t)
{
    log = l;
    transient = t;
    if (!t.empty())
        transients.push_back(t);
}

void ScriptedView::SetProgressPos(int pos)
{
    positions.push_back(pos);
    if (onProgress)
        onProgress(pos);
}

bool ScriptedView::ShowMessage(const std::string& text, MessageButtons buttons)
{
    messages.push_back(text);
    if (onMessage)
        onMessage(text);
    if (buttons == MessageButtons::Ok)
        return true;
    cancelByDefault.push_back(buttons == MessageButtons::OkCancelDefaultCancel);
    if (cancelChannelQuestions && buttons == MessageButtons::OkCancelDefaultCancel)
        return false;
    return m_answer < okCancelAnswers.size() ? okCancelAnswers[m_answer++] : true;
}

void ScriptedView::SetTimer1(unsigned ms)
{
    ++timerArms;
    m_queue.SetTimer1(std::chrono::milliseconds(static_cast<long long>(ms * timerShare)));
}

bool FakeBackend::Open(const std::string&, std::string& error)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (m_shared->failOpen) {
        error = "no such device";
        return false;
    }
    ++m_shared->opens;
    return true;
}

void FakeBackend::Close()
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (m_shared->readerInside)
        m_shared->closedWhileReaderInside = true;
    ++m_shared->closes;
}

long FakeBackend::Write(const std::uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->written.emplace_back(data, data + length);
    return static_cast<long>(length);
}

std::size_t FakeBackend::BytesWaiting()
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        hook.swap(m_shared->onBytesWaiting);
    }
    if (hook)
        hook();
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->pending.size();
}

long FakeBackend::Read(std::uint8_t* buffer, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    const std::size_t n = std::min(length, m_shared->pending.size());
    std::copy(m_shared->pending.begin(), m_shared->pending.begin() + static_cast<long>(n), buffer);
    m_shared->pending.erase(m_shared->pending.begin(), m_shared->pending.begin() + static_cast<long>(n));
    m_shared->readSizes.push_back(length);
    return static_cast<long>(n);
}

PortBackend::WaitResult FakeBackend::WaitReadable(std::chrono::milliseconds timeout)
{
    if (m_shared->readerStuck) {
        // A reader blocked in the driver: it ignores the stop request until
        // the test lets it go.
        m_shared->readerInside = true;
        while (m_shared->readerStuck)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_shared->readerInside = false;
        return WaitResult::TimedOut;
    }
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (!m_shared->pending.empty())
            return WaitResult::Readable;
    }
    std::this_thread::sleep_for(std::min(timeout, std::chrono::milliseconds(2)));
    return WaitResult::TimedOut;
}

std::size_t FakeBackend::PurgeInput()
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    const std::size_t dropped = m_shared->pending.size();
    m_shared->pending.clear();
    return dropped;
}

std::string SRecordLine(int type, std::uint32_t address, const std::vector<std::uint8_t>& data)
{
    const int addressBytes = type + 1;
    const unsigned count = static_cast<unsigned>(addressBytes + 1 + static_cast<int>(data.size()));
    unsigned sum = count;
    char buf[16];
    std::snprintf(buf, sizeof buf, "S%d%02X", type, count);
    std::string line = buf;
    for (int i = addressBytes - 1; i >= 0; --i) {
        const unsigned b = (address >> (8 * i)) & 0xFF;
        sum += b;
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
    }
    for (std::uint8_t b : data) {
        sum += b;
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
    }
    std::snprintf(buf, sizeof buf, "%02X", ~sum & 0xFFu);
    return line + buf;
}

std::uint8_t FirmwareByte(int seed, std::uint32_t offset)
{
    return static_cast<std::uint8_t>((offset * 31 + static_cast<std::uint32_t>(seed) * 101 + (offset >> 8)) & 0xFF);
}

std::string FirmwareText(int seed, int type, int perRecord)
{
    std::string text = "S0030000FC\n";
    for (std::uint32_t off = 0; off < 0x20000; off += static_cast<std::uint32_t>(perRecord)) {
        std::vector<std::uint8_t> data;
        for (int i = 0; i < perRecord; ++i)
            data.push_back(FirmwareByte(seed, off + static_cast<std::uint32_t>(i)));
        text += SRecordLine(type, 0xFE0000 + off, data) + "\n";
    }
    return text + "S804FE0000FD\n";
}

std::vector<std::uint8_t> ExpectedFlash(int seed, std::uint8_t marker)
{
    std::vector<std::uint8_t> image(kImageSize);
    for (std::uint32_t i = 0; i < kImageSize; ++i)
        image[i] = FirmwareByte(seed, i);
    const std::vector<std::uint8_t> factory = RadioModel::FactoryFlash();
    std::copy(factory.begin() + (kChannelStart - kImageBase), factory.begin() + (kChannelEnd + 1 - kImageBase),
              image.begin() + (kChannelStart - kImageBase));
    image[kMarkerAddress - kImageBase] = marker;
    return image;
}
