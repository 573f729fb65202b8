#pragma once
#include <istream>
#include <memory>
#include <string>

// An input file (the firmware, the boot program, a channel-data backup),
// opened for reading only when it is a regular file. A folder, a FIFO or a
// device is refused before it is read, and the opening never waits: opening
// a FIFO would wait for a writer, and with the stop signals taken by a
// thread of their own nothing could end that wait.
class InputFile {
public:
    InputFile();
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False, with `error` ("PATH: a folder, not a file"), when `path` is no
    // regular file or cannot be opened.
    bool Open(const std::string& path, std::string& error);
    std::istream& Stream();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Why `path` is not a regular file ("a folder, not a file", ...); empty when it is one.
std::string NotARegularFile(const std::string& path);
