#include <cstdlib>

#include "platform/calendar.h"

std::tm LocalCalendar(std::time_t moment)
{
    std::tm t{};
    localtime_s(&t, &moment);
    return t;
}

std::tm UtcCalendar(std::time_t moment)
{
    std::tm t{};
    gmtime_s(&t, &moment);
    return t;
}

std::string UserFolder(const char*, const char*)
{
    const char* base = std::getenv("LOCALAPPDATA");
    return (base && *base ? std::string(base) : std::string(".")) + "\\VOKTA4\\";
}
