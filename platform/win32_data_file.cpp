#include <windows.h>

#include "platform/data_file.h"

namespace {

HANDLE H(std::intptr_t v) { return reinterpret_cast<HANDLE>(v); }

std::string LastErrorText()
{
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(), 0, text,
                   sizeof text, nullptr);
    std::string s = text;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

}  // namespace

DataFile::~DataFile()
{
    Close();
}

bool DataFile::Create(const std::string& path, std::string& error)
{
    Close();
    // Shared for reading only: while an update holds the file, a second
    // instance cannot open it for writing (and cannot truncate it).
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = path + ": " + (GetLastError() == ERROR_SHARING_VIOLATION ? "in use by another update" : LastErrorText());
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool DataFile::WriteAt(std::uint32_t offset, const std::uint8_t* data, std::size_t length)
{
    if (m_handle < 0)
        return false;
    OVERLAPPED at{};
    at.Offset = offset;
    DWORD done = 0;
    return WriteFile(H(m_handle), data, static_cast<DWORD>(length), &done, &at) && done == length;
}

bool DataFile::ReadAt(std::uint32_t offset, std::uint8_t* data, std::size_t length)
{
    if (m_handle < 0)
        return false;
    OVERLAPPED at{};
    at.Offset = offset;
    DWORD done = 0;
    return ReadFile(H(m_handle), data, static_cast<DWORD>(length), &done, &at) && done == length;
}

void DataFile::Close()
{
    if (m_handle >= 0) {
        CloseHandle(H(m_handle));
        m_handle = -1;
    }
}

bool WriteNewFile(const std::string& path, const std::uint8_t* data, std::size_t length, std::string& error)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = path + ": " + LastErrorText();
        return false;
    }
    DWORD done = 0;
    const bool ok = WriteFile(h, data, static_cast<DWORD>(length), &done, nullptr) && done == length &&
                    FlushFileBuffers(h);
    CloseHandle(h);
    if (!ok) {
        error = path + ": could not be written completely";
        DeleteFileA(path.c_str());
    }
    return ok;
}
