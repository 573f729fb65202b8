#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include "platform/calendar.h"
#include "platform/win32_text.h"

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

// The per-user local application data folder, from the wide call: a user
// name outside the ANSI code page (Cyrillic, say) stays intact in UTF-8.
std::string UserFolder(const char*, const char*)
{
    PWSTR wide = nullptr;
    std::string base;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &wide) == S_OK)
        base = WideToUtf8(wide);
    CoTaskMemFree(wide);  // also when the call failed
    return (base.empty() ? std::string(".") : base) + "\\VOKTA4\\";
}

std::string ShopFolder()
{
    PWSTR wide = nullptr;
    std::string base;
    if (SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DEFAULT, nullptr, &wide) == S_OK)
        base = WideToUtf8(wide);
    CoTaskMemFree(wide);
    return (base.empty() ? std::string("C:\\ProgramData") : base) + "\\VOKTA4\\";
}
