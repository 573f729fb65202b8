#include <filesystem>

#include "platform/host.h"
#include "platform/paths.h"

std::string DescribeFilePlaces(Host& host)
{
    std::string boot;
    for (const std::string& place : host.BootProgramPlaces())
        boot += (boot.empty() ? "" : " or ") + place;
    // The first catalogue that exists is in force.
    std::string catalogue;
    for (const std::string& place : host.CataloguePlaces()) {
        std::error_code ec;
        if (catalogue.empty() && std::filesystem::exists(std::filesystem::u8path(place), ec))
            catalogue = place + " (in force: only the firmware it lists is written)";
    }
    if (catalogue.empty())
        catalogue = "no catalogue in force (vokta4-cli approve starts one at " + host.CataloguePlaces().back() + ")";
    const std::string kind =
        !host.Installed()              ? "portable folder"
        : host.ReadOnlyProgramFolder() ? "portable folder " + DirectoryOf(host.ModuleFileName()) +
                                             " is read-only: its firmware, boot program and catalogue are used, "
                                             "what the program writes goes to the user's folders"
                                       : "installed";
    return kind +
           ":\n  data file, channel-data backups, service record: " + host.DataFolder() +
           "\n  journal of unfinished updates: beside them, and the user's own in " + host.UserStateFolder() +
           "\n  firmware: the first *.002 in " + host.FirmwareFolder() + " (unless one is given)" +
           "\n  boot program: " + boot + "\n  approved firmware: " + catalogue;
}
