// Conversion of the firmware file into the image in the data file.
#include <fstream>

#include "dialog/updater_dialog.h"
#include "image/firmware_image.h"
#include "res/resource.h"

bool UpdaterDialog::ConvertFirmware()
{
    UpdateData(true);
    std::ifstream in(m_strFirmwarePath, std::ios::binary);
    if (m_strFirmwarePath.empty() || !in) {
        SetDetail(m_strFirmwarePath.empty() ? "no firmware file (*.002) found beside the program"
                                            : "firmware file cannot be opened: " + m_strFirmwarePath);
        return false;
    }
    UpdateData(false);

    FirmwareImage image;
    ConversionCallbacks callbacks;
    callbacks.onLine = [this](long) {
        while (m_pump.DispatchPendingMessage()) {
        }
    };
    callbacks.onHundredth = [this](long line) { ShowTransient(TXT_LINE_PREFIX + std::to_string(line)); };
    ConvertSRecords(in, image, callbacks);

    // A damaged file must never reach the flash, and neither must an empty
    // image: both are refused here, while the radio is still intact.
    if (!image.errors.empty()) {
        const ConversionError& e = image.errors.front();
        SetDetail(m_strFirmwarePath + " line " + std::to_string(e.line) + ": " + e.what);
        return false;
    }
    if (image.bytesSet == 0) {
        SetDetail(m_strFirmwarePath + ": no data record sets any byte of the image (0xFE0000-0xFFFFFF)");
        return false;
    }
    if (!m_hDataFile.WriteAt(0, image.bytes.data(), image.bytes.size())) {
        SetDetail("cannot write the data file " + m_strDataFilePath);
        return false;
    }
    return true;
}
