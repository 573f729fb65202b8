#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

class Host;

// The ports of the system as a WRITE sees them, found without a dialog.
struct PortProbe {
    bool enumerated = true;           // false: the system's enumeration failed
    std::vector<std::string> usable;  // those that open, in the system's order
    std::string selected;             // `saved` if it opens, else the first that does
    std::vector<std::pair<std::string, std::string>> refused;  // those that do not, with the reason
    // For a usable port whose USB adapter delays replies: what it costs and
    // how to lower it (see PortBackend::LatencyAdvice).
    std::map<std::string, std::string> latencyAdvice;
};

// Opens each port the host lists and closes it again.
PortProbe ProbePorts(Host& host, const std::string& saved);
