#pragma once
#include <ctime>
#include <string>

// The calendar time of a moment, thread-safe on every platform.
std::tm LocalCalendar(std::time_t moment);
std::tm UtcCalendar(std::time_t moment);

// A per-user folder for the program's files, ending with a separator:
// $XDG_<kind>_HOME/vokta4/ (else ~/<fallback>/vokta4/) on Linux,
// %LOCALAPPDATA%\VOKTA4\ on Windows.
std::string UserFolder(const char* xdgVariable, const char* homeFallback);
// The machine's folder for what the shop sets for every user, ending with
// a separator: /etc/vokta4/ on Linux, %ProgramData%\VOKTA4\ on Windows.
std::string ShopFolder();
