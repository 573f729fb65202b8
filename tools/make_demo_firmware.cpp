// Writes the demo firmware: S2 records covering the whole radio image
// (0xFE0000-0xFFFFFF), 32 data bytes a record, with an S0 header and an S8
// end record. The content is a recognisable, deterministic pattern.
#include <cstdint>
#include <cstdio>

int main(int argc, char** argv)
{
    std::FILE* out = argc > 1 ? std::fopen(argv[1], "w") : stdout;
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    // S0 header with the text "demo-firmware".
    const char header[] = "demo-firmware";
    unsigned headerSum = (sizeof header - 1) + 3;
    std::fprintf(out, "S0%02X0000", headerSum);
    for (const char* p = header; *p; ++p) {
        headerSum += static_cast<unsigned char>(*p);
        std::fprintf(out, "%02X", static_cast<unsigned char>(*p));
    }
    std::fprintf(out, "%02X\n", ~headerSum & 0xFFu);
    const unsigned perRecord = 32;
    for (std::uint32_t address = 0xFE0000; address <= 0xFFFFFF; address += perRecord) {
        const unsigned count = perRecord + 4;
        unsigned sum = count + ((address >> 16) & 0xFF) + ((address >> 8) & 0xFF) + (address & 0xFF);
        std::fprintf(out, "S2%02X%06X", count, static_cast<unsigned>(address));
        for (unsigned i = 0; i < perRecord; ++i) {
            const std::uint32_t a = address + i;
            const unsigned b = ((a >> 8) ^ (a * 13) ^ 0x3C) & 0xFFu;
            sum += b;
            std::fprintf(out, "%02X", b);
        }
        std::fprintf(out, "%02X\n", ~sum & 0xFFu);
    }
    std::fprintf(out, "S804FE0000FD\n");
    return out == stdout || std::fclose(out) == 0 ? 0 : 1;
}
