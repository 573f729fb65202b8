#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <streambuf>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/input_file.h"

namespace {

// Reads a file descriptor in pieces of 64 KiB.
class DescriptorBuffer : public std::streambuf {
public:
    ~DescriptorBuffer() override { Close(); }
    void Attach(int fd) { m_fd = fd; }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr())
            return traits_type::to_int_type(*gptr());
        ssize_t n;
        do
            n = m_fd < 0 ? 0 : ::read(m_fd, m_buffer, sizeof m_buffer);
        while (n < 0 && errno == EINTR);
        if (n <= 0)
            return traits_type::eof();
        setg(m_buffer, m_buffer, m_buffer + n);
        return traits_type::to_int_type(*gptr());
    }

private:
    int m_fd = -1;
    char m_buffer[65536];
};

}  // namespace

struct InputFile::Impl {
    DescriptorBuffer buffer;
    std::istream stream{&buffer};
};

InputFile::InputFile() : m_impl(std::make_unique<Impl>()) {}
InputFile::~InputFile() = default;

bool InputFile::Open(const std::string& path, std::string& error)
{
    m_impl->buffer.Close();
    const std::string wrong = NotARegularFile(path);
    if (!wrong.empty()) {
        error = path + ": " + wrong;
        return false;
    }
    // O_NONBLOCK: should the name have become a FIFO since, the open still
    // returns at once, and the check on the open file refuses it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + ": " + (fd < 0 ? std::strerror(errno) : "not a regular file (a FIFO or a device)");
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_impl->buffer.Attach(fd);
    m_impl->stream.clear();
    return true;
}

std::istream& InputFile::Stream()
{
    return m_impl->stream;
}
