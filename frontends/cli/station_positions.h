#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/host.h"

class RadioSession;

// One bench position of a station: an adapter, known by its identity
// whatever port name it has now, and the radio being updated on it.
struct StationPosition {
    int number = 0;          // the key that starts it
    std::string label;       // from the positions file, else "position N"
    std::string identity;    // "USB A12345", "hub 1-1.2", a port's name
    std::string fileTag;     // names its files: vokt-TAG.tmp, vokt-TAG.log
    std::string port;        // its port now; empty while unplugged
    PortDetails details;
    bool expected = false;   // named in the positions file
    std::unique_ptr<RadioSession> session;  // running, or ended and not yet reaped
    std::string lastResult;  // of its last radio
    double startedAt = 0;    // station seconds when its radio's update began

    bool Present() const { return !port.empty(); }
};

// The positions file: "LABEL = IDENTITY" per line, "#" begins a comment:
//   bench 1 = USB FT4XK2Q1
//   bench 2 = hub 1-1.3
// False, with the line's number and what is wrong, when a line is not of
// that form or a label or identity comes twice; nothing is half-read.
struct PositionLabel {
    std::string label;
    std::string identity;
};
bool ReadPositionsFile(const std::string& path, std::vector<PositionLabel>& labels, std::string& error);

// Whether a --port names an adapter: by its identity, or by its port in
// any of that port's forms ("ttyUSB0", "/dev/ttyUSB0"; "com3", "\\.\COM3").
bool NamesAdapter(const std::string& named, const std::string& port, const std::string& identity);

// Whether the station watches an adapter: the ones --port names (by port,
// in any of its forms, or by identity), else with --all-ports every port,
// else USB adapters and the positions file's.
bool StationWatches(const std::vector<std::string>& ports, bool allPorts, const std::vector<PositionLabel>& labels,
                    const std::string& port, const std::string& identity, const PortDetails& details);
