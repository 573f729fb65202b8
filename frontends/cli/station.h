#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "frontends/cli/commands.h"
#include "frontends/cli/console_platform.h"
#include "frontends/cli/json_events.h"
#include "frontends/cli/radio_events.h"
#include "frontends/cli/shared_prompt.h"
#include "frontends/cli/station_positions.h"
#include "frontends/cli/station_table.h"
#include "platform/native_host.h"

// A service bench: every adapter the station watches is a position, kept by
// its identity when it is pulled out and plugged back under another name.
// A position's radio is updated once for each press of its key; the key is
// the answer to "Power Supply?". The main thread watches the adapters,
// takes the keys and stop requests and draws; each radio's update runs on
// its own thread (RadioSession) and reports here as an EventSink.
class Station : public EventSink {
public:
    Station(const StationArgs& args, std::vector<PositionLabel> labels, std::string folder, bool live);
    ~Station() override;
    // Until the keys end (q, end of input, a stop with nothing running) and
    // the running updates have ended; the worst exit status of its radios.
    int Run();
    void Event(const RadioEvent& event) override;

private:
    void ReadKeys();
    void Poll();
    StationPosition& AddPosition(const std::string& identity, const std::string& label);
    bool StillThere(const StationPosition& p);
    void HandleKeys(const std::string& line);
    void HandleStop(bool insist, bool byTechnician);
    void StartPosition(StationPosition& p);
    void Reap();
    bool AnyRunning() const;
    StationTally Tally() const;
    std::vector<StationRow> Rows() const;
    void Show();
    void Say(const std::string& line);
    double Seconds() const;

    WriteArgs m_updateArgs;  // what every position's update is given
    const StationArgs& m_args;
    const std::vector<PositionLabel> m_labels;
    const std::string m_folder;
    const bool m_live;
    NativeHost m_host;
    std::unique_ptr<JsonEvents> m_json;
    SharedPrompt m_prompt;
    PromptInput m_input{0};
    const std::chrono::steady_clock::time_point m_begun = std::chrono::steady_clock::now();

    // The main thread's own.
    std::vector<std::unique_ptr<StationPosition>> m_positions;
    std::vector<double> m_doneSeconds;
    int m_done = 0, m_failed = 0, m_anotherUpdate = 0, m_worst = 0;
    bool m_quit = false;
    int m_drawn = 0;
    std::vector<std::string> m_unmatched;  // --port names no adapter has matched yet
    bool m_unmatchedSaid = false;
    std::set<std::string> m_twins;  // identities seen on two adapters at once

    // Shared with the input, stop and radio threads.
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::string> m_keys;
    std::string m_typed;  // keys typed, not yet ended by Enter
    bool m_inputEnded = false;
    std::deque<std::pair<bool, bool>> m_stops;  // (insist, by the technician)
    std::vector<std::string> m_said;            // lines to show above the table
};
