#pragma once
#include <array>
#include <cstdint>
#include <streambuf>
#include <string>

#include "update/sha256.h"

// A stream buffer in front of another that hashes every byte as it is
// taken: the digest and the size name exactly the bytes the reader got,
// even if the file behind changes on disk afterwards.
class HashedInput : public std::streambuf {
public:
    explicit HashedInput(std::streambuf& source) : m_source(source) {}
    // Reads what the reader left, then gives the SHA-256 of all the bytes
    // and their number. Call once, after the reading.
    std::string FinishDigest(std::uint64_t& size);

protected:
    int_type underflow() override;

private:
    std::streambuf& m_source;
    std::array<char, 65536> m_chunk{};
    Sha256 m_sha;
    std::uint64_t m_size = 0;
};
