#include <filesystem>
#include <fstream>

#include "platform/input_file.h"

// Windows file systems hold no FIFOs: a file that is regular by its status
// opens without waiting.
struct InputFile::Impl {
    std::ifstream stream;
};

InputFile::InputFile() : m_impl(std::make_unique<Impl>()) {}
InputFile::~InputFile() = default;

bool InputFile::Open(const std::string& path, std::string& error)
{
    m_impl->stream.close();
    m_impl->stream.clear();
    const std::string wrong = NotARegularFile(path);
    if (!wrong.empty()) {
        error = path + ": " + wrong;
        return false;
    }
    m_impl->stream.open(std::filesystem::u8path(path), std::ios::binary);
    if (!m_impl->stream) {
        error = path + ": cannot be opened";
        return false;
    }
    return true;
}

std::istream& InputFile::Stream()
{
    return m_impl->stream;
}
