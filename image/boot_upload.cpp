// Upload of the boot program to the radio's resident loader.
#include <fstream>

#include "app/dialog_view.h"
#include "app/updater_dialog.h"
#include "image/hex_field.h"
#include "res/resource.h"

bool UpdaterDialog::LoadBootImage(BootLoaderImage& image)
{
    std::string path = m_options.bootImageFile;
    if (path.empty()) {
        const std::string beside = GetModuleDirectory() + "boot.s19";
        if (std::ifstream(beside).good())
            path = beside;
    }
    if (path.empty()) {
        image = BootLoaderImage::BuiltIn();
        return true;
    }
    std::string error;
    if (!BootLoaderImage::LoadS19(path, image, error)) {
        SetDetail("boot program refused: " + error);
        return false;
    }
    return true;
}

bool UpdaterDialog::UploadBootProgram()
{
    BootLoaderImage image;
    if (!LoadBootImage(image))
        return false;
    const std::vector<std::string>& records = image.Records();
    const int total = static_cast<int>(records.size());

    m_view.SetProgressRange(0, total);
    for (int i = 0; i < total; ++i) {
        m_view.SetProgressPos(i);
        const std::string& r = records[static_cast<std::size_t>(i)];
        const int count = ParseHexField(r.substr(0, 2));
        const int n = count - 3;

        PrepareExchange(kModeBootRecord);
        m_txBuf[0] = static_cast<std::uint8_t>(ParseHexField("00"));
        m_txBuf[1] = static_cast<std::uint8_t>(ParseHexField(r.substr(2, 2)));
        m_txBuf[2] = static_cast<std::uint8_t>(ParseHexField(r.substr(4, 2)));
        m_txBuf[3] = 0x00;
        m_txBuf[4] = static_cast<std::uint8_t>(n);
        for (int k = 0; k < n; ++k)
            m_txBuf[5 + static_cast<std::size_t>(k)] =
                static_cast<std::uint8_t>(ParseHexField(r.substr(6 + 2 * static_cast<std::size_t>(k), 2)));
        std::uint8_t checksum = 0;
        for (int k = 0; k < 5 + n; ++k)
            checksum = static_cast<std::uint8_t>(checksum + m_txBuf[static_cast<std::size_t>(k)]);
        m_txBuf[5 + static_cast<std::size_t>(n)] = checksum;

        m_pSerial->Write(&m_txBuf[0], 3);
        m_pSerial->Write(&m_txBuf[3], 2);
        m_pSerial->Write(&m_txBuf[5], static_cast<std::uint32_t>(n));
        m_pSerial->Write(&m_txBuf[5 + static_cast<std::size_t>(n)], 1);
        m_view.SetTimer1(static_cast<unsigned>(m_timing.bootRecordTimeout.count()));
        ShowTransient(TXT_LINE_PREFIX + std::to_string(i));

        const WaitResult w = WaitReply();
        EndExchange();
        if (w == WaitResult::Aborted)
            return false;
        if (w == WaitResult::TimedOut) {
            SetDetail(m_pSerial->LineDown() ? "the serial line hung up (cable or USB adapter disconnected?)"
                                            : "no answer to boot record " + std::to_string(i));
            m_view.ShowMessage(TXT_TIME_OUT, false);
            return false;
        }
        m_view.KillTimer1();
        if (m_bReplyError.load(std::memory_order_relaxed)) {
            SetDetail("the loader refused boot record " + std::to_string(i));
            return false;
        }
    }
    m_view.SetProgressPos(0);
    return true;
}
