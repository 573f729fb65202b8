#pragma once
#include <string>

// The value of a hexadecimal text field, read as formatted extraction of an
// int with the base set to hexadecimal: leading blanks skipped, optional
// sign and 0x prefix, digits up to the first non-digit. A field with no
// digit gives 0; a value beyond the int range gives INT_MAX or INT_MIN.
int ParseHexField(std::string text);

// As ParseHexField, but false when the field holds no valid number where
// parsing starts (empty, or a first character that is not a digit) or the
// value does not fit an int.
bool TryParseHexField(const std::string& text, int& value);

// True when every character of `text` is a hexadecimal digit (and there is
// at least one).
bool IsHexDigits(const std::string& text, std::size_t pos, std::size_t count);

// The value of a hexadecimal digit, or -1.
inline int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
