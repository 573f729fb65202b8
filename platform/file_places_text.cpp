#include "platform/host.h"
#include "platform/paths.h"

std::string DescribeFilePlaces(Host& host)
{
    std::string boot;
    for (const std::string& place : host.BootProgramPlaces())
        boot += (boot.empty() ? "" : " or ") + place;
    const std::string kind =
        !host.Installed()              ? "portable folder"
        : host.ReadOnlyProgramFolder() ? "installed: the program's folder " + DirectoryOf(host.ModuleFileName()) +
                                             " is read-only, so the user's folders are used"
                                       : "installed";
    return kind +
           ":\n  data file, channel-data backups, service record: " + host.DataFolder() +
           "\n  firmware: the first *.002 in " + host.FirmwareFolder() + " (unless one is given)" +
           "\n  boot program: " + boot;
}
