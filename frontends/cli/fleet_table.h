#pragma once
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frontends/cli/radio_events.h"

class RadioSession;

// Several radios in a terminal: on a terminal a live table, one line per
// radio (port, step, percent, retries so far, result), redrawn four times a
// second and clipped to the terminal's width, so that no row wraps and the
// redrawing stays on the table's own lines; elsewhere one line per finished
// step, message and end. Notes go to stderr (and every radio's log file);
// the commands that restore a radio come after the summary, where nothing
// draws over them.
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
    std::vector<std::string> m_restoreNotes;  // printed after the summary
    std::thread m_thread;
};
