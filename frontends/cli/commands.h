#pragma once
#include <ostream>
#include <string>
#include <vector>

// The subcommands of vokta4-cli, one file each.

// Exit status: what state the radio is in.
constexpr int kExitDone = 0;        // "Done.": the radio is updated
constexpr int kExitIntact = 1;      // failed or cancelled before the ROM clear began
constexpr int kExitAfterErase = 2;  // failed after the ROM clear began: needs another update
constexpr int kExitUsage = 64;      // bad usage

enum class UpdateOutcome;
// The exit status that tells an update's outcome (the radio's state).
int ExitStatusOf(UpdateOutcome outcome);

struct WriteArgs {
    std::vector<std::string> ports;  // --port, once or more
    bool allPorts = false;           // every port of the list that opens
    bool verify = false;             // read the whole flash back after the write
    bool json = false;               // JSON Lines on stdout instead of the log
    std::string firmware;
    std::string dataFile;
    std::string channelData;
    std::string bootImage;
    std::string trace;
    bool test = false;
    bool yes = false;
    bool blankChannelData = false;  // write an erased channel area as it is
    bool replaceChannelData = false;  // --channel-data may replace the radio's own, different ones
    bool allowIncomplete = false;   // write a firmware file that looks cut short
    std::string unapproved;         // why a firmware the catalogue does not list is written anyway
};

// `vokta4-cli write`: one radio's log in the terminal, or with several
// ports, --all-ports or --json a live table or JSON Lines; each radio on a
// thread of its own.
int RunWrite(const WriteArgs& args);

struct StationArgs {
    WriteArgs write;            // every position's update
    std::string positionsFile;  // labels for adapters, and the adapters expected
};
// `vokta4-cli station`: every serial adapter a bench position, one key per
// radio, a live table and the shift's tally (or JSON Lines).
int RunStation(const StationArgs& args);

struct ApproveArgs {
    std::string file;
    std::string model;
    std::string release;
    std::string note;
};
// `vokta4-cli approve`: adds a firmware file to the catalogue of approved firmware.
int RunApprove(const ApproveArgs& args);
// `vokta4-cli approved`: lists the catalogue in force.
int RunApproved();

struct HistoryArgs {
    std::string file;   // the service record; default: beside the program
    std::string port;
    std::string since;  // YYYY-MM-DD or a full ISO 8601 time
    bool json = false;
    std::string discard;  // a backup whose unfinished update is closed on purpose
    bool yes = false;     // close it without asking
};
// `vokta4-cli history`: the service record as a table.
int RunHistory(const HistoryArgs& args);
// `vokta4-cli ports`: the ports that open, and why others do not.
int RunPorts();
// `vokta4-cli check FILE`: reads a firmware file as the update would and
// reports what it holds. 0 when the update would accept it, 1 otherwise.
int RunCheck(const std::string& path);
// `vokta4-cli convert FILE -o IMAGE`: writes the 131072-byte image the
// update would write. 1 (and nothing written) when the update would refuse
// the file (a cut-short one is converted with `allowIncomplete`) or the
// output would overwrite one of its inputs.
int RunConvert(const std::string& path, const std::string& output, bool allowIncomplete);
// `vokta4-cli line-test --port P`: test patterns through a loopback plug.
// 0 when every pattern came back exact, 1 otherwise.
// Asks first that the radio be unplugged, unless `yes`.
int RunLineTest(const std::string& port, bool yes);
extern const char* const kLineTestHelp;
extern const char* const kStationHelp;
