#include "update/approved_firmware.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/data_file.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxLine = 8192;

bool Sha256Text(const std::string& text)
{
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::string Text(const nlohmann::json& j, const char* key)
{
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// One line of the catalogue; false (and why) when it is not a whole entry.
bool ParseEntry(const std::string& line, ApprovedFirmware& e, std::string& why)
{
    // The parser refuses text that is not UTF-8.
    const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        why = "not a JSON object (or not UTF-8)";
        return false;
    }
    e.sha256 = Text(j, "sha256");
    e.model = Text(j, "model");
    e.release = Text(j, "release");
    e.note = Text(j, "note");
    e.file = Text(j, "file");
    e.approved = Text(j, "approved");
    const auto size = j.find("size");
    if (!Sha256Text(e.sha256)) {
        why = "\"sha256\" is not 64 lower-case hexadecimal digits";
        return false;
    }
    if (size == j.end() || !size->is_number_unsigned()) {
        why = "\"size\" is not a number of bytes";
        return false;
    }
    e.size = size->get<std::uint64_t>();
    if (e.model.empty() || e.release.empty()) {
        why = "\"model\" or \"release\" is missing";
        return false;
    }
    return true;
}

}  // namespace

const ApprovedFirmware* FirmwareCatalogue::Find(const std::string& sha256) const
{
    for (const ApprovedFirmware& e : entries) {
        if (e.sha256 == sha256)
            return &e;
    }
    return nullptr;
}

bool LoadFirmwareCatalogue(const std::vector<std::string>& places, FirmwareCatalogue& catalogue, std::string& error)
{
    catalogue = FirmwareCatalogue();
    for (const std::string& place : places) {
        std::error_code ec;
        if (!fs::exists(fs::u8path(place), ec))
            continue;
        catalogue.path = place;
        std::ifstream in(fs::u8path(place), std::ios::binary);
        if (!in) {
            error = place + ": cannot be read";
            return false;
        }
        std::string line;
        for (long number = 1;; ++number) {
            line.clear();
            bool any = false;
            for (int c; (c = in.get()) != std::char_traits<char>::eof() && c != '\n';) {
                any = true;
                if (line.size() > kMaxLine) {
                    error = place + ", line " + std::to_string(number) + ": longer than any entry";
                    return false;
                }
                line += static_cast<char>(c);
            }
            if (!any && in.eof())
                break;
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            if (line.empty())
                continue;
            ApprovedFirmware e;
            std::string why;
            if (!ParseEntry(line, e, why)) {
                error = place + ", line " + std::to_string(number) + ": " + why;
                return false;
            }
            catalogue.entries.push_back(std::move(e));
        }
        return true;
    }
    return true;
}

bool AppendApprovedFirmware(const std::string& path, const ApprovedFirmware& e, std::string& error)
{
    const nlohmann::json j = {{"sha256", e.sha256}, {"size", e.size},     {"model", e.model}, {"release", e.release},
                              {"note", e.note},     {"file", e.file},     {"approved", e.approved}};
    std::error_code ec;
    fs::create_directories(fs::u8path(path).parent_path(), ec);
    return AppendLineLocked(path, j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), error);
}

std::string DescribeApproved(const ApprovedFirmware& e)
{
    return e.model + " " + e.release;
}
