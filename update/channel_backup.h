#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Channel-data backups: "vokt-TAG-YYYYMMDD-HHMMSS[-N].chd" beside the data
// file, 16384 bytes as the update wrote them into the image.

// The TAG of a port: "/dev/ttyUSB0" gives "ttyUSB0", "COM3" gives "COM3".
std::string ChannelBackupTag(const std::string& port);
// Whether two tags name one file: on Windows "COM3" and "com3" do.
bool SameFileTag(const std::string& a, const std::string& b);

