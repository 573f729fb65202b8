#include "frontends/cli/fleet_table.h"

#include <chrono>
#include <string>
#include <vector>

#include "frontends/cli/console_platform.h"
#include "frontends/cli/radio_session.h"
#include "frontends/cli/terminal_text.h"

namespace {

std::string Row(const std::string& port, const std::string& step, const std::string& percent,
                const std::string& retries, const std::string& result)
{
    char line[512];
    std::snprintf(line, sizeof line, "%-22.22s %-24.24s %7s %7s  %s", port.c_str(), step.c_str(), percent.c_str(),
                  retries.c_str(), result.c_str());
    return line;
}

// The widest row: under it the table stacks its fields.
constexpr int kWideColumns = 80;

// "/dev/ttyUSB0" shows as "ttyUSB0", "\\\\.\\COM3" as "COM3".
std::string ShortPort(const std::string& port)
{
    const std::size_t cut = port.find_last_of("/\\");
    return cut == std::string::npos || cut + 1 == port.size() ? port : port.substr(cut + 1);
}

}  // namespace

FleetTable::FleetTable(std::FILE* out, bool live) : m_out(out), m_live(live) {}

FleetTable::~FleetTable()
{
    Finish();
}

void FleetTable::Watch(const std::vector<RadioSession*>& radios)
{
    m_radios = radios;
    if (m_live)
        m_thread = std::thread(&FleetTable::Loop, this);
}

void FleetTable::Event(const RadioEvent& e)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    switch (e.kind) {
    case RadioEvent::Kind::Prompt:
        m_promptOpen = true;
        std::fprintf(m_out, "%s\n", e.text.c_str());
        std::fflush(m_out);
        return;
    case RadioEvent::Kind::StepDone:
        m_promptOpen = false;
        if (!m_live)
            std::fprintf(m_out, "%s: %s ......OK\n", e.port.c_str(), e.text.c_str());
        break;
    case RadioEvent::Kind::StepFailed:  // its message box and notes say it
        m_promptOpen = false;
        return;
    case RadioEvent::Kind::Message:
        if (!m_live)
            std::fprintf(m_out, "%s: %s\n", e.port.c_str(), e.text.c_str());
        break;
    case RadioEvent::Kind::Note:
        if (!m_live)
            std::fprintf(stderr, "vokta4-cli: %s: %s\n", e.port.c_str(), e.text.c_str());
        break;
    case RadioEvent::Kind::Finished:
        m_promptOpen = false;
        if (!m_live)
            std::fprintf(m_out, "%s: ended, exit status %d\n", e.port.c_str(), e.exitStatus);
        if (!e.restoreCommand.empty() && e.exitStatus == 2)
            m_restoreNotes.push_back("vokta4-cli: " + e.port + " needs another update; with its channel data:\n  " +
                                     e.restoreCommand + "\n");
        else if (!e.restoreCommand.empty())
            m_restoreNotes.push_back("vokta4-cli: " + e.port +
                                     " is unchanged: an earlier update did not finish. If this is its radio, "
                                     "write the saved channel data back by:\n  " +
                                     e.restoreCommand + "\n");
        break;
    default:
        return;
    }
    std::fflush(m_out);
}

void FleetTable::Loop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (!m_promptOpen)
            Draw();
        m_cv.wait_for(lock, std::chrono::milliseconds(250), [this] { return m_stop; });
    }
}

// Under m_mutex.
void FleetTable::Draw()
{
    // Asked at every drawing: the window may have been resized.
    const int columns = TerminalColumns();
    std::vector<std::string> lines;
    if (columns == 0 || columns >= kWideColumns) {
        lines.push_back(Row("PORT", "STEP", "PERCENT", "RETRIES", "RESULT"));
        for (RadioSession* r : m_radios) {
            const RadioSession::Status s = r->Snapshot();
            lines.push_back(Row(r->Port(), s.step, std::to_string(s.percent) + "%", std::to_string(s.retries), s.result));
        }
    } else {
        // Narrow: the port's short name, percent and retries on one line,
        // the step or the result under it.
        lines.push_back("PORT % RETRIES / STEP OR RESULT");
        for (RadioSession* r : m_radios) {
            const RadioSession::Status s = r->Snapshot();
            lines.push_back(ShortPort(r->Port()) + "  " + std::to_string(s.percent) + "%  r" + std::to_string(s.retries));
            lines.push_back("  " + (s.result.empty() ? s.step : s.result));
        }
    }
    std::string text;
    if (m_drawnLines > 0)
        text += "\x1b[" + std::to_string(m_drawnLines) + "A";  // back to the table's first line
    for (const std::string& line : lines)
        text += "\r\x1b[K" + ClippedLine(line, columns) + "\n";
    // A table that grew or shrank (the terminal resized) leaves no old line below it.
    text += "\x1b[J";
    m_drawnLines = static_cast<int>(lines.size());
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}

void FleetTable::Finish()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop)
            return;
        m_stop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_live)
        Draw();
    std::fprintf(m_out, "\n%-22s %-48s %7s %8s  %s\n", "PORT", "RESULT", "RETRIES", "SECONDS", "BACKUP");
    for (RadioSession* r : m_radios) {
        const RadioSession::Status s = r->Snapshot();
        std::fprintf(m_out, "%-22.22s %-48.48s %7d %8.1f  %s\n", r->Port().c_str(), s.result.c_str(), s.retries,
                     r->Seconds(), r->Result().backupPath.c_str());
    }
    std::fflush(m_out);
    for (const std::string& note : m_restoreNotes)
        std::fputs(note.c_str(), stderr);
    m_restoreNotes.clear();
}
