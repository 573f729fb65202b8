// `vokta4-cli approve FILE --model M --release R [--note T]` and
// `vokta4-cli approved`: the shop's catalogue of approved firmware.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>

#include "frontends/cli/commands.h"
#include "image/firmware_image.h"
#include "frontends/cli/firmware_file.h"
#include "platform/native_host.h"
#include "update/approved_firmware.h"
#include "update/iso_time.h"
#include "update/sha256.h"

namespace fs = std::filesystem;

namespace {

// The catalogue an approval goes into: the one in force, else where the
// program starts one (the user's own, or beside a portable program).
bool CatalogueInForce(FirmwareCatalogue& catalogue, std::string& target)
{
    NativeHost host;
    const std::vector<std::string> places = host.CataloguePlaces();
    std::string error;
    if (!LoadFirmwareCatalogue(places, catalogue, error)) {
        std::cerr << "vokta4-cli: the catalogue of approved firmware is damaged: " << error << "\n";
        return false;
    }
    target = catalogue.path.empty() ? places.back() : catalogue.path;
    return true;
}

}  // namespace

int RunApprove(const ApproveArgs& args)
{
    FirmwareCatalogue catalogue;
    std::string target;
    if (!CatalogueInForce(catalogue, target))
        return kExitIntact;
    // Only a file the update would accept is approved.
    FirmwareImage image;
    if (!LoadFirmwareFile(args.file, image))
        return kExitIntact;
    if (!image.Acceptable()) {
        ExplainRefusal(args.file, image);
        return kExitIntact;
    }
    ApprovedFirmware entry;
    entry.sha256 = Sha256OfFile(args.file);
    std::error_code ec;
    entry.size = static_cast<std::uint64_t>(fs::file_size(fs::u8path(args.file), ec));
    entry.model = args.model;
    entry.release = args.release;
    entry.note = args.note;
    entry.file = fs::u8path(args.file).filename().u8string();
    entry.approved = IsoUtc(static_cast<std::int64_t>(std::time(nullptr)));
    if (const ApprovedFirmware* known = catalogue.Find(entry.sha256)) {
        std::cout << args.file << " is approved already, as " << DescribeApproved(*known) << ", in " << target << "\n";
        return kExitDone;
    }
    std::string error;
    if (!AppendApprovedFirmware(target, entry, error)) {
        std::cerr << "vokta4-cli: cannot add to the catalogue of approved firmware: " << error << "\n";
        return kExitIntact;
    }
    std::cout << "approved: " << DescribeApproved(entry) << ", " << args.file << " (SHA-256 " << entry.sha256
              << "), in " << target << "\n";
    return kExitDone;
}

int RunApproved()
{
    FirmwareCatalogue catalogue;
    std::string target;
    if (!CatalogueInForce(catalogue, target))
        return kExitIntact;
    if (catalogue.path.empty()) {
        std::cout << "no catalogue of approved firmware is in force: every firmware file is written "
                     "(vokta4-cli approve starts one at " << target << ")\n";
        return kExitDone;
    }
    std::cout << "catalogue of approved firmware: " << catalogue.path << "\n";
    std::printf("%-12s %-10s %-12.12s %9s  %-20s %s\n", "MODEL", "RELEASE", "SHA-256", "SIZE", "APPROVED (UTC)", "FILE / NOTE");
    for (const ApprovedFirmware& e : catalogue.entries)
        std::printf("%-12s %-10s %-12.12s %9llu  %-20s %s%s%s\n", e.model.c_str(), e.release.c_str(), e.sha256.c_str(),
                    static_cast<unsigned long long>(e.size), e.approved.c_str(), e.file.c_str(),
                    e.note.empty() ? "" : " / ", e.note.c_str());
    return kExitDone;
}
