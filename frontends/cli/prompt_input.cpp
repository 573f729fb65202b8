// What reading answers means on every platform; the platform reads the bytes.
#include "frontends/cli/console_platform.h"

bool PromptInput::ReadLine(std::string& line)
{
    line.clear();
    for (char c; ReadChar(c);) {
        if (c == '\n')
            return true;
        line += c;
    }
    return false;
}
