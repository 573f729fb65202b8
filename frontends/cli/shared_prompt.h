#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "frontends/cli/radio_events.h"

class PromptInput;

// The questions of the radios' updates, answered on stdin (or by --yes):
// OK/Cancel, and a reason typed on its own line. With `once`, the first
// OK/Cancel question is asked and its answer serves every radio ("Power
// Supply?" for all). Each question's text goes to the sink first.
class SharedPrompt {
public:
    SharedPrompt(bool assumeYes, bool once, EventSink& sink, int answerFd = 0);
    ~SharedPrompt();
    bool Ask(const std::string& port, const std::string& text, bool cancelByDefault = false);
    // A reason typed on its own line: an empty line, end of input, a stop
    // and --yes answer Cancel; so do several radios, whose questions cannot
    // each wait for a reason.
    bool AskReason(const std::string& port, const std::string& text, std::string& reason);
    // Any thread: a question being asked is answered Cancel, and so is every later one.
    void Cancel();

private:
    // One line of input without its line end and trailing blanks; false at
    // the end of input (said, with `instead`: what answers it without
    // input) or after Cancel.
    bool ReadAnswer(const std::string& port, std::string& answer, const char* instead);

    const bool m_assumeYes;
    const bool m_once;
    EventSink& m_sink;
    const int m_answerFd;
    std::mutex m_mutex;
    std::optional<bool> m_answer;
    std::atomic<bool> m_cancelled{false};
    std::unique_ptr<PromptInput> m_input;
};
