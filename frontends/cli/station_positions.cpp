#include "frontends/cli/station_positions.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "frontends/cli/console_platform.h"
#include "frontends/cli/radio_session.h"

namespace {

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool ReadPositionsFile(const std::string& path, std::vector<PositionLabel>& labels, std::string& error)
{
    std::ifstream in(std::filesystem::u8path(path));
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::vector<PositionLabel> read;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string text = Trimmed(line.substr(0, line.find('#')));
        if (text.empty())
            continue;
        const std::size_t eq = text.find('=');
        PositionLabel p;
        if (eq != std::string::npos) {
            p.label = Trimmed(text.substr(0, eq));
            p.identity = Trimmed(text.substr(eq + 1));
        }
        const auto same = [&p](const PositionLabel& o) { return o.label == p.label || o.identity == p.identity; };
        if (p.label.empty() || p.identity.empty() || std::any_of(read.begin(), read.end(), same)) {
            error = path + ", line " + std::to_string(number) +
                    (p.label.empty() || p.identity.empty() ? ": not LABEL = IDENTITY"
                                                            : ": a label or identity named twice");
            return false;
        }
        read.push_back(p);
    }
    labels = read;
    return true;
}

bool NamesAdapter(const std::string& named, const std::string& port, const std::string& identity)
{
    return named == identity || PortFullName(named) == PortFullName(port);
}

bool StationWatches(const std::vector<std::string>& ports, bool allPorts, const std::vector<PositionLabel>& labels,
                    const std::string& port, const std::string& identity, const PortDetails& details)
{
    if (!ports.empty())
        return std::any_of(ports.begin(), ports.end(),
                           [&](const std::string& named) { return NamesAdapter(named, port, identity); });
    if (allPorts || !details.vidPid.empty())
        return true;
    return std::any_of(labels.begin(), labels.end(), [&](const PositionLabel& l) { return l.identity == identity; });
}
