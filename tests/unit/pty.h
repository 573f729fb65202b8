#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// A pseudo-terminal for tests of the POSIX port: the test holds the master
// side, the port under test opens `slave`.
struct Pty {
    int master = -1;
    std::string slave;
    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master);
        ::unlockpt(master);
        slave = ::ptsname(master);
    }
    ~Pty() { ::close(master); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
};
