#include "dialog/log_renderer.h"

#include <cstring>

#include "res/resource.h"
#include "update/string_table.h"
#include "update/update_request.h"

namespace {

// The mark a step's line gets when the step is done: "......OK" after as
// many tabs as bring it into the log's column behind that step's text.
std::string Mark(StepId step, StepEnd end)
{
    if (end == StepEnd::NotPossible)
        return TXT_VERIFY_NOT_POSSIBLE;
    switch (step) {
    case StepId::Power:
    case StepId::Boot:
        return LoadStringResource(IDS_OK_2TABS);
    case StepId::Convert:
        return LoadStringResource(IDS_OK_1TAB);
    case StepId::Prepare:
    case StepId::Protect:  // no line of its own
        return std::string();
    default:
        return LoadStringResource(IDS_OK_3TABS);
    }
}

}  // namespace

void LogRenderer::ClearLog()
{
    m_strLog.clear();
    m_view.SetLogText(m_strLog, std::string());
}

void LogRenderer::AppendLog(const std::string& text, bool newLineFirst)
{
    m_strLog += newLineFirst ? "\r\n" + text : text;
    m_view.SetLogText(m_strLog, std::string());
}

void LogRenderer::ShowTransient(const std::string& text)
{
    m_view.SetLogText(m_strLog, text);
}

void LogRenderer::UpdateStarted(const std::string& text)
{
    ClearLog();
    m_barSet = false;
    if (m_barStale)
        m_view.SetProgressPos(0);
    m_barStale = false;
    AppendLog(text, false);
}

void LogRenderer::StepStarted(StepId step, const std::string& text)
{
    if (step != StepId::Power)  // its line has stood since the update started
        AppendLog(text, !m_strLog.empty());
}

void LogRenderer::StepDone(StepId step, const std::string&, StepEnd end)
{
    AppendLog(Mark(step, end), false);
    if (m_barSet) {
        m_view.SetProgressPos(0);
        m_barSet = false;
    }
}

// A window's progress bar holds a 16-bit range: a step of more bytes than
// that counts in tens of bytes. Records count from 0 to their number.
void LogRenderer::Progress(StepId step, std::uint64_t done, std::uint64_t total, const char* unit)
{
    const bool records = std::strcmp(unit, "records") == 0;
    const std::uint64_t scale = !records && total > 0xFFFF ? 10 : 1;
    if (!m_barSet || step != m_barStep || total != m_barTotal) {
        m_barSet = true;
        m_barStep = step;
        m_barTotal = total;
        const std::uint64_t high = records || scale > 1 ? total / scale : total - 1;
        m_view.SetProgressRange(0, static_cast<int>(high));
    }
    m_view.SetProgressPos(static_cast<int>(done / scale));
}

void LogRenderer::Note(const std::string& text)
{
    if (onNote)
        onNote(text);
}

void LogRenderer::FailureExplained(const std::string& reason, const std::string& advice)
{
    if (!reasonsInLog)
        return;
    if (!reason.empty())
        AppendLog(reason, true);
    if (!advice.empty())
        AppendLog(advice, true);
}

void LogRenderer::ChannelDataWrittenBack(const std::string& path)
{
    if (reasonsInLog)
        AppendLog("The channel data saved in " + path + " are written back.", true);
}

// After "Done." the log is cleared and the bar empty, ready for the next radio.
void LogRenderer::Finished(const UpdateResult& result)
{
    // A failed run's bar shows how far it got until the next WRITE.
    m_barStale = result.outcome != UpdateOutcome::Done;
    if (m_barStale)
        return;
    ClearLog();
    m_view.SetProgressPos(0);
}
