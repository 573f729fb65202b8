// Writing the image back to the radio, block by block.
#include "app/dialog_view.h"
#include "app/updater_dialog.h"
#include "memory/radio_memory.h"

bool UpdaterDialog::WriteBlock(std::uint32_t address)
{
    BuildBlockCommand(m_txBuf.data(), 0x08, address, AreaByte(address));
    if (!BlockStage(kModeStatus, 0, m_txBuf.data(), 8, address, m_nAttempt, "write command"))
        return false;
    std::uint8_t block[kBlockSize];
    if (!m_hDataFile.ReadAt(address - kImageBase, block, kBlockSize)) {
        SetDetail("cannot read the data file " + m_strDataFilePath);
        return false;
    }
    return BlockStage(kModeStatus, 0, block, kBlockSize, address, m_nAttempt, "block data");
}

bool UpdaterDialog::WriteFirmware()
{
    m_view.SetProgressRange(0, 0x3333);
    std::uint32_t address = kImageBase;
    int failures = 0;
    while (address < 0xFFFFFF) {
        if (!m_bRun)
            return false;  // aborted: nothing more goes to the port
        m_nAttempt = failures + 1;
        if (WriteBlock(address)) {
            address += kBlockSize;
            failures = 0;
            m_view.SetProgressPos(static_cast<int>((address - kImageBase) / 10));
            Pause();
        } else if (!RetryAllowed(failures)) {
            return false;
        }
    }
    m_view.SetProgressPos(0);
    return true;
}
