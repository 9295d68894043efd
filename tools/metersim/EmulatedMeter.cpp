#include "EmulatedMeter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vantrel::metersim {

namespace {

constexpr unsigned kMeterBaudRate = 9600;
constexpr std::size_t kMaxCommandLine = 4096;

double SteadyMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::vector<std::string> SplitCommands(std::string_view line) {
    std::vector<std::string> commands;
    std::size_t start = 0;
    while (start <= line.size()) {
        const auto end = std::min(line.find(';', start), line.size());
        commands.push_back(Upper(Trimmed(line.substr(start, end - start))));
        start = end + 1;
    }
    return commands;
}

std::optional<MeterModel> ParseMeterModel(std::string_view text) {
    if (text == "fluke45") return MeterModel::Fluke45;
    if (text == "hp34401a") return MeterModel::Hp34401A;
    return std::nullopt;
}

std::optional<Fault> ParseFault(std::string_view text) {
    static constexpr struct {
        std::string_view name;
        FaultKind kind;
    } kNames[] = {
        {"none", FaultKind::None},
        {"silent", FaultKind::Silent},
        {"error-prompt", FaultKind::ErrorPrompt},
        {"exec-error-prompt", FaultKind::ExecErrorPrompt},
        {"no-linefeed", FaultKind::NoLineFeed},
        {"long-line", FaultKind::LongLine},
        {"garbage", FaultKind::Garbage},
        {"hangup", FaultKind::HangUp},
    };
    for (const auto& entry : kNames)
        if (text == entry.name) return Fault{entry.kind, 0};
    constexpr std::string_view kDelay = "delay:";
    if (text.substr(0, kDelay.size()) == kDelay) {
        const std::string digits(text.substr(kDelay.size()));
        if (digits.empty() || digits.size() > 7 ||
            !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
            return std::nullopt;
        return Fault{FaultKind::Delay, std::atoi(digits.c_str())};
    }
    return std::nullopt;
}

std::string FormatFluke45Value(double volts) { return FlukeDcValue(volts, 'S'); }

std::string Garble(std::string_view bytes) {
    std::string garbled;
    garbled.reserve(bytes.size());
    for (unsigned char byte : bytes) garbled.push_back(static_cast<char>(0x80 | ((byte * 37u + 11u) & 0x7F)));
    return garbled;
}

bool LineSettingsMatch(MeterModel model, unsigned baudRate, bool twoStopBits) {
    const bool wantsTwoStopBits = model == MeterModel::Hp34401A;
    return baudRate == kMeterBaudRate && twoStopBits == wantsTwoStopBits;
}

bool NewCommandClearsOutput(MeterModel model) { return model == MeterModel::Fluke45; }

double CharacterMs(MeterModel model) {
    const double bits = model == MeterModel::Fluke45 ? 10.0 : 11.0;
    return bits * 1000.0 / kMeterBaudRate;
}

EmulatedMeter::EmulatedMeter(MeterModel model, Fault fault, ReadingSource takeReading, Clock clock)
    : m_model(model), m_fault(fault) {
    if (!clock) clock = SteadyMs;
    if (model == MeterModel::Fluke45)
        m_fluke = std::make_unique<Fluke45>(std::move(takeReading), std::move(clock));
    else
        m_hp = std::make_unique<Hp34401A>(std::move(takeReading), std::move(clock));
}

EmulatedMeter::~EmulatedMeter() = default;

// The Fluke 45 ends a command at CR, LF or CR LF; the HP 34401A at LF alone, a CR being
// white space to it.
std::vector<Output> EmulatedMeter::Receive(std::string_view bytes, bool lineMatches) {
    std::vector<Output> outputs;
    const bool crEnds = m_model == MeterModel::Fluke45;
    for (char byte : bytes) {
        if (byte != '\n' && !(crEnds && byte == '\r')) {
            if (m_pending.size() < kMaxCommandLine) m_pending.push_back(byte);
            continue;
        }
        const std::string line = Trimmed(m_pending);
        m_pending.clear();
        if (line.empty()) continue;  // the second half of CR LF, or LF CR
        MeterReply reply = HandleLine(line);
        if (reply.text.empty() || m_fault.kind == FaultKind::Silent) continue;
        if (!lineMatches) {
            outputs.push_back(Output{Garble(reply.text), 0, std::nullopt, reply.measureMs});
            continue;
        }
        outputs.push_back(ApplyFault(std::move(reply)));
    }
    outputs.erase(
        std::remove_if(outputs.begin(), outputs.end(), [](const Output& o) { return o.bytes.empty(); }),
        outputs.end());
    return outputs;
}

MeterReply EmulatedMeter::HandleLine(std::string_view line) {
    return m_fluke ? m_fluke->HandleLine(line) : m_hp->HandleLine(line);
}

Output EmulatedMeter::ApplyFault(MeterReply reply) const {
    Output output{std::move(reply.text), 0, std::nullopt, reply.measureMs};
    if (!reply.carriesValue) return output;
    const std::size_t valueEnd = output.bytes.find(kLineEnd);
    const std::string valueLine = output.bytes.substr(0, valueEnd);
    const std::string rest = output.bytes.substr(valueEnd + 2);
    const bool fluke = m_model == MeterModel::Fluke45;
    switch (m_fault.kind) {
    case FaultKind::None:
    case FaultKind::Silent: break;
    case FaultKind::ErrorPrompt:
        output.bytes = fluke ? std::string(kFlukePromptUnknown) + kLineEnd : std::string();
        break;
    case FaultKind::ExecErrorPrompt:
        output.bytes = fluke ? std::string(kFlukePromptCannotExecute) + kLineEnd : std::string();
        break;
    case FaultKind::NoLineFeed: output.bytes = valueLine + "\r"; break;
    case FaultKind::LongLine: {
        std::string longLine = valueLine;
        longLine.resize(kLongLineLength - 2, ' ');
        output.bytes = longLine + kLineEnd + rest;
        break;
    }
    case FaultKind::Garbage: output.bytes = Garble(valueLine) + kLineEnd + rest; break;
    case FaultKind::Delay: output.delayMs = m_fault.delayMs; break;
    case FaultKind::HangUp: output.hangUpAfter = valueLine.size() / 2; break;
    }
    return output;
}

}  // namespace vantrel::metersim
