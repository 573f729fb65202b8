#pragma once
#include <set>
#include <string>
#include <vector>

#include "platform/host.h"

// A serial adapter present now: the port name it has and the identity that
// stays with it when it is plugged back under another name.
struct Adapter {
    std::string port;
    std::string identity;  // "USB A12345" (serial number), "hub 1-1.2" (place on the hub), or the port's name
    PortDetails details;
};

// Every port of the host's list as an adapter: a USB adapter is known by its
// serial number, else by its place on the hub; any other port by its name.
// Adapters sold with one serial number for all are told apart by their place
// on the hub (else their port): "USB 0001 at hub 1-1.2". `twins` (kept by
// the caller from one listing to the next) holds the identities seen on two
// adapters at once: such an adapter keeps its place in its identity when
// the other is pulled out, so that it stays the same position.
std::vector<Adapter> ListAdapters(Host& host, std::set<std::string>* twins = nullptr);

// The port an adapter identity names now (`name` itself when it names no
// adapter present): a command printed before the adapter was plugged back
// under another port name still finds it.
std::string PortOfAdapter(Host& host, const std::string& name);

// The identity of a port whose details the system gave.
std::string AdapterIdentity(const std::string& port, const PortDetails& details);

// Simulated adapters for tests and benchmarks: VOKTA4_ADAPTERS names a
// folder with one file per adapter, the file's name its serial number and
// its first line its port. When it is set these are the only ports, and no
// other device is ever opened. False when it is not set.
bool SimulatedAdapterPorts(std::vector<std::string>& ports);
bool SimulatedAdapterDetails(const std::string& port, PortDetails& details);
