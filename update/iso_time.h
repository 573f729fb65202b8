#pragma once
#include <cstdio>
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

// An ISO 8601 UTC time ("2026-12-08T10:15:00Z") as local time
// ("2026-12-08 11:15:00"), as the backups' names show it; the text as it is
// when it is not one.
inline std::string LocalTimeOfIso(const std::string& iso)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ", &y, &mo, &d, &h, &mi, &s) != 6)
        return iso;
    // Days from the civil date (proleptic Gregorian), then seconds.
    const int yy = y - (mo <= 2 ? 1 : 0);
    const int era = (yy >= 0 ? yy : yy - 399) / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    const std::tm local = LocalCalendar(static_cast<std::time_t>(days * 86400 + h * 3600 + mi * 60 + s));
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}
