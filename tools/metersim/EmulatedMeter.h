#pragma once
// The emulated meter as its serial line sees it: bytes in, split into command lines for the
// Fluke 45 or HP 34401A model, replies out, shaped by the faults the emulator can be asked to
// show and garbled on a mis-set line. Number formats and line timings. No I/O here.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Fluke45.h"
#include "Hp34401A.h"
#include "MeterText.h"

namespace vantrel::metersim {

enum class MeterModel { Fluke45, Hp34401A };

enum class FaultKind {
    None,
    Silent,           // no reply at all
    ErrorPrompt,      // "?>" in place of a value line
    ExecErrorPrompt,  // "!>" in place of a value line
    NoLineFeed,       // a value line ending in CR only, and nothing after it
    LongLine,         // a value line of 1,000 characters
    Garbage,          // a value line of garbled bytes, still ending in CR LF
    Delay,            // a value reply sent after delayMs
    HangUp,           // half a value line, then the line drops
};

struct Fault {
    FaultKind kind = FaultKind::None;
    int delayMs = 0;
};

std::optional<MeterModel> ParseMeterModel(std::string_view text);
// "silent", "error-prompt", "exec-error-prompt", "no-linefeed", "long-line", "garbage",
// "delay:<ms>", "hangup".
std::optional<Fault> ParseFault(std::string_view text);

// Bytes to send, after measureMs (the meter's own work, in the meter's time) and delayMs
// (a fault); when hangUpAfter is set, the line drops once that many of them have gone out.
struct Output {
    std::string bytes;
    int delayMs = 0;
    std::optional<std::size_t> hangUpAfter;
    double measureMs = 0.0;
};

inline constexpr std::size_t kLongLineLength = 1000;

// Fluke 45 value line in NR3 form at its slow-rate resolution, e.g. "+4.9876E+0".
std::string FormatFluke45Value(double volts);
// The same number of bytes, none of them a line feed, a digit or plain text: what a
// receiver on a mis-set line makes of a reply.
std::string Garble(std::string_view bytes);
// The line settings each meter runs at: 9600 baud, one stop bit (Fluke 45) or two (HP).
bool LineSettingsMatch(MeterModel model, unsigned baudRate, bool twoStopBits);
// Whether a command line that arrives while the meter still has reply bytes to send clears
// them: the Fluke 45 keeps its output only until the host reads it or sends the next
// command string; the HP 34401A keeps every reply.
bool NewCommandClearsOutput(MeterModel model);
// How long one character takes on the meter's line: start bit, data bits, parity and stop
// bits at 9600 baud (Fluke 45 8N1: 10 bits; HP 34401A 7E2: 11 bits).
double CharacterMs(MeterModel model);

class EmulatedMeter {
public:
    using ReadingSource = std::function<double()>;
    using Clock = std::function<double()>;

    // clock: the meter's time in milliseconds; by default the steady clock.
    EmulatedMeter(MeterModel model, Fault fault, ReadingSource takeReading, Clock clock = {});
    ~EmulatedMeter();

    // Takes bytes from the line; returns what the meter sends back for every command line
    // they complete. lineMatches tells whether the line is set as the meter expects; when
    // it is not, every reply is garbled.
    std::vector<Output> Receive(std::string_view bytes, bool lineMatches = true);

private:
    MeterReply HandleLine(std::string_view line);
    Output ApplyFault(MeterReply reply) const;

    MeterModel m_model;
    Fault m_fault;
    std::string m_pending;  // bytes of a command line not yet terminated
    std::unique_ptr<Fluke45> m_fluke;
    std::unique_ptr<Hp34401A> m_hp;
};

}  // namespace vantrel::metersim
