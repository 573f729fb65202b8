#include "frontends/cli/station.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <thread>

#include "frontends/cli/radio_session.h"
#include "platform/adapter_list.h"
#include "update/channel_backup.h"

namespace {

// The table is redrawn, and the adapters looked for, twice a second.
constexpr auto kPollPeriod = std::chrono::milliseconds(500);

}  // namespace

Station::Station(const StationArgs& args, std::vector<PositionLabel> labels, std::string folder, bool live)
    : m_updateArgs(args.write), m_args(args), m_labels(std::move(labels)), m_folder(std::move(folder)),
      m_live(live && !args.write.json), m_json(args.write.json ? std::make_unique<JsonEvents>(stdout, false) : nullptr),
      m_prompt(true, false, *this)
{
    // The key is the answer to "Power Supply?"; every question that would
    // replace channel data is left unanswered, as for several radios.
    m_updateArgs.ports.clear();
    m_updateArgs.allPorts = false;
    m_updateArgs.yes = true;
    // The positions file's adapters are positions from the start, numbered
    // in its order, shown while they are missing.
    for (const PositionLabel& l : m_labels) {
        AddPosition(l.identity, l.label).expected = true;
        const std::size_t at = l.identity.find(" at ");
        if (at != std::string::npos)
            m_twins.insert(l.identity.substr(0, at));
    }
    m_unmatched = args.write.ports;
}

StationPosition& Station::AddPosition(const std::string& identity, const std::string& label)
{
    auto p = std::make_unique<StationPosition>();
    p->number = static_cast<int>(m_positions.size()) + 1;
    p->identity = identity;
    p->label = label.empty() ? "position " + std::to_string(p->number) : label;
    // Two identities may give one file name ("USB A/1", "USB A_1", or "USB
    // a1" and "USB A1" on Windows): the later position's files take its
    // number too, after a '.' that no tag of an identity holds.
    const auto taken = [&](const std::string& tag) {
        return std::any_of(m_positions.begin(), m_positions.end(),
                           [&](const auto& other) { return SameFileTag(other->fileTag, tag); });
    };
    p->fileTag = ChannelBackupTag(identity);
    for (int n = p->number; taken(p->fileTag); ++n)
        p->fileTag = ChannelBackupTag(identity) + "." + std::to_string(n);
    m_positions.push_back(std::move(p));
    return *m_positions.back();
}

Station::~Station() = default;

double Station::Seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_begun).count();
}

void Station::Say(const std::string& line)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_said.push_back(line);
    }
    m_cv.notify_all();
}

// Keys one by one: on a terminal nothing is echoed (an echoed key would
// move the table), and what is typed shows on the table's last line.
void Station::ReadKeys()
{
    char c = 0;
    bool afterCr = false;
    while (m_input.ReadChar(c)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        // A line ends in CR, LF or CR LF (a Windows console, a file): one
        // Enter each, never an Enter for every waiting position more.
        const bool lf = c == '\n';
        if (lf && afterCr) {
            afterCr = false;
            continue;
        }
        afterCr = c == '\r';
        if (lf || c == '\r') {
            m_keys.push_back(m_typed);
            m_typed.clear();
        } else if (c == 0x7F || c == '\b') {
            // One character, however many bytes of UTF-8.
            while (!m_typed.empty() && (static_cast<unsigned char>(m_typed.back()) & 0xC0) == 0x80)
                m_typed.pop_back();
            if (!m_typed.empty())
                m_typed.pop_back();
        } else if (static_cast<unsigned char>(c) >= 0x20 && m_typed.size() < 64) {
            m_typed += c;
        }
        m_cv.notify_all();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    // The last line of a file or pipe, without its line end, counts; on a
    // terminal that hung up, a half-typed key does not.
    if (!m_typed.empty() && !InputIsTerminal(0))
        m_keys.push_back(m_typed);
    m_typed.clear();
    m_inputEnded = true;
    m_cv.notify_all();
}

int Station::Run()
{
    StopInsistence insistence;
    InterruptSource interrupts([this, &insistence](StopRequest request) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stops.emplace_back(insistence.Insists(request), request == StopRequest::Interrupt);
        m_cv.notify_all();
    });
    std::unique_ptr<KeyByKey> keyByKey;
    if (m_live)
        keyByKey = std::make_unique<KeyByKey>(0);
    // Started after the stop signals are taken by InterruptSource, so that
    // none of them can end the program on this thread.
    std::thread keys(&Station::ReadKeys, this);
    Say("station: every adapter is a position; connect a radio, press its number (Enter: every waiting "
        "position), then switch the radio on");
    bool inputEnded = false;
    std::string typed;
    for (;;) {
        Poll();
        Reap();
        if ((m_quit || inputEnded) && !AnyRunning())
            break;
        Show();
        std::deque<std::string> lines;
        std::deque<std::pair<bool, bool>> stops;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cv.wait_for(lock, kPollPeriod, [this, &typed, inputEnded] {
                return !m_keys.empty() || !m_stops.empty() || !m_said.empty() || m_typed != typed ||
                       m_inputEnded != inputEnded;
            });
            lines.swap(m_keys);
            stops.swap(m_stops);
            typed = m_typed;
            if (m_inputEnded && !inputEnded && !m_quit)
                m_said.push_back(AnyRunning() ? "station: no more keys can come (the input ended); ends when the "
                                                "updates running now have ended"
                                              : "station: no more keys can come (the input ended)");
            inputEnded = m_inputEnded;
        }
        for (const auto& [insist, byTechnician] : stops)
            HandleStop(insist, byTechnician);
        if (!lines.empty())
            Poll();  // a key starts the adapter as it is now
        for (const std::string& line : lines) {
            if (!m_quit)
                HandleKeys(line);
        }
    }
    m_input.Cancel();
    keys.join();
    keyByKey.reset();
    interrupts.Finished();
    Say("station: " + TallyText(Tally()));
    Show();
    if (m_json)
        m_json->Object(nlohmann::json({{"event", "end"}, {"exit_status", m_worst}}));
    return m_worst;
}

