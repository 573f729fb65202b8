// Read-back verification, when asked for: the whole flash read back with
// the block-read exchange and compared with the image that was written,
// the channel data in it included.
#include <cstdio>

#include "res/resource.h"
#include "update/memory_map.h"
#include "update/update_steps.h"

static bool CompareReadBack(UpdateContext& u, std::uint32_t address, bool& answered)
{
    answered = u.WithRetries(ReadBlock, address);
    if (!answered)
        return false;
    std::uint8_t image[kBlockSize];
    if (!ReadImageBlock(u, address, image))
        return false;
    for (std::uint32_t k = 0; k < kBlockSize; ++k) {
        const std::uint8_t radio = u.m_link.RxBuf()[2 + k];  // after the two header bytes
        if (radio != image[k]) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "verification: the radio holds 0x%02X at 0x%06X where the image has 0x%02X "
                          "(the first difference)",
                          radio, static_cast<unsigned>(address + k), image[k]);
            u.m_verified = "differs";
            u.SetDetail(text);
            return false;
        }
    }
    return true;
}

bool VerifyFirmware(UpdateContext& u)
{
    if (!u.m_request.verify)
        return true;
    u.StepStarted(TXT_FIRMWARE_VERIFY);
    u.Progress(0, kImageSize, "bytes");
    std::uint32_t done = 0;
    for (std::uint32_t address = kImageBase; address < 0xFFFFFF; address += kBlockSize) {
        bool answered = false;
        if (!CompareReadBack(u, address, answered)) {
            if (!answered && done == 0 && u.m_link.Running() && !u.m_link.Serial().LineDown()) {
                // The boot program does not read the firmware area: the
                // update stands, unverified.
                u.m_verified = "not possible";
                u.Note("verification not possible: the radio does not answer reads of the firmware area; "
                     "the update itself is done");
                u.StepDone(TXT_VERIFY_NOT_POSSIBLE);
                return true;
            }
            return false;
        }
        done += kBlockSize;
        u.Progress(done, kImageSize, "bytes");
    }
    u.m_verified = "yes";
    u.StepDone(STR_OK_3TABS);
    return true;
}
