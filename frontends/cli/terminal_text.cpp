#include "frontends/cli/terminal_text.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kBarCells = 20;

}  // namespace

int VisibleColumns(const std::string& text)
{
    int columns = 0;
    for (unsigned char c : text) {
        if (c == '\t')
            columns = (columns / 8 + 1) * 8;
        else if ((c & 0xC0) != 0x80)
            ++columns;
    }
    return columns;
}

std::string ProgressText(int percent, int secondsLeft, int shownColumns, int columns)
{
    char number[16];
    std::snprintf(number, sizeof number, "%3d%%", percent);
    std::string left;
    if (secondsLeft >= 0) {
        char text[32];
        std::snprintf(text, sizeof text, "  %d:%02d left", secondsLeft / 60, secondsLeft % 60);
        left = text;
    }
    const int filled = percent * kBarCells / 100;
    const std::string bar = "  [" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarCells - filled), '-') + "]";
    // The widest form that fits: a line that fills the last column makes
    // some terminals wrap.
    for (const std::string& text : {bar + "  " + number + left, "  " + std::string(number) + left,
                                    "  " + std::string(number)}) {
        if (columns <= 0 || shownColumns + VisibleColumns(text) < columns)
            return text;
    }
    return std::string();
}

std::string ClippedLine(const std::string& line, int columns)
{
    if (columns <= 1)
        return line;
    int shown = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80 && shown++ == columns - 1)
            return line.substr(0, i);
    }
    return line;
}

std::string PrintableText(const std::string& text, bool keepBreaks)
{
    std::string shown;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            shown += (c < 0x20 && !(keepBreaks && c == '\n')) || c == 0x7F ? '?' : static_cast<char>(c);
            ++i;
            continue;
        }
        // A character of UTF-8 whole; a stray byte (which a terminal in an
        // 8-bit mode takes for a control) or a C1 control becomes '?'.
        const std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        bool whole = length > 0 && i + length <= text.size() && c < 0xF5;
        for (std::size_t k = 1; whole && k < length; ++k)
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        const bool c1 = whole && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (whole && !c1)
            shown.append(text, i, length);
        else
            shown += '?';
        i += whole ? length : 1;
    }
    return shown;
}

std::string FittedText(const std::string& text, int columns)
{
    // A line cut to `columns` + 1 keeps `columns` characters.
    const std::string cut = ClippedLine(text, columns + 1);
    return cut + std::string(static_cast<std::size_t>(std::max(0, columns - VisibleColumns(cut))), ' ');
}
