#pragma once
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "frontends/cli/radio_events.h"

class RadioSession;

// Several radios in a terminal: on a terminal a live table, one line per
// radio (port, step, percent, retries so far, result), redrawn four times a
// second; elsewhere one line per finished step, message and end. Notes go
// to stderr (and every radio's log file).
class FleetTable : public EventSink {
public:
    FleetTable(std::FILE* out, bool live);
    ~FleetTable() override;
    void Watch(const std::vector<RadioSession*>& radios);
    void Event(const RadioEvent& event) override;
    // Stops the live table after a last drawing, and prints the summary.
    void Finish();

private:
    void Draw();
    void Loop();

    std::FILE* const m_out;
    const bool m_live;
    std::vector<RadioSession*> m_radios;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    bool m_promptOpen = false;  // a question stands on the terminal: no drawing
    int m_drawnLines = 0;
    std::thread m_thread;
};
