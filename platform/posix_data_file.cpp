#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/data_file.h"

DataFile::~DataFile()
{
    Close();
}

bool DataFile::Create(const std::string& path, std::string& error)
{
    Close();
    // Not O_TRUNC: the file is emptied only once the lock is ours, so a
    // second instance never destroys a running update's image.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = path + ": in use by another update";
        ::close(fd);
        return false;
    }
    if (::ftruncate(fd, 0) != 0) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

namespace {

// Repeats a positioned read or write until all `length` bytes are done.
template <typename Io, typename Byte>
bool Transfer(int fd, Io io, Byte* data, std::size_t length, std::uint32_t offset)
{
    std::size_t done = 0;
    while (fd >= 0 && done < length) {
        const ssize_t n = io(fd, data + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return done == length;
}

}  // namespace

bool DataFile::WriteAt(std::uint32_t offset, const std::uint8_t* data, std::size_t length)
{
    errno = ENOSPC;  // what a write that takes nothing means
    if (Transfer(static_cast<int>(m_handle), ::pwrite, data, length, offset))
        return true;
    m_lastError = std::strerror(errno);
    return false;
}

bool DataFile::ReadAt(std::uint32_t offset, std::uint8_t* data, std::size_t length)
{
    errno = EIO;
    if (Transfer(static_cast<int>(m_handle), ::pread, data, length, offset))
        return true;
    m_lastError = std::strerror(errno);
    return false;
}

void DataFile::Close()
{
    if (m_handle >= 0) {
        ::close(static_cast<int>(m_handle));
        m_handle = -1;
    }
}

FileHold::~FileHold()
{
    Release();
}

bool FileHold::Take(const std::string& path, std::string& error)
{
    Release();
    // Open for writing: where flock is emulated by record locks (NFS), an
    // exclusive lock needs it.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = path + ": " + (errno == EWOULDBLOCK ? std::string("held by another update") : std::strerror(errno));
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

void FileHold::Release()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
    m_handle = -1;
}

bool DataFileInUse(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    // A shared lock is refused while an update holds its exclusive one.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool WriteNewFile(const std::string& path, const std::uint8_t* data, std::size_t length, std::string& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    // The system's reason is kept: a full disk says so (ENOSPC), whether the
    // write or the flush finds it.
    std::size_t done = 0;
    int reason = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, data + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            reason = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (reason == 0 && ::fsync(fd) != 0)
        reason = errno;
    if (::close(fd) != 0 && reason == 0)
        reason = errno;
    if (reason != 0) {
        error = path + ": " + std::strerror(reason);
        ::unlink(path.c_str());
    }
    return reason == 0;
}

bool AppendLineLocked(const std::string& path, const std::string& line, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    ::flock(fd, LOCK_EX);
    std::string text = line + "\n";
    const off_t size = ::lseek(fd, 0, SEEK_END);
    char last = '\n';
    if (size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n')
        text.insert(0, "\n");  // the last line was cut short: it stays apart
    // On disk before the lock goes: a record that is reported written
    // survives a power cut.
    const bool ok = Transfer(fd, [](int f, const char* d, std::size_t n, off_t) { return ::write(f, d, n); },
                             text.data(), text.size(), 0) &&
                    ::fsync(fd) == 0;
    if (!ok)
        error = path + ": " + std::strerror(errno);
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return ok;
}
