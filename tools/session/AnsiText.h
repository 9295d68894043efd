#pragma once
// Console text as a terminal shows it: runs of text in the console's colours turned into
// ANSI escape sequences.

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::session {

struct TextColour {
    bool automatic = true;  // the control's own colour, no explicit one
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

struct ColourRun {
    std::string text;
    TextColour colour;
};

// The escape sequence that starts text of this colour. Black and the automatic colour are
// the terminal's own foreground (black would vanish on a dark terminal); the console's red
// and dark green are the terminal's red and green; anything else is given as 24-bit.
std::string AnsiStart(const TextColour& colour);

inline constexpr const char* kAnsiReset = "\033[0m";

// The runs as terminal text. With colour off the escapes are left out. A coloured passage
// always ends in a reset, so the terminal is never left coloured.
std::string RenderRuns(const std::vector<ColourRun>& runs, bool colour);

// A line of the session's own (what it pressed, how it answered a box), set apart from the
// console's text in cyan.
std::string SessionLine(const std::string& text, bool colour);

}  // namespace vantrel::session
