#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The update's data file: the 128 KiB image, one byte per radio address.
// Created anew for each update and held locked while it is open, so that
// two updates never share one file.
class DataFile {
public:
    DataFile() = default;
    ~DataFile();
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    // Opens or creates `path` for reading and writing, takes an exclusive
    // lock, then empties it. False (and `error` says why) when the file
    // cannot be created or another update holds it.
    bool Create(const std::string& path, std::string& error);
    bool IsOpen() const { return m_handle >= 0; }
    bool WriteAt(std::uint32_t offset, const std::uint8_t* data, std::size_t length);
    bool ReadAt(std::uint32_t offset, std::uint8_t* data, std::size_t length);
    void Close();
    // The system's reason for the last failed read or write ("No space left on device").
    const std::string& LastError() const { return m_lastError; }

private:
    std::intptr_t m_handle = -1;
    std::string m_lastError;
};

// A file held by an update for as long as it runs: the backup of its
// journal entry, so that the entry counts as running only while its own
// update holds it.
class FileHold {
public:
    FileHold() = default;
    ~FileHold();
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;

    // Takes an exclusive hold on the existing file `path`; false (and why)
    // when it cannot be opened or another update holds it.
    bool Take(const std::string& path, std::string& error);
    void Release();

private:
    std::intptr_t m_handle = -1;
};

// True while an update holds the file at `path` (its data file, or the
// backup of its journal entry), in this process or another.
bool DataFileInUse(const std::string& path);

// Appends one line to a text file shared by many writers (processes and
// threads): under an exclusive lock, in one write, and on a line of its own
// even when the file's last line was cut short (a power cut).
bool AppendLineLocked(const std::string& path, const std::string& line, std::string& error);

// Writes `length` bytes to a new file; fails if `path` already exists.
bool WriteNewFile(const std::string& path, const std::uint8_t* data, std::size_t length, std::string& error);
