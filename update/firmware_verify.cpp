// Read-back verification, when asked for: the whole flash read back with
// the block-read exchange and compared with the image that was written,
// the channel data in it included. And, asked for or not, the blocks whose
// acknowledgement is in doubt, read back after the write.
#include <cstdio>

#include "res/resource.h"
#include "update/channel_area.h"
#include "update/memory_map.h"
#include "update/update_steps.h"

// The first address where the block read back differs from the image, or -1.
static long FirstDifference(UpdateContext& u, const std::uint8_t* image)
{
    for (std::uint32_t k = 0; k < kBlockSize; ++k) {
        if (u.m_link.RxBuf()[2 + k] != image[k])  // after the two header bytes
            return static_cast<long>(k);
    }
    return -1;
}

// `differs`: the block was read twice, after a quiet line, and both reads
// differ from the image (false also when a read or the data file failed).
static bool CompareReadBack(UpdateContext& u, std::uint32_t address, bool& answered, bool& differs)
{
    std::uint8_t image[kBlockSize];
    answered = false;
    differs = false;
    for (int look = 1;; ++look) {
        // Once the radio has answered a read of the block, it reads the
        // firmware area: a later failure is a failure, not "not possible".
        const bool read = u.WithRetries(ReadBlock, address);
        answered = answered || read;
        if (!read || !ReadImageBlock(u, address, image))
            return false;
        const long k = FirstDifference(u, image);
        if (k < 0)
            return true;
        // A reply shifted by bytes that were not its own reads wrong once; a
        // flash that differs reads wrong again after a quiet line.
        if (look == 1) {
            u.m_link.DrainLine();
            continue;
        }
        char text[160];
        std::snprintf(text, sizeof text,
                      "verification: the radio holds 0x%02X at 0x%06X where the image has 0x%02X "
                      "(the first difference)",
                      u.m_link.RxBuf()[2 + k], static_cast<unsigned>(address + static_cast<std::uint32_t>(k)),
                      image[k]);
        u.m_verified = "differs";
        u.SetDetail(text);
        differs = true;
        return false;
    }
}

bool CheckBlocksInDoubt(UpdateContext& u)
{
    if (u.m_blocksInDoubt.empty())
        return true;
    u.Note(std::to_string(u.m_blocksInDoubt.size()) +
           " block(s) whose acknowledgement is in doubt (bytes no exchange awaited, or a retry, came after them) "
           "are read back");
    const std::string verified = u.m_verified;
    bool anyRead = false;
    for (const std::uint32_t address : u.m_blocksInDoubt) {
        bool answered = false, differs = false;
        const bool same = CompareReadBack(u, address, answered, differs);
        anyRead = anyRead || answered;
        if (same)
            continue;
        if (!answered && !anyRead && u.m_link.Running() && !u.m_link.Serial().LineDown()) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "block 0x%06X: its acknowledgement is in doubt, and the radio does not read back its "
                          "firmware area: whether the block was written cannot be told",
                          static_cast<unsigned>(address));
            u.SetDetail(text);
        }
        if (!differs || !FlashBlockErased(u.m_link.RxBuf() + 2))  // after the two header bytes
            return false;  // the detail says what failed, or where the block differs
        // Erased: its data never reached the flash, and its acknowledgement
        // answered something else. Written again, and read back again.
        u.m_verified = verified;
        if (!u.WithRetries(WriteBlock, address))
            return false;
        u.m_link.PauseAfterReply(u.m_link.Times().stepPause);
        if (!CompareReadBack(u, address, answered, differs))
            return false;
        char text[120];
        std::snprintf(text, sizeof text, "block 0x%06X read back erased after its acknowledgement: written again",
                      static_cast<unsigned>(address));
        u.Note(text);
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
        bool answered = false, differs = false;
        if (!CompareReadBack(u, address, answered, differs)) {
            if (!answered && done == 0 && u.m_link.Running() && !u.m_link.Serial().LineDown()) {
                // The boot program does not read the firmware area: the
                // update stands, unverified.
                u.m_verified = "not possible";
                u.Note("verification not possible: the radio does not answer reads of the firmware area; "
                     "the update itself is done");
                u.StepDone(StepEnd::NotPossible);
                return true;
            }
            return false;
        }
        done += kBlockSize;
        u.Progress(done, kImageSize, "bytes");
    }
    u.m_verified = "yes";
    u.StepDone();
    return true;
}
