#pragma once
#include <string>

// The subcommands of vokta4-cli, one file each.

// Exit status: what state the radio is in.
constexpr int kExitDone = 0;        // "Done.": the radio is updated
constexpr int kExitIntact = 1;      // failed or cancelled before the ROM clear began
constexpr int kExitAfterErase = 2;  // failed after the ROM clear began: needs another update
constexpr int kExitUsage = 64;      // bad usage

struct WriteArgs {
    std::string port;
    std::string firmware;
    std::string dataFile;
    std::string channelData;
    std::string bootImage;
    std::string trace;
    bool test = false;
    bool yes = false;
    bool blankChannelData = false;  // write an erased channel area as it is
};

// `vokta4-cli write`: the update of one radio.
int RunWrite(const WriteArgs& args);
// `vokta4-cli ports`: the ports that open, and why others do not.
int RunPorts();
// `vokta4-cli check FILE`: reads a firmware file as the update would and
// reports what it holds. 0 when the update would accept it, 1 otherwise.
int RunCheck(const std::string& path);
// `vokta4-cli convert FILE -o IMAGE`: writes the 131072-byte image the
// update would write. 1 (and nothing written) when the update would refuse.
int RunConvert(const std::string& path, const std::string& output);
