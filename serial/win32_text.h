#pragma once
// Windows only: the program keeps every path and text in UTF-8; the
// system's wide-character calls take UTF-16. Names outside the ANSI code
// page (a Cyrillic user name, a port path in VOKTA4_PORTS, a system message
// in another language) then work as any other.
#include <windows.h>

#include <string>

inline std::wstring Utf8ToWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

inline std::string WideToUtf8(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
    return text;
}

