// What every step shares: reporting, the counted exchange with its
// retries, and the one stop state.
#include "update/update_context.h"

#include <cstdio>
#include <ctime>

#include "update/exchange.h"
#include "update/memory_map.h"
#include "platform/paths.h"
#include "update/update_journal.h"

void UpdateContext::Begin(const UpdateRequest& request)
{
    m_request = request;
    m_stopState = StopState::Running;
    m_result = UpdateResult();
    m_result.outcome = UpdateOutcome::FailedIntact;
    m_journalEntry.clear();
    m_failureReported = false;
    m_writtenBackFrom.clear();
    m_writtenBackProven = false;
    m_sameRadioEntries.clear();
    m_adapter = PortDetails();
    m_radioChannelData.clear();
    m_backupHold.Release();
    m_channelDataRead = false;
    m_step = StepId::Prepare;
    m_stepText.clear();
    m_stepAttempts.clear();
    m_stepRetries.clear();
    m_retries = 0;
    m_verified.clear();
    m_approved.clear();
    m_approvedSha256.clear();
    m_firmwareSha256.clear();
    m_firmwareSize = 0;
    m_startedUtc = static_cast<std::int64_t>(std::time(nullptr));
    m_startedNanos = SteadyNanos();
    m_endedUtc = 0;
    m_endedNanos = 0;
    m_dataFilePath = DataFilePathFor(request, m_host);
    m_result.dataFilePath = m_dataFilePath;
    m_journalFolders = JournalFolders(DirectoryOf(m_dataFilePath), m_host.UserStateFolder());
    m_incompleteAccepted = false;
}

void UpdateContext::SetDetail(std::string text)
{
    m_result.detail = std::move(text);
    Note(m_result.detail);
}

void UpdateContext::Note(const std::string& text)
{
    m_events.Note(text);
}

void UpdateContext::Message(const std::string& text)
{
    m_result.lastMessage = text;
    m_events.Message(text);
}

void UpdateContext::FailureMessage(const std::string& text)
{
    ReportFailure();
    Message(text);
}

void UpdateContext::MarkEnded()
{
    if (m_endedNanos != 0)
        return;
    m_endedUtc = static_cast<std::int64_t>(std::time(nullptr));
    m_endedNanos = SteadyNanos();
}

void UpdateContext::ReportFailure()
{
    MarkEnded();
    if (m_failureReported)
        return;
    m_failureReported = true;
    const std::string advice = !EraseStarted() ? std::string()
                                               : "The radio's flash is erased: it needs another update. Press WRITE "
                                                 "again; its channel data, saved in " +
                                                     m_result.backupPath + ", are offered for writing back.";
    m_events.FailureExplained(m_result.detail, advice);
}

void UpdateContext::StepStarted(const std::string& text)
{
    m_stepText = text;
    m_events.StepStarted(m_step, text);
}

void UpdateContext::StepDone(StepEnd end)
{
    m_events.StepDone(m_step, m_stepText, end);
}

void UpdateContext::Progress(std::uint64_t done, std::uint64_t total, const char* unit)
{
    m_events.Progress(m_step, done, total, unit);
}

std::string UpdateContext::BlockContext(std::uint32_t address) const
{
    char where[80];
    std::snprintf(where, sizeof where, "block 0x%06X, attempt %d of %d: ", static_cast<unsigned>(address), m_attempt,
                  kBlockAttempts);
    return where;
}

namespace {

void Count(std::vector<std::pair<std::string, int>>& counts, StepId id)
{
    const std::string step = StepName(id);
    if (counts.empty() || counts.back().first != step)
        counts.emplace_back(step, 0);
    ++counts.back().second;
}

}  // namespace

ExchangeResult UpdateContext::Exchange(const ::Exchange& x)
{
    Count(m_stepAttempts, m_step);
    std::string detail;
    const ExchangeResult result = m_link.Run(x, detail);
    if (!detail.empty())
        SetDetail(detail);
    if (x.timeOutMessage && (result == ExchangeResult::TimedOut || result == ExchangeResult::LineDown))
        FailureMessage(x.timeOutMessage);
    return result;
}

bool UpdateContext::WithRetries(bool (*attempt)(UpdateContext&, std::uint32_t), std::uint32_t address)
{
    for (int failures = 0;;) {
        if (!m_link.Running())
            return false;  // aborted: nothing more goes to the port
        m_attempt = failures + 1;
        if (attempt(*this, address))
            return true;
        if (++failures >= kBlockAttempts || !m_link.Running() || m_link.Serial().LineDown())
            return false;
        Count(m_stepRetries, m_step);
        ++m_retries;
        m_link.DrainLine();
    }
}

bool UpdateContext::AcceptStopBeforeErase()
{
    StopState expected = StopState::Running;
    return m_stopState.compare_exchange_strong(expected, StopState::StopAccepted) ||
           expected == StopState::StopAccepted;
}

bool UpdateContext::BeginErase()
{
    StopState expected = StopState::Running;
    return m_stopState.compare_exchange_strong(expected, StopState::Erasing) || expected == StopState::Erasing;
}

std::string DataFilePathFor(const UpdateRequest& request, Host& host)
{
    return request.dataFilePath.empty() ? host.DataFolder() + "vokt.tmp" : request.dataFilePath;
}
