#pragma once
#include <functional>
#include <memory>
#include <string>

// What the console front end needs of the platform.
bool StdoutIsTerminal();
bool InputIsTerminal(int fd);

// Reads answer lines from a file descriptor; Cancel() (any thread) ends a
// read in progress, which then reports end of input.
class PromptInput {
public:
    explicit PromptInput(int fd);
    ~PromptInput();
    bool ReadLine(std::string& line);
    void Cancel();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// Calls `onInterrupt` on a thread of its own at Ctrl-C (and SIGTERM where
// there is one); a second Ctrl-C ends the program at once.
class InterruptSource {
public:
    explicit InterruptSource(std::function<void()> onInterrupt);
    ~InterruptSource();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};
