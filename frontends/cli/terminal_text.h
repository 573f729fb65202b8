#pragma once
#include <string>

// Text for terminal lines that are redrawn in place.

// What a terminal shows of a step's progress after its log line: a bar,
// the percent and, once it can be told, the time left; shorter where the
// terminal is narrow, so that the line never wraps (a wrapped line could
// not be redrawn in place).
//   "  [########------------]  41%  0:48 left"
// `shownColumns`: what the line already fills; `columns`: the terminal's
// width (0: unknown); `secondsLeft` < 0: not known yet.
std::string ProgressText(int percent, int secondsLeft, int shownColumns, int columns);

// The columns `text` fills on a terminal: tabs to the next multiple of 8,
// one column for each UTF-8 character.
int VisibleColumns(const std::string& text);

// A line cut to `columns` less one (a row that fills the last column makes
// some terminals wrap), counted in UTF-8 characters. 0: not cut.
std::string ClippedLine(const std::string& line, int columns);

// `text` safe to print: control characters (C0, DEL, C1), which could move
// the cursor or recolour the screen, become '?'; a line break is kept when
// `keepBreaks`.
std::string PrintableText(const std::string& text, bool keepBreaks = false);

// `text` in exactly `columns` UTF-8 characters: cut at a character's
// boundary, or padded with spaces.
std::string FittedText(const std::string& text, int columns);
