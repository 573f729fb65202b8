#pragma once
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/calendar.h"

// UTC, ISO 8601: "2026-12-08T10:15:00Z".
inline std::string IsoUtc(std::int64_t seconds)
{
    const std::tm utc = UtcCalendar(static_cast<std::time_t>(seconds));
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}
