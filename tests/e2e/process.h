#pragma once
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../unit/test_support.h"

// The program under test: this build's vokta4-cli, or the one in the folder
// named by VOKTA4_E2E_PROGRAMS (a sanitizer build runs these tests on its
// own). The simulated radio (VR3900_SIM) is always this build's: a radio
// checked by a sanitizer on a busy machine falls behind the line as no
// radio does.
const char* CliUnderTest();
#define VOKTA4_CLI CliUnderTest()

// A printed command's words, as a POSIX shell splits it: 'quoted' parts
// keep their spaces.
std::vector<std::string> ShellWords(const std::string& command);

// A child process with its output collected as it comes, for end-to-end
// tests of the programs.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
            const std::string& input = std::string(), bool closeInput = true);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits until standard output contains `text` (false after `limit`).
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(30));
    // The same for standard error.
    bool WaitForError(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(30));
    // False once the process has ended (its status is then kept).
    bool Running();
    void Signal(int sig);
    // Standard input, when the process was started with it left open.
    void Input(const std::string& text);
    void CloseInput();
    // Waits for the end; the exit status, or 128 + signal.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(120));
    std::string Out();
    std::string Err();

private:
    void Collect();
    int Status(int raw) const;

    int m_pid = -1;
    int m_out = -1, m_err = -1, m_in = -1;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::string m_stdout, m_stderr;
    bool m_eof = false;
    std::thread m_reader;
    int m_status = -1;
};

// The simulated radio on a pseudo-terminal, stopped (and its flash saved)
// by Stop() or at the end of the test.
class Simulator {
public:
    explicit Simulator(const std::string& flash, std::vector<std::string> options = {});
    ~Simulator();
    const std::string& Port() const { return m_port; }
    void Stop();
    void Signal(int sig) { m_process->Signal(sig); }

private:
    std::unique_ptr<Process> m_process;
    std::string m_port;
    std::string m_said;  // its standard error, once stopped
};

// A test's own folder with the firmware of version `seed` as fw.002, and the
// environment that keeps the programs away from the machine's ports and the
// user's settings.
struct CliWorkspace {
    TempDir dir;
    std::map<std::string, std::string> env;

    explicit CliWorkspace(int seed)
    {
        env["XDG_CONFIG_HOME"] = dir.File("config");
        env["XDG_STATE_HOME"] = dir.File("state");  // the per-user journal of this test alone
        env["VOKTA4_PORTS"] = "/nonexistent/vokta4-port";  // never a real port
        dir.Write("fw.002", FirmwareText(seed));
    }
    // `vokta4-cli write --yes --port PORT` with this workspace's data file,
    // the simulated radio's boot program and fw.002, unless `extra` names
    // its own.
    std::vector<std::string> WriteCommand(const std::string& port, std::vector<std::string> extra) const
    {
        std::vector<std::string> argv = {VOKTA4_CLI, "write", "--yes", "--port", port};
        for (const auto& [option, value] : {std::pair<std::string, std::string>{"--data-file", dir.File("vokt.tmp")},
                                            {"--boot-image", VOKTA4_SIM_BOOT},
                                            {"--firmware", dir.File("fw.002")}}) {
            if (std::find(extra.begin(), extra.end(), option) == extra.end())
                extra.insert(extra.end(), {option, value});
        }
        argv.insert(argv.end(), extra.begin(), extra.end());
        return argv;
    }
    // The bytes the simulated radio received, from its transcript.
    static long BytesIn(const std::string& transcript)
    {
        std::istringstream in(transcript);
        std::string key;
        long value = -1;
        while (in >> key && !(key == "bytes_in" && in >> value)) {
        }
        return value;
    }
    static std::string Text(const std::string& path)
    {
        const std::vector<std::uint8_t> b = ReadBinary(path);
        return std::string(b.begin(), b.end());
    }
};
