#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frontends/cli/console_platform.h"

class RadioSession;
class SharedPrompt;

// What a stop request (Ctrl-C, a closed terminal, SIGTERM) means for the
// radios of one command: each radio that has not begun its erase stops at
// once, unchanged, and its questions are answered Cancel; a radio whose
// flash is being written goes on to its end, unless the technician insists
// with a second Ctrl-C. A request that comes before the radios are watched
// means that none starts.
class RadioStop {
public:
    // Main thread, once every radio exists and before any starts: false when
    // a stop came first. `say` then tells the technician what each later
    // request meant.
    bool Watch(std::vector<std::unique_ptr<RadioSession>>& radios, SharedPrompt& prompt,
               std::function<void(const std::string&)> say);
    // The signal thread.
    void operator()(StopRequest request);

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<RadioSession>>* m_radios = nullptr;
    SharedPrompt* m_prompt = nullptr;
    std::function<void(const std::string&)> m_say;
    bool m_stoppedEarly = false;
    StopInsistence m_insistence;
};
