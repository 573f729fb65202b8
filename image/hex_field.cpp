#include "image/hex_field.h"

#include <sstream>

int ParseHexField(std::string text)
{
    int value = 0;
    TryParseHexField(text, value);
    return value;
}

bool TryParseHexField(const std::string& text, int& value)
{
    std::istringstream in(text);
    in >> std::hex >> value;
    return !in.fail();
}

bool IsHexDigits(const std::string& text, std::size_t pos, std::size_t count)
{
    if (count == 0 || pos + count > text.size())
        return false;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (HexDigitValue(text[i]) < 0)
            return false;
    }
    return true;
}
