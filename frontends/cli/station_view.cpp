// What the station shows: the radios' events as lines, and on a terminal
// the live table under them.
#include <cstdio>

#include "frontends/cli/radio_session.h"
#include "frontends/cli/station.h"
#include "frontends/cli/terminal_text.h"

// From the radios' threads.
void Station::Event(const RadioEvent& e)
{
    if (m_json) {
        m_json->Event(e);
        return;
    }
    const std::string who = e.position + " (" + e.port + ")";
    switch (e.kind) {
    case RadioEvent::Kind::Finished:
        if (!e.restoreCommand.empty())
            Say(who + (e.exitStatus == kExitAfterErase
                           ? " needs another update; with its channel data:\n  "
                           : " is unchanged: an earlier update did not finish. If this is its radio, write the "
                             "saved channel data back by:\n  ") +
                e.restoreCommand);
        break;
    case RadioEvent::Kind::StepDone:
        if (!m_live)
            Say(who + ": " + e.text + " ......OK");
        break;
    case RadioEvent::Kind::Message:
    case RadioEvent::Kind::Note:
        if (!m_live)
            Say(who + ": " + e.text);
        break;
    default:
        break;
    }
}

std::vector<StationRow> Station::Rows() const
{
    double median = Tally().medianMinutes * 60;
    std::vector<StationRow> rows;
    for (const auto& p : m_positions) {
        // A position pulled out stays in the table while its update ends,
        // or when the positions file expects it.
        if (!p->Present() && !p->session && !p->expected)
            continue;
        StationRow r;
        r.number = p->number;
        r.label = p->label;
        r.adapter = p->identity;
        r.last = p->lastResult;
        r.state = !p->Present() ? "unplugged" : p->session ? "updating" : "waiting";
        if (p->session) {
            const RadioSession::Status s = p->session->Snapshot();
            r.state = "updating";
            r.step = s.step + (p->Present() ? "" : " (unplugged)");
            r.percent = s.percent;
            r.retries = s.retries;
            if (median > 0)
                r.secondsLeft = static_cast<int>(std::max(0.0, median - s.seconds));
        }
        rows.push_back(r);
    }
    return rows;
}

// The lines said since the last time, then (on a terminal) the table drawn
// again under them.
void Station::Show()
{
    std::vector<std::string> said;
    std::string typed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        said.swap(m_said);
        typed = m_typed;
    }
    std::string text;
    if (m_live && m_drawn > 0)
        text += "\r\x1b[" + std::to_string(m_drawn) + "A\x1b[J";  // the old table erased
    // What adapters and files said may hold control characters.
    for (const std::string& line : said)
        text += PrintableText(line, true) + "\n";
    if (m_live) {
        const std::vector<std::string> lines = StationTableLines(Rows(), Tally(), TerminalColumns(), PrintableText(typed));
        for (const std::string& line : lines)
            text += line + "\n";
        m_drawn = static_cast<int>(lines.size());
    }
    std::fputs(text.c_str(), m_json ? stderr : stdout);
    std::fflush(m_json ? stderr : stdout);
}
