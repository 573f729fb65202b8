#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frontends/cli/console_platform.h"

class RadioSession;
class SharedPrompt;

// What a stop request (Ctrl-C, a closed terminal, SIGTERM) means for the
// radios of one command: each radio that has not begun its erase stops at
// once, unchanged, and its questions are answered Cancel; a radio whose
// flash is being written goes on to its end, unless the technician insists
// with a second Ctrl-C. `say` tells the technician which it was.
class RadioStop {
public:
    RadioStop(std::vector<std::unique_ptr<RadioSession>>& radios, SharedPrompt& prompt,
              std::function<void(const std::string&)> say);
    void operator()(StopRequest request);

private:
    std::vector<std::unique_ptr<RadioSession>>& m_radios;
    SharedPrompt& m_prompt;
    std::function<void(const std::string&)> m_say;
    StopInsistence m_insistence;
};
