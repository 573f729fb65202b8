#pragma once
#include <string>
#include <vector>

// What the station's table shows of one position.
struct StationRow {
    int number = 0;
    std::string label;
    std::string adapter;
    std::string state;   // "waiting", "unplugged", "updating"
    std::string step;    // the step in progress
    int percent = -1;    // of that step; -1: none
    int secondsLeft = -1;
    int retries = 0;
    std::string last;    // the last radio's result
};

// The shift so far.
struct StationTally {
    int done = 0;
    int failed = 0;         // left unchanged
    int anotherUpdate = 0;  // failed after the erase began, or refused with their channel data lost
    double medianMinutes = 0;  // of the radios done; 0 before the first
};

// The table's lines for a terminal `columns` wide (0: no limit): one line a
// position where the columns fit, two in a narrow terminal, each line cut
// to the width; the tally and the keys under it, with what the technician
// has typed so far (`typed`, not yet ended by Enter).
std::vector<std::string> StationTableLines(const std::vector<StationRow>& rows, const StationTally& tally,
                                           int columns, const std::string& typed = std::string());
// "3 done, 1 failed, 0 need another update; 1.5 min a radio"
std::string TallyText(const StationTally& tally);
