// libFuzzer: the firmware conversion and ParseHexField on arbitrary text.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "image/firmware_image.h"
#include "image/hex_field.h"
#include "image/srecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in(text);
    FirmwareImage image;
    long lines = 0, hundredths = 0;
    ConversionCallbacks cb;
    cb.onLine = [&](long line) { lines = line; };
    cb.onHundredth = [&](long) { ++hundredths; };
    ConvertSRecords(in, image, cb);
    if (image.bytes.size() != kImageSize || image.setMask.size() != kImageSize)
        std::abort();
    if (image.bytesSet < 0 || image.bytesSet > static_cast<long>(kImageSize) || hundredths * 100 > image.dataRecords)
        std::abort();
    if (image.Acceptable() && (!image.errors.empty() || image.Ranges().empty()))
        std::abort();

    // Every field the conversion reads is also a ParseHexField input.
    for (std::size_t at = 0; at + 2 <= size && at < 64; at += 2) {
        const std::string field = text.substr(at, 2);
        const int v = ParseHexField(field);
        int w = 0;
        if (IsHexDigits(field, 0, 2) && (!TryParseHexField(field, w) || v != w || v < 0 || v > 255))
            std::abort();
    }
    (void)ParseHexField(text.substr(0, 16));
    return 0;
}
