#pragma once
#include <string>

// `vokta4-cli check FILE`: reads a firmware file as the update would and
// reports what it holds. 0 when the update would accept it, 1 otherwise.
int RunCheck(const std::string& path);
// `vokta4-cli convert FILE -o IMAGE`: writes the 131072-byte image the
// update would write. 1 (and nothing written) when the update would refuse.
int RunConvert(const std::string& path, const std::string& output);
