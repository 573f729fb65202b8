#include "frontends/cli/console_view.h"

#include <algorithm>
#include <chrono>
#include <cctype>

#include "dialog/updater_dialog.h"
#include "frontends/cli/console_platform.h"
#include "frontends/cli/terminal_text.h"

ConsoleView::Settings ConsoleView::TerminalSettings(bool assumeYes)
{
    Settings s;
    s.assumeYes = assumeYes;
    s.interactive = StdoutIsTerminal();
    s.answerFd = 0;
    s.notesShareOutput = StdoutAndStderrShareTarget();
    return s;
}

ConsoleView::ConsoleView(Settings settings, std::FILE* out)
    : m_settings(settings), m_out(out), m_queue([this] {
          if (m_dialog)
              m_dialog->OnTimer();
      }),
      m_input(std::make_unique<PromptInput>(settings.answerFd))
{
}

ConsoleView::~ConsoleView() = default;

void ConsoleView::Interrupt()
{
    m_interrupted = true;
    m_input->Cancel();
    m_queue.Post([this] {
        if (m_dialog)
            m_dialog->OnCloseButton();
    });
}

void ConsoleView::PrintNote(const std::string& text)
{
    // Where notes go elsewhere (a pipe, a file of their own), the step line
    // in progress stays open and is written once.
    if (m_settings.notesShareOutput)
        FinishOutput();
    std::fprintf(stderr, "vokta4-cli: %s\n", text.c_str());
    std::fflush(stderr);
}

void ConsoleView::PostNote(const std::string& text)
{
    m_queue.Post([this, text] { PrintNote(text); });
}

void ConsoleView::SetPortList(const std::vector<std::string>& ports, int selected)
{
    m_ports = ports;
    m_selected = selected;
}

std::string ConsoleView::SelectedPort() const
{
    if (!m_forcedPort.empty())
        return m_forcedPort;
    if (m_selected < 0 || m_selected >= static_cast<int>(m_ports.size()))
        return std::string();
    return m_ports[static_cast<std::size_t>(m_selected)];
}

void ConsoleView::SelectPort(const std::string& name)
{
    for (std::size_t i = 0; i < m_ports.size(); ++i) {
        if (m_ports[i] == name)
            m_selected = static_cast<int>(i);
    }
}

void ConsoleView::Emit(const std::string& text)
{
    std::fputs(text.c_str(), m_out);
}

void ConsoleView::EraseTransient()
{
    if (!m_transientShown)
        return;
    Emit("\r\x1b[K" + m_line);
    m_transientShown = false;
}

void ConsoleView::ShowTransientText()
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

void ConsoleView::SetLogText(const std::string& log, const std::string& transient)
{
    if (log.compare(0, m_printed.size(), m_printed) != 0) {
        // The log was cleared: start afresh on a new line.
        EraseTransient();
        FinishOutput();
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

void ConsoleView::SetProgressRange(int low, int high)
{
    m_progressLow = low;
    m_progressHigh = high;
    m_progressBegun = std::chrono::steady_clock::now();
}

void ConsoleView::SetProgressPos(int pos)
{
    if (pos <= m_progressLow || pos < m_progressPos)
        m_progressBegun = std::chrono::steady_clock::now();  // a step begins again
    m_progressPos = pos;
    if (!m_settings.interactive)
        return;
    EraseTransient();
    ShowTransientText();
    std::fflush(m_out);
}

void ConsoleView::FinishOutput()
{
    EraseTransient();
    if (m_lineOnScreen && !m_line.empty())
        Emit("\n");
    m_lineOnScreen = false;
    std::fflush(m_out);
}

bool ConsoleView::ShowMessage(const std::string& text, MessageButtons buttons)
{
    FinishOutput();
    Emit(text + "\n");
    std::fflush(m_out);
    if (buttons == MessageButtons::Ok)
        return true;
    const bool cancelByDefault = buttons == MessageButtons::OkCancelDefaultCancel;
    // --yes answers the power question, never one that replaces channel data.
    if (m_settings.assumeYes)
        return !m_interrupted && !cancelByDefault;
    return AskOkCancel(cancelByDefault);
}

// A reason typed on its own line; an empty line, end of input, Ctrl-C and
// --yes answer Cancel.
bool ConsoleView::AskReason(const std::string& prompt, std::string& reason)
{
    FinishOutput();
    Emit(prompt + "\n");
    std::fflush(m_out);
    if (m_settings.assumeYes || m_interrupted)
        return false;
    if (InputIsTerminal(m_settings.answerFd))
        std::fputs("[the reason, or Enter = Cancel] ", stderr);
    std::string answer;
    if (!m_input->ReadLine(answer) || m_interrupted)
        return false;
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' '))
        answer.pop_back();
    reason = answer;
    return !reason.empty();
}

// Reads one answer line: "y", "yes" or "ok" mean OK, and so does an empty
// line unless Cancel is the default; anything else, end of input or Ctrl-C
// mean Cancel.
bool ConsoleView::AskOkCancel(bool cancelByDefault)
{
    if (InputIsTerminal(m_settings.answerFd))
        std::fputs(cancelByDefault ? "[y = OK, Enter = Cancel] " : "[Enter = OK, n = Cancel] ", stderr);
    std::string answer;
    if (m_interrupted)
        return false;
    if (!m_input->ReadLine(answer)) {
        if (!m_interrupted)
            PrintNote("no answer: the input ended, so this counts as Cancel (--yes answers OK)");
        return false;
    }
    if (m_interrupted)
        return false;
    for (char& ch : answer)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' '))
        answer.pop_back();
    return (answer.empty() && !cancelByDefault) || answer == "y" || answer == "yes" || answer == "ok";
}
