// The shop's catalogue of approved firmware as the update uses it: checked
// before the port opens, and again on the bytes converted, so that a file
// changed in between is never written as approved.
#include "update/approved_firmware.h"
#include "update/sha256.h"
#include "update/update_steps.h"

bool CheckApprovedFirmware(UpdateContext& u)
{
    FirmwareCatalogue catalogue;
    std::string error;
    if (!LoadFirmwareCatalogue(u.m_host.CataloguePlaces(), catalogue, error)) {
        u.SetDetail("the catalogue of approved firmware is damaged: " + error +
                    ". Nothing is written while it is; ask whoever keeps it to mend it");
        u.Message("The shop's catalogue of approved firmware is damaged, so no radio is written:\n\n" + error);
        return false;
    }
    if (catalogue.path.empty())
        return true;  // no catalogue in force
    const std::string sha256 = Sha256OfFile(u.m_request.firmwarePath);
    if (const ApprovedFirmware* entry = catalogue.Find(sha256)) {
        u.m_approved = DescribeApproved(*entry);
        u.m_approvedSha256 = sha256;
        u.Note("approved: " + u.m_approved);
        return true;
    }
    const std::string unlisted = "the firmware file " + u.m_request.firmwarePath + " (SHA-256 " + sha256 +
                                 ") is not in the catalogue of approved firmware " + catalogue.path;
    // The windows ask for the reason; the command line takes it as an option.
    std::string reason = u.m_request.unapprovedReason;
    if (reason.empty() &&
        u.m_events.AskReason("This firmware file is not in the shop's catalogue of approved firmware:\n" +
                                 u.m_request.firmwarePath + "\nSHA-256 " + sha256 + "\nCatalogue: " + catalogue.path +
                                 "\n\nTo write it anyway, type the reason (it goes into the service record) and "
                                 "press OK. Cancel writes nothing.",
                             reason) &&
        !reason.empty())
        u.m_request.unapprovedReason = reason;
    if (!u.m_request.unapprovedReason.empty()) {
        u.Note(unlisted + "; it is written as the technician insists: " + u.m_request.unapprovedReason);
        return true;
    }
    u.SetDetail(unlisted + ". Nothing was written. Use a file the catalogue lists, or give the reason to write "
                           "this one anyway (--unapproved \"REASON\")");
    u.Message("This firmware file is not in the shop's catalogue of approved firmware, so it is not written.\n\n" +
              u.m_request.firmwarePath + "\nSHA-256 " + sha256 + "\n\nCatalogue: " + catalogue.path);
    return false;
}

bool FirmwareStillApproved(UpdateContext& u)
{
    if (u.m_approvedSha256.empty() || u.m_approvedSha256 == u.m_firmwareSha256)
        return true;
    u.SetDetail("the firmware file " + u.m_request.firmwarePath +
                " changed after it was checked against the catalogue of approved firmware; nothing was erased");
    return false;
}