// The adapters present now: new ones become positions, known ones take
// their new port names, missing ones are unplugged.
void Station::Poll()
{
    const std::vector<Adapter> adapters = ListAdapters(m_host, &m_twins);
    for (auto& p : m_positions) {
        const bool present = std::any_of(adapters.begin(), adapters.end(),
                                         [&p](const Adapter& a) { return a.identity == p->identity; });
        if (p->Present() && !present) {
            p->port.clear();
            Say(p->label + ": adapter " + p->identity + " unplugged");
            if (m_json)
                m_json->Object(nlohmann::json({{"event", "adapter"}, {"position", p->label}, {"adapter", p->identity},
                                     {"port", nullptr}, {"present", false}}));
        }
    }
    for (const Adapter& a : adapters) {
        auto it = std::find_if(m_positions.begin(), m_positions.end(),
                               [&a](const auto& p) { return p->identity == a.identity; });
        // A position, once it is one, is followed to whatever port its
        // adapter has; a new adapter only when the station watches it.
        if (it == m_positions.end() &&
            !StationWatches(m_args.write.ports, m_args.write.allPorts, m_labels, a.port, a.identity, a.details))
            continue;
        StationPosition& p = it == m_positions.end() ? AddPosition(a.identity, std::string()) : **it;
        m_unmatched.erase(std::remove_if(m_unmatched.begin(), m_unmatched.end(),
                                         [&a](const std::string& named) { return NamesAdapter(named, a.port, a.identity); }),
                          m_unmatched.end());
        if (p.port == a.port)
            continue;
        p.port = a.port;
        p.details = a.details;
        Say(p.label + ": adapter " + p.identity + " on " + p.port + " (key " + std::to_string(p.number) + ")");
        if (m_json)
            m_json->Object(nlohmann::json({{"event", "adapter"}, {"position", p.label}, {"key", p.number},
                                 {"adapter", p.identity}, {"port", p.port}, {"present", true}}));
    }
    // Said once: a --port that names nothing present waits for its adapter.
    if (!m_unmatchedSaid) {
        m_unmatchedSaid = true;
        for (const std::string& named : m_unmatched)
            Say("station: --port " + named + " names no adapter present now; its position appears when it is "
                "plugged in (the table shows each adapter's identity)");
    }
}

// Whether the position's adapter is still on the port the station knows:
// the port a key opens is the adapter's, never another's that took its
// name.
bool Station::StillThere(const StationPosition& p)
{
    const std::vector<Adapter> adapters = ListAdapters(m_host, &m_twins);
    return std::any_of(adapters.begin(), adapters.end(),
                       [&p](const Adapter& a) { return a.identity == p.identity && a.port == p.port; });
}

