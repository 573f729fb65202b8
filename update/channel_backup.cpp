// The channel-data backup: the radio's 16 KiB, as the update writes them
// back, kept in a file of their own before anything is erased.
#include <cctype>
#include <ctime>

#include "dialog/updater_dialog.h"
#include "platform/paths.h"

namespace {

// A file-name-safe form of a port name: "/dev/ttyUSB0" gives "ttyUSB0".
std::string PortTag(const std::string& port)
{
    const std::string base = port.substr(DirectoryOf(port).size());
    std::string tag;
    for (char c : base)
        tag += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    return tag.empty() ? "port" : tag;
}

}  // namespace

bool UpdaterDialog::SaveChannelBackup()
{
    const std::string dir = DirectoryOf(m_strDataFilePath);
    const std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));  // UI thread only
    const std::string stem = dir + "vokt-" + PortTag(m_strPort) + "-" + stamp;
    std::string error;
    for (int n = 1; n < 100; ++n) {
        const std::string path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".chd";
        if (WriteNewFile(path, m_channelData.data(), m_channelData.size(), error)) {
            m_strBackupPath = path;
            return true;
        }
    }
    SetDetail("cannot save the channel-data backup: " + error);
    return false;
}
