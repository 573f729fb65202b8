// Writes a demo firmware: S2 (or S3) records covering the whole radio image
// (0xFE0000-0xFFFFFF), 32 data bytes a record, with an S0 header and an end
// record. The content is a recognisable, deterministic pattern.
//   make-demo-firmware [OUT] [--s3] [--outside-mib N]
// --outside-mib N adds about N MiB of records whose addresses lie below the
// image (they are skipped by the update), before the image's records.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Record(std::FILE* out, int type, std::uint32_t address, int perRecord, std::uint32_t seedOffset)
{
    const int addressBytes = type + 1;
    const unsigned count = static_cast<unsigned>(perRecord + addressBytes + 1);
    unsigned sum = count;
    std::fprintf(out, "S%d%02X", type, count);
    for (int i = addressBytes - 1; i >= 0; --i) {
        const unsigned b = (address >> (8 * i)) & 0xFFu;
        sum += b;
        std::fprintf(out, "%02X", b);
    }
    for (int i = 0; i < perRecord; ++i) {
        const std::uint32_t a = address + static_cast<std::uint32_t>(i) + seedOffset;
        const unsigned b = ((a >> 8) ^ (a * 13) ^ 0x3C) & 0xFFu;
        sum += b;
        std::fprintf(out, "%02X", b);
    }
    std::fprintf(out, "%02X\n", ~sum & 0xFFu);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* path = nullptr;
    int type = 2;
    long outsideMiB = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--s3") == 0)
            type = 3;
        else if (std::strcmp(argv[i], "--outside-mib") == 0 && i + 1 < argc)
            outsideMiB = std::atol(argv[++i]);
        else
            path = argv[i];
    }
    std::FILE* out = path ? std::fopen(path, "w") : stdout;
    if (!out) {
        std::perror(path);
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

    const int perRecord = 32;
    const long lineBytes = 2 + 2 + 2 * (type + 1) + 2 * perRecord + 2 + 1;
    const long outsideLines = outsideMiB * 1024 * 1024 / lineBytes;
    for (long n = 0; n < outsideLines; ++n)
        Record(out, type, static_cast<std::uint32_t>((n * perRecord) % 0xF00000), perRecord, 7);
    for (std::uint32_t address = 0xFE0000; address <= 0xFFFFFF; address += perRecord)
        Record(out, type, address, perRecord, 0);
    std::fprintf(out, type == 2 ? "S804FE0000FD\n" : "S70500FE0000FC\n");
    return out == stdout || std::fclose(out) == 0 ? 0 : 1;
}
