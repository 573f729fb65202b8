#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

// Writes every chunk sent and received: seconds since the start, TX or RX,
// the bytes in hex.
class TraceFile {
public:
    bool Open(const std::string& path)
    {
        m_file = std::fopen(path.c_str(), "w");
        m_start = std::chrono::steady_clock::now();
        return m_file != nullptr;
    }
    ~TraceFile()
    {
        if (m_file)
            std::fclose(m_file);
    }
    void Record(bool sent, const std::uint8_t* data, std::size_t length)
    {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::fprintf(m_file, "%.6f %s", t, sent ? "TX" : "RX");
        for (std::size_t i = 0; i < length; ++i)
            std::fprintf(m_file, " %02X", data[i]);
        std::fputc('\n', m_file);
    }

private:
    std::FILE* m_file = nullptr;
    std::chrono::steady_clock::time_point m_start;
};
