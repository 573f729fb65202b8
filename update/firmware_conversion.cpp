// Conversion of the firmware file into the image in the data file.
#include "image/firmware_image.h"
#include "res/resource.h"
#include "update/update_steps.h"

bool ConvertFirmware(UpdateContext& u)
{
    FirmwareImage image;
    ConversionCallbacks callbacks;
    callbacks.onLine = [&u](long) {
        while (u.m_link.Pump().DispatchPendingMessage()) {
        }
    };
    callbacks.onHundredth = [&u](long line) { u.Transient(TXT_LINE_PREFIX + std::to_string(line)); };
    if (!ReadFirmwareFile(u, image, callbacks, false))
        return false;
    if (!u.m_hDataFile.WriteAt(0, image.bytes.data(), image.bytes.size())) {
        u.SetDetail("cannot write the data file " + u.m_dataFilePath + ": " + u.m_hDataFile.LastError());
        return false;
    }
    return true;
}
