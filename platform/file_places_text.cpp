#include "platform/host.h"

std::string DescribeFilePlaces(Host& host)
{
    std::string boot;
    for (const std::string& place : host.BootProgramPlaces())
        boot += (boot.empty() ? "" : " or ") + place;
    return std::string(host.Installed() ? "installed" : "portable folder") +
           ":\n  data file, channel-data backups, service record: " + host.DataFolder() +
           "\n  firmware: the first *.002 in " + host.FirmwareFolder() + " (unless one is given)" +
           "\n  boot program: " + boot;
}
