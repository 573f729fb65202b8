// Conversion of the firmware file into the image in the data file.
#include "dialog/updater_dialog.h"
#include "image/firmware_image.h"
#include "res/resource.h"

bool UpdaterDialog::ConvertFirmware()
{
    UpdateData(true);
    FirmwareImage image;
    ConversionCallbacks callbacks;
    callbacks.onLine = [this](long) {
        while (m_pump.DispatchPendingMessage()) {
        }
    };
    callbacks.onHundredth = [this](long line) { ShowTransient(TXT_LINE_PREFIX + std::to_string(line)); };
    if (!ReadFirmwareFile(image, callbacks, false))
        return false;
    UpdateData(false);
    if (!m_hDataFile.WriteAt(0, image.bytes.data(), image.bytes.size())) {
        SetDetail("cannot write the data file " + m_strDataFilePath + ": " + m_hDataFile.LastError());
        return false;
    }
    return true;
}
