#pragma once
// Windows only: the program keeps every path and text in UTF-8; the
// system's wide-character calls take UTF-16. Folders outside the ANSI code
// page (a Cyrillic user name, say) then work as any other.
#include <windows.h>

#include <string>

#include "serial/win32_text.h"

// The system's message for an error code, in UTF-8, without its line end.
inline std::string SystemErrorText(DWORD code)
{
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                   sizeof text / sizeof text[0], nullptr);
    std::string s = WideToUtf8(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}
