#include "platform/native_host.h"

std::vector<std::string> SplitPortList(const std::string& text, char separator)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t sep = text.find(separator, start);
        const std::string part = text.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
        if (!part.empty())
            names.push_back(part);
        if (sep == std::string::npos)
            break;
        start = sep + 1;
    }
    return names;
}
