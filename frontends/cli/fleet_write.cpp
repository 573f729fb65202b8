// `vokta4-cli write` for several radios at once (--port A --port B ...,
// --all-ports), and for any number with --json: every radio on a thread of
// its own, one "Power Supply?" for all, a live table or JSON Lines, and the
// worst radio's exit status.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <memory>

#include "platform/port_probe.h"
#include "res/resource.h"
#include "frontends/cli/console_platform.h"
#include "frontends/cli/fleet_table.h"
#include "frontends/cli/json_events.h"
#include "frontends/cli/radio_session.h"
#include "frontends/cli/shared_prompt.h"
#include "frontends/cli/write_options.h"
#include "platform/paths.h"
#include "update/channel_backup.h"
#include "update/output_guard.h"

namespace fs = std::filesystem;

namespace {

// Every port of the list (`all`): those that open, then those that do not,
// which get a row of their own with the reason and fail the run, so that a
// radio is never left out without a word. Or the one a single update takes
// without --port: the one used last if it opens, else the first.
std::vector<std::string> UsablePorts(bool all)
{
    NativeHost host;
    const PortProbe probe =
        ProbePorts(host, host.ReadProfileValue(PROFILE_SECTION, PROFILE_KEY_PORT, PROFILE_DEFAULT_PORT));
    if (all) {
        std::vector<std::string> ports = probe.usable;
        for (const auto& [port, reason] : probe.refused)
            ports.push_back(port);
        return ports;
    }
    return probe.selected.empty() ? std::vector<std::string>() : std::vector<std::string>{probe.selected};
}

// Stop requests for many radios: each one that has not begun its erase
// stops at once; those that have go on until a second Ctrl-C.
class FleetStop {
public:
    FleetStop(std::vector<std::unique_ptr<RadioSession>>& radios, SharedPrompt& prompt)
        : m_radios(radios), m_prompt(prompt)
    {
    }
    void operator()(StopRequest request)
    {
        const bool insist = m_insistence.Insists(request);
        bool erasing = false;
        for (auto& r : m_radios) {
            if (r->AcceptStop(insist))
                r->Interrupt();
            else
                erasing = true;
        }
        m_prompt.Cancel();
        if (erasing)
            std::fputs(request == StopRequest::Interrupt
                           ? "vokta4-cli: radios whose flash is being written go on: stopping them now leaves them "
                             "erased; press Ctrl-C again to stop them anyway\n"
                           : "vokta4-cli: radios whose flash is being written go on to their end\n",
                       stderr);
    }

private:
    std::vector<std::unique_ptr<RadioSession>>& m_radios;
    SharedPrompt& m_prompt;
    StopInsistence m_insistence;
};

// Two radios on one port (a name given twice, or two names of one device),
// or whose files would share a name, cannot both be updated: refused
// before any starts.
bool PortsDistinct(const std::vector<std::string>& ports)
{
    for (std::size_t i = 0; i < ports.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (SameFile(ports[i], ports[j])) {
                std::cerr << "vokta4-cli: " << ports[j] << " and " << ports[i] << " are the same port\n";
                return false;
            }
            if (SameFileTag(ChannelBackupTag(ports[i]), ChannelBackupTag(ports[j]))) {
                std::cerr << "vokta4-cli: " << ports[j] << " and " << ports[i] << " would share the files vokt-"
                          << ChannelBackupTag(ports[i]) << ".*; update them one after the other\n";
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int RunFleetWrite(const WriteArgs& args)
{
    const std::vector<std::string> ports = args.allPorts || args.ports.empty() ? UsablePorts(args.allPorts) : args.ports;
    if (ports.empty()) {
        std::cerr << "vokta4-cli: no serial port could be opened\n";
        return kExitIntact;
    }
    if (!PortsDistinct(ports))
        return kExitUsage;
    const bool several = args.allPorts || ports.size() > 1;
    std::error_code ec;
    const bool folder = !args.dataFile.empty() && fs::is_directory(fs::u8path(args.dataFile), ec);
    const std::string problem = several ? SeveralRadiosProblem(args) : std::string();
    if (!problem.empty()) {
        std::cerr << "vokta4-cli: " << problem << "\n";
        return kExitUsage;
    }
    const std::string base = folder ? (fs::u8path(args.dataFile) / "").u8string()
                                    : NativeHost().DataFolder();

    std::unique_ptr<EventSink> sink;
    JsonEvents* json = nullptr;
    FleetTable* table = nullptr;
    if (args.json)
        sink.reset(json = new JsonEvents(stdout));
    else
        sink.reset(table = new FleetTable(stdout, TerminalRedraws()));
    SharedPrompt prompt(args.yes, several, *sink);

    std::vector<std::unique_ptr<RadioSession>> radios;
    std::vector<RadioSession*> watched;
    for (const std::string& port : ports) {
        const std::string stem = base + "vokt-" + ChannelBackupTag(port);
        // One radio alone keeps the data file of a single update.
        const std::string dataFile = several                            ? stem + ".tmp"
                                     : (folder || args.dataFile.empty()) ? base + "vokt.tmp"
                                                                         : args.dataFile;
        RadioSession::Paths paths{dataFile, stem + ".log", std::string(), std::string(), std::string()};
        radios.push_back(std::make_unique<RadioSession>(args, port, paths, prompt, *sink));
        if (!radios.back()->Ready())
            return kExitIntact;
        watched.push_back(radios.back().get());
    }
    FleetStop stop(radios, prompt);
    InterruptSource interrupts([&stop](StopRequest request) { stop(request); });
    if (table)
        table->Watch(watched);
    for (auto& r : radios)
        r->Start();
    int worst = kExitDone;
    for (auto& r : radios) {
        r->Join();
        worst = std::max(worst, r->ExitStatus());
    }
    interrupts.Finished();
    if (table)
        table->Finish();
    if (json)
        json->Result(worst);
    return worst;
}
