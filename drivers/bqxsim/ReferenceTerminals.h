#pragma once
// Publishes what the board's precision-reference terminals carry, for a meter emulator in
// another process: the file "reference-terminals" in the current folder holds one line,
// the volts printed with %.9f, or "open". It is replaced atomically on every change.

#include <optional>
#include <string>

namespace vantrel::bqxsim {

inline constexpr const char* kReferenceTerminalsFile = "reference-terminals";

std::string FormatTerminals(std::optional<double> volts);

class ReferenceTerminals {
public:
    // Writes the file when the text differs from what was last written.
    void Publish(std::optional<double> volts);
    // Forgets what was written, so that the next Publish writes again.
    void Reset() { m_last.clear(); }

private:
    std::string m_last;
};

}  // namespace vantrel::bqxsim
