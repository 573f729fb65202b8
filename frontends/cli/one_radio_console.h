#pragma once
#include <string>

#include "dialog/log_renderer.h"
#include "frontends/cli/console_log.h"
#include "frontends/cli/radio_events.h"

// One radio's update in a terminal, as the window's log pane reads: each
// step's line and its "......OK" mark, the progress bar and counters, the
// messages and questions, the reasons and notes on stderr.
class OneRadioConsole : public EventSink {
public:
    OneRadioConsole(ConsoleLog::Settings settings, std::FILE* out);

    void Event(const RadioEvent& e) override;
    // Any thread: a note on stderr, below the step line in progress.
    void Say(const std::string& text) { m_log.PrintNote(text); }
    void FinishOutput() { m_log.FinishOutput(); }

private:
    ConsoleLog m_log;
    LogRenderer m_renderer;
};
