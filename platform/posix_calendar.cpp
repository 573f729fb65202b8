#include <cstdlib>

#include "platform/calendar.h"

std::tm LocalCalendar(std::time_t moment)
{
    std::tm t{};
    localtime_r(&moment, &t);
    return t;
}

std::tm UtcCalendar(std::time_t moment)
{
    std::tm t{};
    gmtime_r(&moment, &t);
    return t;
}

std::string ShopFolder()
{
    return "/etc/vokta4/";
}

std::string UserFolder(const char* xdgVariable, const char* homeFallback)
{
    const char* xdg = std::getenv(xdgVariable);
    if (xdg && *xdg)
        return std::string(xdg) + "/vokta4/";
    const char* home = std::getenv("HOME");
    return (home && *home ? std::string(home) : std::string(".")) + "/" + homeFallback + "/vokta4/";
}
