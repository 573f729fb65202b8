#include "frontends/cli/console_log.h"

#include <algorithm>
#include <chrono>

#include "frontends/cli/console_platform.h"
#include "frontends/cli/terminal_text.h"

ConsoleLog::Settings ConsoleLog::TerminalSettings()
{
    Settings s;
    s.interactive = StdoutIsTerminal();
    s.notesShareOutput = StdoutAndStderrShareTarget();
    return s;
}

ConsoleLog::ConsoleLog(Settings settings, std::FILE* out) : m_settings(settings), m_out(out) {}

void ConsoleLog::PrintNote(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Where notes go elsewhere (a pipe, a file of their own), the step line
    // in progress stays open and is written once.
    if (m_settings.notesShareOutput)
        EndLine();
    std::fprintf(stderr, "vokta4-cli: %s\n", text.c_str());
    std::fflush(stderr);
}

void ConsoleLog::PrintText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    EndLine();
    Emit(text + "\n");
    std::fflush(m_out);
}

bool ConsoleLog::ShowMessage(const std::string& text, MessageButtons buttons)
{
    PrintText(text);
    return buttons == MessageButtons::Ok;
}

void ConsoleLog::FinishOutput()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    EndLine();
}

void ConsoleLog::Emit(const std::string& text)
{
    std::fputs(text.c_str(), m_out);
}

void ConsoleLog::EraseTransient()
{
    if (!m_transientShown)
        return;
    Emit("\r\x1b[K" + m_line);
    m_transientShown = false;
}

void ConsoleLog::ShowTransientText()
{
    if (!m_settings.interactive)
        return;
    std::string text = m_transient;
    const int span = m_progressHigh - m_progressLow;
    if (span > 0 && m_progressPos > m_progressLow) {
        const int percent = std::min(100, (m_progressPos - m_progressLow) * 100 / span);
        // The time left, from the step's pace so far, once there is one.
        const double done = static_cast<double>(m_progressPos - m_progressLow) / span;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_progressBegun).count();
        const int left = elapsed >= 2 && done >= 0.02 && done < 1 ? static_cast<int>(elapsed * (1 - done) / done + 0.5)
                                                                   : -1;
        text += ProgressText(percent, left, VisibleColumns(m_line + m_transient), TerminalColumns());
    }
    if (text.empty())
        return;
    if (!m_lineOnScreen) {
        Emit(m_line);
        m_lineOnScreen = true;
    }
    Emit(text);
    m_transientShown = true;
}

void ConsoleLog::SetLogText(const std::string& log, const std::string& transient)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (log.compare(0, m_printed.size(), m_printed) != 0) {
        // The log was cleared: start afresh on a new line.
        EndLine();
        m_printed.clear();
        m_line.clear();
    }
    std::string added = log.substr(m_printed.size());
    m_printed = log;
    EraseTransient();
    if (!added.empty()) {
        if (!m_lineOnScreen) {
            // A message was printed under the current line: continue the line
            // by writing it again, or start the next one directly.
            if (added.compare(0, 2, "\r\n") == 0)
                added.erase(0, 2);
            else
                Emit(m_line);
            m_lineOnScreen = true;
        }
        std::string text;
        for (std::size_t i = 0; i < added.size(); ++i) {
            if (added[i] == '\r' && i + 1 < added.size() && added[i + 1] == '\n')
                continue;
            text += added[i];
        }
        Emit(text);
        const std::size_t nl = text.find_last_of('\n');
        m_line = nl == std::string::npos ? m_line + text : text.substr(nl + 1);
    }
    m_transient = transient;
    ShowTransientText();
    std::fflush(m_out);
}

void ConsoleLog::SetProgressRange(int low, int high)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_progressLow = low;
    m_progressHigh = high;
    m_progressBegun = std::chrono::steady_clock::now();
}

void ConsoleLog::SetProgressPos(int pos)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (pos <= m_progressLow || pos < m_progressPos)
        m_progressBegun = std::chrono::steady_clock::now();  // a step begins again
    m_progressPos = pos;
    if (!m_settings.interactive)
        return;
    EraseTransient();
    ShowTransientText();
    std::fflush(m_out);
}

void ConsoleLog::EndLine()
{
    EraseTransient();
    if (m_lineOnScreen && !m_line.empty())
        Emit("\n");
    m_lineOnScreen = false;
    std::fflush(m_out);
}

