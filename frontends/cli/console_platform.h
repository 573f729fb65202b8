#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What the console front end needs of the platform.
bool StdoutIsTerminal();
// Whether stdout is a terminal that can redraw lines in place (cursor
// movement by escape sequences; on Windows the console is asked to
// understand them, which an old console cannot).
bool TerminalRedraws();
// The width of the terminal stdout shows on, in columns; 0 when unknown.
int TerminalColumns();
bool InputIsTerminal(int fd);
// True when stdout and stderr are the same terminal or file.
bool StdoutAndStderrShareTarget();
// The program's arguments in UTF-8 (on Windows from the wide command line,
// so that paths outside the ANSI code page survive), and the console set to
// show UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// A serial port's full name, to tell whether two names are one port: a
// bare name is a device's name ("ttyUSB0" is /dev/ttyUSB0, "com3" is
// \\.\COM3), a relative path is taken from the current folder.
std::string PortFullName(const std::string& port);
// One argument as this platform's shell reads it back: "it's" gives
// 'it'\''s' for a POSIX shell, "C:\a b" gives "C:\a b" for cmd.
std::string QuoteArgument(const std::string& text);

// Reads answer lines from a file descriptor; Cancel() (any thread) ends a
// read in progress, which then reports end of input.
class PromptInput {
public:
    explicit PromptInput(int fd);
    ~PromptInput();
    bool ReadLine(std::string& line);
    // One byte as it is typed; false at end of input or once cancelled.
    bool ReadChar(char& c);
    void Cancel();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// While it lives, the keys typed on the terminal `fd` reach the program one
// by one and are not echoed (Ctrl-C still stops): a program that draws in
// place shows what was typed itself. Nothing changes when `fd` is not a
// terminal.
class KeyByKey {
public:
    explicit KeyByKey(int fd);
    ~KeyByKey();
    KeyByKey(const KeyByKey&) = delete;
    KeyByKey& operator=(const KeyByKey&) = delete;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// How the program is asked to stop.
enum class StopRequest {
    Interrupt,  // Ctrl-C (Ctrl-Break): the technician at the keyboard
    HangUp,     // the terminal or the remote session closed (SIGHUP, console close)
    Terminate   // the system or another program (SIGTERM, log-off, shut-down)
};

// A technician insists on a stop with a second Ctrl-C; a closed terminal
// or the system never insists.
class StopInsistence {
public:
    bool Insists(StopRequest request) { return request == StopRequest::Interrupt && m_interrupts++ > 0; }

private:
    std::atomic<int> m_interrupts{0};
};

// Calls `onStop` on a thread of its own for every stop request; what it
// means is the caller's affair. A closed pipe (SIGPIPE) is ignored: output
// errors never end the program. Finished() tells a platform that must hold
// a closing console until the tear-down is done that it may let go.
class InterruptSource {
public:
    explicit InterruptSource(std::function<void(StopRequest)> onStop);
    ~InterruptSource();
    void Finished();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};
