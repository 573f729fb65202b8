#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Channel-data backups: "vokt-TAG-YYYYMMDD-HHMMSS[-N].chd" beside the data
// file, 16384 bytes as the update wrote them into the image.

// The TAG of a port: "/dev/ttyUSB0" gives "ttyUSB0", "COM3" gives "COM3".
std::string ChannelBackupTag(const std::string& port);

struct ChannelBackup {
    std::string path;
    std::string savedAt;  // "2026-12-08 10:15:00", from the file's name
    std::vector<std::uint8_t> data;
};

// The newest backup of `port` in `folder` whose channel data are not
// erased; false when there is none.
bool FindChannelBackup(const std::string& folder, const std::string& port, ChannelBackup& backup);

// True when the channel data hold nothing but 0xFF (the mode marker aside).
bool ChannelDataErased(const std::vector<std::uint8_t>& data);
