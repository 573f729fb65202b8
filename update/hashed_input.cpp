#include "update/hashed_input.h"

HashedInput::int_type HashedInput::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    const std::streamsize n = m_source.sgetn(m_chunk.data(), static_cast<std::streamsize>(m_chunk.size()));
    if (n <= 0)
        return traits_type::eof();
    m_sha.Add(m_chunk.data(), static_cast<std::size_t>(n));
    m_size += static_cast<std::uint64_t>(n);
    setg(m_chunk.data(), m_chunk.data(), m_chunk.data() + n);
    return traits_type::to_int_type(*gptr());
}

std::string HashedInput::FinishDigest(std::uint64_t& size)
{
    // Every chunk is hashed as it comes in: the rest only has to pass.
    do
        setg(m_chunk.data(), m_chunk.data(), m_chunk.data());
    while (underflow() != traits_type::eof());
    size = m_size;
    return m_sha.HexDigest();
}
