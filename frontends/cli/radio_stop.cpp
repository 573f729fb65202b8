#include "frontends/cli/radio_stop.h"

#include "frontends/cli/radio_session.h"
#include "frontends/cli/shared_prompt.h"

bool RadioStop::Watch(std::vector<std::unique_ptr<RadioSession>>& radios, SharedPrompt& prompt,
                      std::function<void(const std::string&)> say)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_radios = &radios;
    m_prompt = &prompt;
    m_say = std::move(say);
    return !m_stoppedEarly;
}

void RadioStop::operator()(StopRequest request)
{
    const bool insist = m_insistence.Insists(request);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_radios) {
        m_stoppedEarly = true;
        return;
    }
    bool stopped = false, erasing = false;
    for (auto& r : *m_radios) {
        if (r->Ended())
            continue;  // its end is out: nothing to stop, nothing to say
        if (r->AcceptStop(insist)) {
            r->Interrupt();
            stopped = true;
        } else {
            erasing = true;
        }
    }
    if (stopped)
        m_prompt->Cancel();
    if (!erasing)
        return;
    const bool one = m_radios->size() == 1;
    if (request == StopRequest::Interrupt)
        m_say(one ? "stopping now leaves the radio's flash erased, and the radio needs another update; press Ctrl-C "
                    "again to stop anyway"
                  : "radios whose flash is being written go on: stopping them now leaves them erased; press Ctrl-C "
                    "again to stop them anyway");
    else if (one)
        m_say(std::string(request == StopRequest::HangUp ? "the terminal closed" : "asked to stop") +
              ": the update goes on, as stopping now would leave the radio erased");
    else
        m_say("radios whose flash is being written go on to their end");
}
