#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 (FIPS 180-4) of a byte stream, fed in pieces. The service record
// names each firmware file by it; no library of the Windows build has one.
class Sha256 {
public:
    Sha256();
    void Add(const void* data, std::size_t length);
    // The digest as 64 lower-case hex digits; the object is spent after it.
    std::string HexDigest();

private:
    void Block(const std::uint8_t* block);

    std::uint32_t m_state[8];
    std::uint8_t m_buffer[64];
    std::size_t m_buffered = 0;
    std::uint64_t m_length = 0;  // bytes so far
};

// The SHA-256 of bytes in memory.
std::string Sha256Of(const void* data, std::size_t length);
// The SHA-256 of a whole file (UTF-8 path); empty when it cannot be read.
std::string Sha256OfFile(const std::string& path);
