#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <thread>
#include <unistd.h>

Timing FastTiming()
{
    return Timing().ScaledDown(20);
}

TempDir::TempDir()
{
    char tmpl[] = "/tmp/vokta4-test-XXXXXX";
    m_path = ::mkdtemp(tmpl);
}

TempDir::~TempDir()
{
    const std::string cmd = "rm -rf '" + m_path + "'";
    (void)!std::system(cmd.c_str());
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
              dialog->OnTimer(1);
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

bool ScriptedView::ShowMessage(const std::string& text, bool okCancel)
{
    messages.push_back(text);
    if (onMessage)
        onMessage(text);
    if (!okCancel)
        return true;
    return m_answer < okCancelAnswers.size() ? okCancelAnswers[m_answer++] : true;
}

void ScriptedView::SetTimer1(unsigned ms)
{
    ++timerArms;
    m_queue.SetTimer1(std::chrono::milliseconds(ms));
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

void FakeBackend::PurgeInput()
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->pending.clear();
}
