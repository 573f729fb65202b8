#pragma once
#include <nlohmann/json.hpp>

#include "platform/host.h"

// An adapter as the journals and the service record keep it.
inline nlohmann::json AdapterJson(const PortDetails& adapter)
{
    nlohmann::json j = {{"description", adapter.description}, {"vid_pid", adapter.vidPid}, {"serial", adapter.serial}};
    if (!adapter.location.empty())
        j["location"] = adapter.location;
    return j;
}