void Station::HandleKeys(const std::string& line)
{
    std::istringstream words(line);
    std::vector<std::string> keys;
    for (std::string w; words >> w;)
        keys.push_back(w);
    if (keys.empty()) {  // Enter: every waiting position
        for (auto& p : m_positions) {
            if (p->Present() && !p->session)
                StartPosition(*p);
        }
        return;
    }
    for (const std::string& key : keys) {
        if (key == "q" || key == "Q") {
            m_quit = true;
            if (AnyRunning())
                Say("station: ends when the updates running now have ended");
            return;
        }
        const bool number = key.find_first_not_of("0123456789") == std::string::npos && key.size() < 4;
        const int n = number ? std::stoi(key) : 0;
        if (n < 1 || n > static_cast<int>(m_positions.size())) {
            Say("station: no position " + key + " (keys: a position's number, Enter, q)");
            continue;
        }
        StationPosition& p = *m_positions[static_cast<std::size_t>(n - 1)];
        if (p.session)
            Say(p.label + ": still updating its radio; its key counts once it has ended");
        else if (!p.Present())
            Say(p.label + ": adapter " + p.identity + " is unplugged");
        else
            StartPosition(p);
    }
}

void Station::StartPosition(StationPosition& p)
{
    if (!StillThere(p)) {
        // The main loop looks for the adapters again before the next key.
        Say(p.label + ": adapter " + p.identity + " is no longer on " + p.port + "; press its key again");
        return;
    }
    // The position's files are named by its adapter, not by the port name
    // it has today.
    const std::string stem = m_folder + "vokt-" + p.fileTag;
    RadioSession::Paths paths{stem + ".tmp", stem + ".log", p.label, p.identity, p.fileTag};
    p.session = std::make_unique<RadioSession>(m_updateArgs, p.port, paths, m_prompt, *this);
    if (!p.session->Ready()) {
        p.session.reset();
        Say(p.label + ": not started (see above)");
        return;
    }
    p.startedAt = Seconds();
    p.lastResult.clear();
    Say(p.label + ": updating the radio on " + p.port);
    p.session->Start();
}

// Updates that have ended: their result, the tally.
void Station::Reap()
{
    for (auto& p : m_positions) {
        if (!p->session || !p->session->Ended())
            continue;
        p->session->Join();
        const int status = p->session->ExitStatus();
        const RadioSession::Status s = p->session->Snapshot();
        p->lastResult = s.result;
        m_worst = std::max(m_worst, status);
        if (status == kExitDone) {
            ++m_done;
            m_doneSeconds.push_back(s.seconds);
        } else if (status == kExitAfterErase) {
            ++m_anotherUpdate;
        } else {
            ++m_failed;
        }
        p->session.reset();
        Say(p->label + ": " + s.result);
        if (m_json) {
            const StationTally t = Tally();
            m_json->Object(nlohmann::json({{"event", "tally"}, {"done", t.done}, {"failed", t.failed},
                                 {"needs_another_update", t.anotherUpdate}, {"median_minutes", t.medianMinutes}}));
        }
    }
}

bool Station::AnyRunning() const
{
    return std::any_of(m_positions.begin(), m_positions.end(), [](const auto& p) { return p->session != nullptr; });
}

StationTally Station::Tally() const
{
    StationTally t;
    t.done = m_done;
    t.failed = m_failed;
    t.anotherUpdate = m_anotherUpdate;
    if (!m_doneSeconds.empty()) {
        std::vector<double> d = m_doneSeconds;
        std::nth_element(d.begin(), d.begin() + static_cast<long>(d.size() / 2), d.end());
        t.medianMinutes = d[d.size() / 2] / 60;
    }
    return t;
}

// Ctrl-C: every position that has not begun its erase stops at once; those
// erasing go on unless the technician insists. The station ends once the
// updates have ended.
void Station::HandleStop(bool insist, bool byTechnician)
{
    bool erasing = false;
    for (auto& p : m_positions) {
        if (!p->session || p->session->Ended())
            continue;
        if (p->session->AcceptStop(insist))
            p->session->Interrupt();
        else
            erasing = true;
    }
    if (erasing)
        Say(byTechnician ? "station: radios whose flash is being written go on: stopping them now leaves them "
                           "erased; press Ctrl-C again to stop them anyway"
                         : "station: radios whose flash is being written go on to their end");
    m_quit = true;
}
