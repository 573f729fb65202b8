#include "process.h"

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>

#include <gtest/gtest.h>

const char* CliUnderTest()
{
    static const std::string path = [] {
        const char* folder = std::getenv("VOKTA4_E2E_PROGRAMS");
        return folder && *folder ? std::string(folder) + "/vokta4-cli" : std::string(VOKTA4_CLI_BUILT);
    }();
    return path.c_str();
}

Process::Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                 const std::string& input, bool closeInput)
{
    int out[2], err[2], in[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0 || ::pipe(in) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1], in[0], in[1]})
            ::close(fd);
        for (const auto& [k, v] : env)
            ::setenv(k.c_str(), v.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ::close(in[0]);
    if (!input.empty())
        (void)!::write(in[1], input.data(), input.size());
    if (closeInput)
        ::close(in[1]);
    else
        m_in = in[1];
    m_out = out[0];
    m_err = err[0];
    m_reader = std::thread(&Process::Collect, this);
}

Process::~Process()
{
    if (m_status < 0 && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        Wait();
    }
    if (m_reader.joinable())
        m_reader.join();
    ::close(m_out);
    ::close(m_err);
    CloseInput();
}

void Process::Input(const std::string& text)
{
    if (m_in >= 0)
        (void)!::write(m_in, text.data(), text.size());
}

void Process::CloseInput()
{
    if (m_in >= 0)
        ::close(m_in);
    m_in = -1;
}

void Process::Collect()
{
    bool outOpen = true, errOpen = true;
    char buf[4096];
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? m_out : -1, POLLIN, 0}, {errOpen ? m_err : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (!fds[i].revents)
                continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            std::lock_guard<std::mutex> lock(m_mutex);
            if (n <= 0)
                (i == 0 ? outOpen : errOpen) = false;
            else
                (i == 0 ? m_stdout : m_stderr).append(buf, static_cast<std::size_t>(n));
        }
        m_cv.notify_all();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_eof = true;
    m_cv.notify_all();
}

bool Process::WaitForOutput(const std::string& text, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, limit, [&] { return m_stdout.find(text) != std::string::npos || m_eof; }) &&
           m_stdout.find(text) != std::string::npos;
}

bool Process::WaitForError(const std::string& text, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, limit, [&] { return m_stderr.find(text) != std::string::npos || m_eof; }) &&
           m_stderr.find(text) != std::string::npos;
}

bool Process::Running()
{
    if (m_status >= 0)
        return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == 0)
        return true;
    if (m_reader.joinable())
        m_reader.join();
    m_status = Status(status);
    return false;
}

int Process::Status(int raw) const
{
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

void Process::Signal(int sig)
{
    if (m_pid > 0 && m_status < 0)
        ::kill(m_pid, sig);
}

int Process::Wait(std::chrono::milliseconds limit)
{
    if (m_status >= 0)
        return m_status;
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (m_reader.joinable())
        m_reader.join();
    m_status = Status(status);
    return m_status;
}

std::string Process::Out()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stdout;
}

std::string Process::Err()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stderr;
}

Simulator::Simulator(const std::string& flash, std::vector<std::string> options)
{
    std::vector<std::string> argv = {VR3900_SIM, "--flash", flash};
    argv.insert(argv.end(), options.begin(), options.end());
    m_process = std::make_unique<Process>(argv, std::map<std::string, std::string>{}, std::string(), false);
    if (m_process->WaitForOutput("\n", std::chrono::seconds(10))) {
        m_port = m_process->Out();
        m_port.erase(m_port.find('\n'));
    }
}

Simulator::~Simulator()
{
    Stop();
    // What the radio said of the traffic (a stage it dropped) is the first
    // thing a failed test needs.
    if (::testing::Test::HasFailure() && !m_said.empty())
        std::cerr << "the simulated radio on " << m_port << " said:\n" << m_said;
}

void Simulator::Stop()
{
    if (!m_process)
        return;
    m_process->Signal(SIGTERM);
    m_process->Wait();
    m_said = m_process->Err();
    m_process.reset();
}

std::vector<std::string> ShellWords(const std::string& command)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : command) {
        if (c == '\'') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any)
                words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any)
        words.push_back(word);
    return words;
}
