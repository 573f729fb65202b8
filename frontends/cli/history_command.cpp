// `vokta4-cli history`: the service record, vokta4-history.jsonl, as a
// table or as its JSON lines. A damaged line (a power cut during an append)
// is skipped and counted.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "frontends/cli/commands.h"
#include "platform/native_host.h"
#include "platform/paths.h"

namespace {

std::string Text(const nlohmann::json& j, const char* key)
{
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string FileName(const std::string& path)
{
    return path.substr(DirectoryOf(path).size());
}

}  // namespace

int RunHistory(const HistoryArgs& args)
{
    const std::string file =
        args.file.empty() ? NativeHost().DataFolder() + "vokta4-history.jsonl" : args.file;
    std::ifstream in(std::filesystem::u8path(file), std::ios::binary);
    if (!in) {
        std::cerr << "vokta4-cli: no service record at " << file << "\n";
        return kExitIntact;
    }
    if (!args.json)
        std::printf("%-20s %-18s %-24s %-12s %-7s %-20s %-20s %8s\n", "START (UTC)", "PORT", "FIRMWARE", "SHA-256",
                    "MODE", "RESULT", "RADIO", "SECONDS");
    std::string line;
    long damaged = 0;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty())
            continue;
        const nlohmann::json r = nlohmann::json::parse(line, nullptr, false);
        if (r.is_discarded() || !r.is_object()) {
            ++damaged;
            continue;
        }
        const std::string start = Text(r, "start");
        if ((!args.port.empty() && Text(r, "port") != args.port) || (!args.since.empty() && start < args.since))
            continue;
        if (args.json) {
            std::printf("%s\n", line.c_str());
            continue;
        }
        const nlohmann::json firmware = r.value("firmware", nlohmann::json::object());
        std::printf("%-20s %-18s %-24s %-12.12s %-7s %-20.20s %-20s %8.1f\n", start.c_str(), Text(r, "port").c_str(),
                    FileName(Text(firmware, "file")).c_str(), Text(firmware, "sha256").c_str(),
                    Text(r, "mode").c_str(), Text(r, "result").c_str(), Text(r, "state").c_str(),
                    r.value("duration_s", 0.0));
    }
    if (damaged > 0)
        std::cerr << "vokta4-cli: " << damaged << " damaged line(s) of " << file << " skipped\n";
    return kExitDone;
}
