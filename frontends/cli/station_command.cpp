// `vokta4-cli station`: the checks before a station starts.
#include <filesystem>
#include <iostream>

#include "frontends/cli/station.h"
#include "frontends/cli/write_options.h"

namespace fs = std::filesystem;

const char* const kStationHelp =
    "Every USB serial adapter plugged in is a bench position, named by its serial number (else its place\n"
    "on the hub), whatever port name it has: pulled out and plugged back it is the same position.\n"
    "Connect a radio, press the position's number and Enter (Enter alone: every waiting position), then\n"
    "switch the radio on. Each radio is updated once for each key press. q ends the station once the\n"
    "updates running have ended; Ctrl-C stops the updates that have not begun their erase.\n"
    "Each position keeps vokt-ADAPTER.tmp, its backups and vokt-ADAPTER.log in the data folder.";

int RunStation(const StationArgs& args)
{
    if (!args.write.channelData.empty() || !args.write.trace.empty()) {
        std::cerr << "vokta4-cli: --channel-data and --trace belong to one radio: use write --port\n";
        return kExitUsage;
    }
    const std::string problem = SeveralRadiosProblem(args.write);
    if (!problem.empty()) {
        std::cerr << "vokta4-cli: " << problem << "\n";
        return kExitUsage;
    }
    std::vector<PositionLabel> labels;
    std::string error;
    if (!args.positionsFile.empty() && !ReadPositionsFile(args.positionsFile, labels, error)) {
        std::cerr << "vokta4-cli: " << error << "\n";
        return kExitUsage;
    }
    const std::string folder = args.write.dataFile.empty() ? NativeHost().DataFolder()
                                                           : (fs::u8path(args.write.dataFile) / "").u8string();
    Station station(args, labels, folder, TerminalRedraws());
    return station.Run();
}
