// What a Fluke 45 or an HP 34401A says on its serial line: command parsing, replies, number
// formats and the faults the emulator can be asked to show. No I/O here.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace metersim {

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

// Bytes to send, after delayMs; when hangUpAfter is set, the line drops once that many of
// them have gone out.
struct Output {
    std::string bytes;
    int delayMs = 0;
    std::optional<std::size_t> hangUpAfter;
};

inline constexpr std::size_t kLongLineLength = 1000;

// Fluke 45 value line in NR3 form at its slow-rate resolution, e.g. "+4.9876E+0".
std::string FormatFluke45Value(double volts);
// HP 34401A reading, e.g. "-1.23456789E-01".
std::string FormatHp34401AValue(double volts);
// The same number of bytes, none of them a line feed, a digit or plain text: what a
// receiver on a mis-set line makes of a reply.
std::string Garble(std::string_view bytes);
// The line settings each meter runs at: 9600 baud, one stop bit (Fluke 45) or two (HP).
bool LineSettingsMatch(MeterModel model, unsigned baudRate, bool twoStopBits);

class MeterProtocol {
public:
    using ReadingSource = std::function<double()>;

    MeterProtocol(MeterModel model, Fault fault, ReadingSource takeReading);

    // Takes bytes from the line; returns what the meter sends back for every command line
    // they complete. lineMatches tells whether the line is set as the meter expects; when
    // it is not, every reply is garbled.
    std::vector<Output> Receive(std::string_view bytes, bool lineMatches = true);

private:
    struct LineReply {
        std::string text;      // everything the meter answers to the line
        bool carriesValue = false;
    };

    LineReply HandleLine(std::string_view line);
    LineReply HandleFlukeLine(std::string_view line);
    LineReply HandleHpLine(std::string_view line);
    std::string ValueLine(double volts) const;
    Output ApplyFault(LineReply reply) const;

    MeterModel m_model;
    Fault m_fault;
    ReadingSource m_takeReading;
    std::string m_pending;            // bytes of a command line not yet terminated
    std::optional<double> m_armed;    // HP: the reading taken by INIT, until *RST
    std::deque<std::string> m_errors; // HP: error queue read by SYST:ERR?
};

}  // namespace metersim
