#pragma once
#include <string>
#include <vector>

#include "platform/host.h"

// The host of this platform: ports from the system (or VOKTA4_PORTS when
// set), the profile in the user's configuration folder.
class NativeHost : public Host {
public:
    bool EnumeratePorts(std::vector<std::string>& names) override;
    std::unique_ptr<PortBackend> MakePortBackend() override;
    std::string ModuleFileName() override;
    std::string FirstFileWithExtension(const std::string& directory, const std::string& extension) override;
    std::string ReadProfileValue(const std::string& section, const std::string& key,
                                 const std::string& fallback) override;
    bool WriteProfileValue(const std::string& section, const std::string& key, const std::string& value) override;
    PortDetails DescribePort(const std::string& name) override;

    static std::string ProfilePath();
};

// The ports of VOKTA4_PORTS: SplitPortList("a:b::c", ':') gives {"a", "b", "c"}.
std::vector<std::string> SplitPortList(const std::string& text, char separator);
