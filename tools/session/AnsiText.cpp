#include "AnsiText.h"

namespace vantrel::session {
namespace {

bool IsBlack(const TextColour& c) { return c.red == 0 && c.green == 0 && c.blue == 0; }

bool IsDefault(const TextColour& c) { return c.automatic || IsBlack(c); }

bool SameColour(const TextColour& a, const TextColour& b) {
    if (IsDefault(a) || IsDefault(b)) return IsDefault(a) && IsDefault(b);
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

}  // namespace

std::string AnsiStart(const TextColour& colour) {
    if (IsDefault(colour)) return kAnsiReset;
    if (colour.red == 255 && colour.green == 0 && colour.blue == 0) return "\033[31m";
    if (colour.red == 0 && colour.green == 164 && colour.blue == 0) return "\033[32m";
    return "\033[38;2;" + std::to_string(colour.red) + ";" + std::to_string(colour.green) + ";" +
           std::to_string(colour.blue) + "m";
}

std::string RenderRuns(const std::vector<ColourRun>& runs, bool colour) {
    std::string out;
    TextColour current;  // the terminal's own colour
    for (const ColourRun& run : runs) {
        if (run.text.empty()) continue;
        if (colour && !SameColour(run.colour, current)) {
            out += AnsiStart(run.colour);
            current = run.colour;
        }
        out += run.text;
    }
    if (colour && !IsDefault(current)) out += kAnsiReset;
    return out;
}

std::string SessionLine(const std::string& text, bool colour) {
    if (!colour) return text + "\n";
    return std::string("\033[36m") + text + kAnsiReset + "\n";
}

}  // namespace vantrel::session
