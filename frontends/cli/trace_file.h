#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

// Writes every chunk sent and received: seconds since the start, TX or RX,
// the bytes in hex.
class TraceFile {
public:
    bool Open(const std::string& path)
    {
        m_file.open(std::filesystem::u8path(path), std::ios::trunc);
        m_start = std::chrono::steady_clock::now();
        return m_file.is_open();
    }
    void Record(bool sent, const std::uint8_t* data, std::size_t length)
    {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        char head[32];
        std::snprintf(head, sizeof head, "%.6f %s", t, sent ? "TX" : "RX");
        std::string line = head;
        for (std::size_t i = 0; i < length; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", data[i]);
            line += hex;
        }
        m_file << line << '\n';
    }

private:
    std::ofstream m_file;
    std::chrono::steady_clock::time_point m_start;
};
