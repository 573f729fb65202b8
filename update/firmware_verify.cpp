// Read-back verification, when asked for: the whole flash read back with
// the block-read exchange and compared with the image that was written,
// the channel data in it included.
#include <cstdio>

#include "dialog/updater_dialog.h"
#include "res/resource.h"
#include "update/memory_map.h"

bool UpdaterDialog::CompareReadBack(std::uint32_t address, bool& answered)
{
    answered = WithRetries(&UpdaterDialog::ReadBlock, address);
    if (!answered)
        return false;
    std::uint8_t image[kBlockSize];
    if (!ReadImageBlock(address, image))
        return false;
    for (std::uint32_t k = 0; k < kBlockSize; ++k) {
        const std::uint8_t radio = m_rxBuf[2 + k];  // after the two header bytes
        if (radio != image[k]) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "verification: the radio holds 0x%02X at 0x%06X where the image has 0x%02X "
                          "(the first difference)",
                          radio, static_cast<unsigned>(address + k), image[k]);
            m_strVerified = "differs";
            SetDetail(text);
            return false;
        }
    }
    return true;
}

bool UpdaterDialog::VerifyFirmware()
{
    if (!m_options.verify)
        return true;
    AppendLog(TXT_FIRMWARE_VERIFY, true);
    StepStarted(TXT_FIRMWARE_VERIFY);
    m_view.SetProgressRange(0, static_cast<int>(kImageSize / 10));
    std::uint32_t done = 0;
    for (std::uint32_t address = kImageBase; address < 0xFFFFFF; address += kBlockSize) {
        bool answered = false;
        if (!CompareReadBack(address, answered)) {
            if (!answered && done == 0 && m_bRun && !m_pSerial->LineDown()) {
                // The boot program does not read the firmware area: the
                // update stands, unverified.
                m_strVerified = "not possible";
                Note("verification not possible: the radio does not answer reads of the firmware area; "
                     "the update itself is done");
                AppendLog(TXT_VERIFY_NOT_POSSIBLE, false);
                StepDone();
                m_view.SetProgressPos(0);
                return true;
            }
            return false;
        }
        done += kBlockSize;
        m_view.SetProgressPos(static_cast<int>(done / 10));
        Progress(done, kImageSize, "bytes");
    }
    m_strVerified = "yes";
    AppendLog(STR_OK_3TABS, false);
    StepDone();
    m_view.SetProgressPos(0);
    return true;
}
