#include "frontends/cli/station_table.h"

#include "frontends/cli/terminal_text.h"

#include <cstdio>

namespace {

constexpr int kStationWideColumns = 100;

std::string Percent(const StationRow& r)
{
    return r.percent < 0 ? std::string() : std::to_string(r.percent) + "%";
}

std::string Left(const StationRow& r)
{
    if (r.secondsLeft < 0)
        return std::string();
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d", r.secondsLeft / 60, r.secondsLeft % 60);
    return text;
}

// What the position is doing, in one word or its step.
std::string Doing(const StationRow& r)
{
    return r.state == "updating" ? r.step : r.state;
}

std::string WideLine(const StationRow& r)
{
    // Cut by characters, not bytes: a label in UTF-8 is never split.
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " %4s %5s %3d  ", Percent(r).c_str(), Left(r).c_str(), r.retries);
    char number[16];
    std::snprintf(number, sizeof number, "%-2d", r.number);
    return std::string(number) + " " + FittedText(r.label, 12) + " " + FittedText(r.adapter, 18) +
           " " + FittedText(Doing(r), 22) + numbers + r.last;
}

}  // namespace

std::string TallyText(const StationTally& t)
{
    char text[160];
    std::snprintf(text, sizeof text, "%d done, %d failed, %d need another update", t.done, t.failed,
                  t.anotherUpdate);
    std::string s = text;
    if (t.medianMinutes > 0) {
        std::snprintf(text, sizeof text, "; %.1f min a radio", t.medianMinutes);
        s += text;
    }
    return s;
}

std::vector<std::string> StationTableLines(const std::vector<StationRow>& rows, const StationTally& tally,
                                           int columns, const std::string& typed)
{
    std::vector<std::string> lines;
    const bool wide = columns == 0 || columns >= kStationWideColumns;
    if (wide) {
        char head[256];
        std::snprintf(head, sizeof head, "%-2s %-12s %-18s %-22s %4s %5s %3s  %s", "#", "POSITION", "ADAPTER",
                      "STATE", "%", "LEFT", "RTY", "LAST RADIO");
        lines.push_back(head);
    }
    for (const StationRow& r : rows) {
        if (wide) {
            lines.push_back(WideLine(r));
            continue;
        }
        // Narrow: who on one line, what on the next.
        lines.push_back(std::to_string(r.number) + " " + r.label + "  " + r.adapter);
        std::string what = "  " + Doing(r);
        for (const std::string& part : {Percent(r), Left(r)})
            what += part.empty() ? "" : " " + part;
        if (r.retries > 0)
            what += " r" + std::to_string(r.retries);
        if (!r.last.empty())
            what += " | " + r.last;
        lines.push_back(what);
    }
    lines.push_back(TallyText(tally));
    lines.push_back("keys: number, Enter = all, q = end > " + typed);
    // Labels, identities and results may hold what a device or a file
    // said: never a control character on the screen.
    for (std::string& line : lines)
        line = ClippedLine(PrintableText(line), columns);
    return lines;
}
