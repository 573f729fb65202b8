#pragma once
#include <string>
#include <vector>

class Host;

// A file an update reads, or keeps for later, that no output may overwrite.
struct GuardedFile {
    std::string what;  // "the firmware file"
    std::string path;
};

// The same file: one file under two names, or one name of a file that
// does not exist yet.
bool SameFile(const std::string& a, const std::string& b);

// What every update keeps beside the data file `dataFile` or finds through
// `host`: the boot programs where they are looked for, the service record,
// and the ports the host lists.
std::vector<GuardedFile> KeptFiles(Host& host, const std::string& dataFile);

// Why writing `output` (`what` names it: "--trace FILE") would destroy one
// of `files` or a channel-data backup; empty when it would not.
std::string OutputConflict(const std::string& what, const std::string& output, const std::vector<GuardedFile>& files);
