#include "platform/adapter_list.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

// The simulated adapters present: (serial number, port), by serial number.
bool SimulatedAdapters(std::vector<std::pair<std::string, std::string>>& adapters)
{
    const char* folder = std::getenv("VOKTA4_ADAPTERS");
    if (!folder)
        return false;
    std::error_code ec;
    for (fs::directory_iterator it(fs::u8path(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().u8string();
        if (!it->is_regular_file(ec) || name.empty() || name[0] == '.')
            continue;  // a file being written is renamed into place
        std::ifstream in(it->path());
        std::string port;
        if (std::getline(in, port) && !port.empty())
            adapters.emplace_back(name, port);
    }
    std::sort(adapters.begin(), adapters.end());
    return true;
}

// What a device reports is shown on screens and put in file names: no
// control characters.
std::string Printable(const std::string& text)
{
    std::string shown = text;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return shown;
}

// Where an adapter is, to tell apart two with one serial number.
std::string Place(const Adapter& a)
{
    return a.details.location.empty() ? a.port : "hub " + Printable(a.details.location);
}

}  // namespace

bool SimulatedAdapterPorts(std::vector<std::string>& ports)
{
    std::vector<std::pair<std::string, std::string>> adapters;
    if (!SimulatedAdapters(adapters))
        return false;
    ports.clear();
    for (const auto& a : adapters)
        ports.push_back(a.second);
    return true;
}

bool SimulatedAdapterDetails(const std::string& port, PortDetails& details)
{
    std::vector<std::pair<std::string, std::string>> adapters;
    if (!SimulatedAdapters(adapters))
        return false;
    for (const auto& a : adapters) {
        if (a.second == port) {
            details.description = "simulated USB serial adapter";
            details.vidPid = "0000:0000";
            details.serial = a.first;
        }
    }
    return true;
}

std::string AdapterIdentity(const std::string& port, const PortDetails& details)
{
    if (!details.serial.empty())
        return "USB " + Printable(details.serial);
    if (!details.location.empty())
        return "hub " + Printable(details.location);
    return port;
}

std::vector<Adapter> ListAdapters(Host& host, std::set<std::string>* twins)
{
    std::vector<Adapter> adapters;
    std::vector<std::string> ports;
    if (!host.EnumeratePorts(ports))
        return adapters;
    for (const std::string& port : ports) {
        Adapter a;
        a.port = port;
        a.details = host.DescribePort(port);
        a.identity = AdapterIdentity(port, a.details);
        adapters.push_back(a);
    }
    std::set<std::string> shared = twins ? *twins : std::set<std::string>();
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (adapters[i].identity == adapters[j].identity)
                shared.insert(adapters[i].identity);
        }
    }
    for (Adapter& a : adapters) {
        if (shared.count(a.identity) && a.identity != a.port)
            a.identity += " at " + Place(a);
    }
    if (twins)
        *twins = shared;
    return adapters;
}

std::string PortOfAdapter(Host& host, const std::string& name)
{
    for (const Adapter& a : ListAdapters(host)) {
        // A twin's identity names it also while the other is unplugged.
        if (a.identity == name || a.identity + " at " + Place(a) == name)
            return a.port;
    }
    return name;
}
