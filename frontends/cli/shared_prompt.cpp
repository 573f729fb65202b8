#include "frontends/cli/shared_prompt.h"

#include <cctype>
#include <cstdio>

#include "frontends/cli/console_platform.h"

SharedPrompt::SharedPrompt(bool assumeYes, bool once, EventSink& sink, int answerFd)
    : m_assumeYes(assumeYes), m_once(once), m_sink(sink), m_answerFd(answerFd),
      m_input(std::make_unique<PromptInput>(answerFd))
{
}

SharedPrompt::~SharedPrompt() = default;

bool SharedPrompt::ReadAnswer(const std::string& port, std::string& answer, const char* instead)
{
    if (m_cancelled)
        return false;
    if (!m_input->ReadLine(answer)) {
        if (!m_cancelled)
            m_sink.Event({RadioEvent::Kind::Note, port,
                          std::string("no answer: the input ended, so this counts as Cancel") + instead});
        return false;
    }
    if (m_cancelled)
        return false;
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' '))
        answer.pop_back();
    return true;
}

bool SharedPrompt::Ask(const std::string& port, const std::string& text, bool cancelByDefault)
{
    std::lock_guard<std::mutex> lock(m_mutex);  // one question on the terminal at a time
    if (m_cancelled)
        return false;
    // A question about one radio's channel data is never answered for it by
    // another's answer, nor by --yes.
    if (m_once && m_answer && !cancelByDefault)
        return *m_answer;
    m_sink.Event({RadioEvent::Kind::Prompt, port, text});
    bool ok = m_assumeYes && !cancelByDefault;
    if (!m_assumeYes) {
        if (InputIsTerminal(m_answerFd))
            std::fputs(cancelByDefault ? "[y = OK, Enter = Cancel] " : "[Enter = OK, n = Cancel] ", stderr);
        std::string answer;
        // --yes answers OK only where OK is the default.
        ok = ReadAnswer(port, answer, cancelByDefault ? "" : " (--yes answers OK)");
        for (char& c : answer)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ok = ok && ((answer.empty() && !cancelByDefault) || answer == "y" || answer == "yes" || answer == "ok");
    }
    if (!cancelByDefault)
        m_answer = ok;
    return ok;
}

bool SharedPrompt::AskReason(const std::string& port, const std::string& text, std::string& reason)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cancelled)
        return false;
    m_sink.Event({RadioEvent::Kind::Prompt, port, text});
    if (m_assumeYes || m_once)
        return false;
    if (InputIsTerminal(m_answerFd))
        std::fputs("[the reason, or Enter = Cancel] ", stderr);
    std::string answer;
    if (!ReadAnswer(port, answer, " (--unapproved REASON gives the reason)") || answer.empty())
        return false;
    reason = answer;
    return true;
}

void SharedPrompt::Cancel()
{
    m_cancelled = true;
    m_input->Cancel();
}
