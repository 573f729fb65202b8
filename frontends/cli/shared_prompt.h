#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "frontends/cli/radio_events.h"

class PromptInput;

// OK/Cancel questions of the radios' updates, answered on stdin (or by
// --yes). With `once`, the first question is asked and its answer serves
// every radio ("Power Supply?" for all).
class SharedPrompt {
public:
    SharedPrompt(bool assumeYes, bool once, EventSink& sink);
    ~SharedPrompt();
    bool Ask(const std::string& port, const std::string& text, bool cancelByDefault = false);
    // Any thread: a question being asked is answered Cancel, and so is every later one.
    void Cancel();

private:
    const bool m_assumeYes;
    const bool m_once;
    EventSink& m_sink;
    std::mutex m_mutex;
    std::optional<bool> m_answer;
    std::atomic<bool> m_cancelled{false};
    std::unique_ptr<PromptInput> m_input;
};
