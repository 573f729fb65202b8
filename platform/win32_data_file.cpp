#include <windows.h>

#include "platform/data_file.h"
#include "platform/win32_text.h"

namespace {

HANDLE H(std::intptr_t v) { return reinterpret_cast<HANDLE>(v); }

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
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // Another update holds it so, but so may any program that has the
        // file open (an editor, a virus scanner, a backup).
        error = path + ": " + (code == ERROR_SHARING_VIOLATION
                                   ? "in use by another program (another update, or a program that has it open)"
                                   : SystemErrorText(code));
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

FileHold::~FileHold()
{
    Release();
}

bool FileHold::Take(const std::string& path, std::string& error)
{
    Release();
    // Open for writing and shared for reading only, as the data file is:
    // DataFileInUse sees it held, readers still read it.
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = path + ": " + SystemErrorText(GetLastError());
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

void FileHold::Release()
{
    if (m_handle >= 0)
        CloseHandle(H(m_handle));
    m_handle = -1;
}

bool DataFileInUse(const std::string& path)
{
    // Not sharing writes: refused while an update holds the file for writing.
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(h);
    return false;
}

bool DataFile::WriteAt(std::uint32_t offset, const std::uint8_t* data, std::size_t length)
{
    if (m_handle < 0)
        return false;
    OVERLAPPED at{};
    at.Offset = offset;
    DWORD done = 0;
    if (WriteFile(H(m_handle), data, static_cast<DWORD>(length), &done, &at) && done == length)
        return true;
    m_lastError = SystemErrorText(GetLastError());
    return false;
}

bool DataFile::ReadAt(std::uint32_t offset, std::uint8_t* data, std::size_t length)
{
    if (m_handle < 0)
        return false;
    OVERLAPPED at{};
    at.Offset = offset;
    DWORD done = 0;
    if (ReadFile(H(m_handle), data, static_cast<DWORD>(length), &done, &at) && done == length)
        return true;
    m_lastError = SystemErrorText(GetLastError());
    return false;
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
    const std::wstring wide = Utf8ToWide(path);
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = path + ": " + SystemErrorText(GetLastError());
        return false;
    }
    DWORD done = 0;
    const bool written = WriteFile(h, data, static_cast<DWORD>(length), &done, nullptr) && done == length;
    const DWORD code = written ? (FlushFileBuffers(h) ? 0 : GetLastError()) : GetLastError();
    CloseHandle(h);
    if (!written || code != 0) {
        error = path + ": " + SystemErrorText(code);
        DeleteFileW(wide.c_str());
        return false;
    }
    return true;
}

bool AppendLineLocked(const std::string& path, const std::string& line, std::string& error)
{
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = path + ": " + SystemErrorText(GetLastError());
        return false;
    }
    OVERLAPPED whole{};
    LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    std::string text = line + "\r\n";
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    if (size.QuadPart > 0) {
        OVERLAPPED at{};
        const long long lastAt = size.QuadPart - 1;
        at.Offset = static_cast<DWORD>(lastAt & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(lastAt >> 32);
        char last = '\n';
        DWORD got = 0;
        if (ReadFile(h, &last, 1, &got, &at) && got == 1 && last != '\n')
            text.insert(0, "\r\n");  // the last line was cut short: it stays apart
    }
    OVERLAPPED end{};
    end.Offset = static_cast<DWORD>(size.QuadPart & 0xFFFFFFFF);
    end.OffsetHigh = static_cast<DWORD>(size.QuadPart >> 32);
    DWORD done = 0;
    // On disk before the lock goes: a record that is reported written
    // survives a power cut.
    const bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, &end) && done == text.size() &&
                    FlushFileBuffers(h);
    if (!ok)
        error = path + ": " + SystemErrorText(GetLastError());
    UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(h);
    return ok;
}
