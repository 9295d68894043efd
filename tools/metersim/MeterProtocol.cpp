#include "MeterProtocol.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace metersim {

namespace {

constexpr unsigned kMeterBaudRate = 9600;
constexpr std::size_t kMaxCommandLine = 4096;

constexpr char kFlukeIdentity[] = "FLUKE, 45, 1234567, 1.6 D1.6";
constexpr char kHpIdentity[] = "HEWLETT-PACKARD,34401A,0,11-5-2";
constexpr char kFlukeOverload[] = "+1E+9";
constexpr char kHpOverload[] = "+9.90000000E+37";
constexpr double kHpOverloadVolts = 1200.0;

constexpr char kPromptOk[] = "=>";
constexpr char kPromptUnknown[] = "?>";
constexpr char kPromptCannotExecute[] = "!>";
constexpr char kLineEnd[] = "\r\n";

// Fluke 45 slow-rate DC ranges: 100,000 counts, shown in millivolts up to 1000 mV.
struct FlukeRange {
    double scale;     // volts to displayed unit
    int decimals;
    double limit;     // first displayed magnitude that no longer fits
    const char* exponent;
};
constexpr FlukeRange kFlukeRanges[] = {
    {1e3, 3, 100.0, "E-3"},  {1e3, 2, 1000.0, "E-3"}, {1.0, 4, 10.0, "E+0"},
    {1.0, 3, 100.0, "E+0"},  {1.0, 1, 1000.05, "E+0"},
};

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::vector<std::string> Commands(std::string_view line) {
    std::vector<std::string> commands;
    std::size_t start = 0;
    while (start <= line.size()) {
        const auto end = std::min(line.find(';', start), line.size());
        commands.push_back(Upper(Trimmed(line.substr(start, end - start))));
        start = end + 1;
    }
    return commands;
}

template <typename... Names>
bool IsOneOf(const std::string& command, Names... names) {
    return ((command == names) || ...);
}

}  // namespace

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
            !std::all_of(digits.begin(), digits.end(),
                         [](unsigned char c) { return std::isdigit(c) != 0; }))
            return std::nullopt;
        return Fault{FaultKind::Delay, std::atoi(digits.c_str())};
    }
    return std::nullopt;
}

std::string FormatFluke45Value(double volts) {
    if (!std::isfinite(volts)) return kFlukeOverload;
    for (const FlukeRange& range : kFlukeRanges) {
        const double factor = std::pow(10.0, range.decimals);
        double shown = std::round(volts * range.scale * factor) / factor;
        if (std::fabs(shown) >= range.limit) continue;
        if (shown == 0.0) shown = 0.0;  // no "-0.000"
        char text[64];
        std::snprintf(text, sizeof text, "%+.*f%s", range.decimals, shown, range.exponent);
        return text;
    }
    return kFlukeOverload;
}

std::string FormatHp34401AValue(double volts) {
    if (!std::isfinite(volts) || std::fabs(volts) >= kHpOverloadVolts) return kHpOverload;
    char text[64];
    std::snprintf(text, sizeof text, "%+.8E", volts);
    return text;
}

std::string Garble(std::string_view bytes) {
    std::string garbled;
    garbled.reserve(bytes.size());
    for (unsigned char byte : bytes)
        garbled.push_back(static_cast<char>(0x80 | ((byte * 37u + 11u) & 0x7F)));
    return garbled;
}

bool LineSettingsMatch(MeterModel model, unsigned baudRate, bool twoStopBits) {
    const bool wantsTwoStopBits = model == MeterModel::Hp34401A;
    return baudRate == kMeterBaudRate && twoStopBits == wantsTwoStopBits;
}

MeterProtocol::MeterProtocol(MeterModel model, Fault fault, ReadingSource takeReading)
    : m_model(model), m_fault(fault), m_takeReading(std::move(takeReading)) {}

std::vector<Output> MeterProtocol::Receive(std::string_view bytes, bool lineMatches) {
    std::vector<Output> outputs;
    for (char byte : bytes) {
        if (byte != '\r' && byte != '\n') {
            if (m_pending.size() < kMaxCommandLine) m_pending.push_back(byte);
            continue;
        }
        const std::string line = Trimmed(m_pending);
        m_pending.clear();
        if (line.empty()) continue;  // the second half of CR LF, or LF CR
        LineReply reply = HandleLine(line);
        if (reply.text.empty() || m_fault.kind == FaultKind::Silent) continue;
        if (!lineMatches) {
            outputs.push_back(Output{Garble(reply.text), 0, std::nullopt});
            continue;
        }
        outputs.push_back(ApplyFault(std::move(reply)));
    }
    outputs.erase(std::remove_if(outputs.begin(), outputs.end(),
                                 [](const Output& o) { return o.bytes.empty(); }),
                  outputs.end());
    return outputs;
}

MeterProtocol::LineReply MeterProtocol::HandleLine(std::string_view line) {
    return m_model == MeterModel::Fluke45 ? HandleFlukeLine(line) : HandleHpLine(line);
}

std::string MeterProtocol::ValueLine(double volts) const {
    return m_model == MeterModel::Fluke45 ? FormatFluke45Value(volts) : FormatHp34401AValue(volts);
}

// One prompt per command line, after any value lines; the first command it cannot take
// ends the line.
MeterProtocol::LineReply MeterProtocol::HandleFlukeLine(std::string_view line) {
    LineReply reply;
    const char* prompt = kPromptOk;
    for (const std::string& command : Commands(line)) {
        if (command.empty()) continue;
        if (IsOneOf(command, "VAL?", "VAL1?", "MEAS?", "MEAS1?")) {
            reply.text += ValueLine(m_takeReading()) + kLineEnd;
            reply.carriesValue = true;
        } else if (IsOneOf(command, "AUTO?")) {
            reply.text += std::string("1") + kLineEnd;
        } else if (IsOneOf(command, "*IDN?")) {
            reply.text += std::string(kFlukeIdentity) + kLineEnd;
        } else if (IsOneOf(command, "AUTO", "*RST", "*CLS", "VDC", "FIXED", "REMS", "RWLS",
                           "LOCS")) {
        } else if (IsOneOf(command, "VAL2?", "MEAS2?")) {
            prompt = kPromptCannotExecute;  // no secondary display
            break;
        } else {
            prompt = kPromptUnknown;
            break;
        }
    }
    reply.text += std::string(prompt) + kLineEnd;
    return reply;
}

// SCPI: commands answer nothing; errors go to the queue that SYST:ERR? reads.
MeterProtocol::LineReply MeterProtocol::HandleHpLine(std::string_view line) {
    LineReply reply;
    for (std::string command : Commands(line)) {
        if (!command.empty() && command.front() == ':') command.erase(0, 1);
        if (command.empty()) continue;
        if (IsOneOf(command, "*RST")) {
            m_armed.reset();
        } else if (IsOneOf(command, "*CLS")) {
            m_errors.clear();
        } else if (IsOneOf(command, "INIT", "INITIATE", "INIT:IMM")) {
            m_armed = m_takeReading();
        } else if (IsOneOf(command, "FETC?", "FETCH?")) {
            if (m_armed) {
                reply.text += ValueLine(*m_armed) + kLineEnd;
                reply.carriesValue = true;
            } else {
                m_errors.push_back("-230,\"Data stale\"");
            }
        } else if (IsOneOf(command, "READ?", "MEAS?", "MEAS:VOLT:DC?", "MEASURE:VOLTAGE:DC?")) {
            m_armed = m_takeReading();
            reply.text += ValueLine(*m_armed) + kLineEnd;
            reply.carriesValue = true;
        } else if (IsOneOf(command, "*IDN?")) {
            reply.text += std::string(kHpIdentity) + kLineEnd;
        } else if (IsOneOf(command, "SYST:ERR?", "SYSTEM:ERROR?")) {
            std::string error = "+0,\"No error\"";
            if (!m_errors.empty()) {
                error = m_errors.front();
                m_errors.pop_front();
            }
            reply.text += error + kLineEnd;
        } else if (IsOneOf(command, "SYST:REM", "SYSTEM:REMOTE", "CONF:VOLT:DC",
                           "CONFIGURE:VOLTAGE:DC")) {
        } else {
            m_errors.push_back("-113,\"Undefined header\"");
        }
    }
    return reply;
}

Output MeterProtocol::ApplyFault(LineReply reply) const {
    Output output{std::move(reply.text), 0, std::nullopt};
    if (!reply.carriesValue) return output;
    const std::size_t valueEnd = output.bytes.find(kLineEnd);
    const std::string valueLine = output.bytes.substr(0, valueEnd);
    const std::string rest = output.bytes.substr(valueEnd + 2);
    const bool fluke = m_model == MeterModel::Fluke45;
    switch (m_fault.kind) {
        case FaultKind::None:
        case FaultKind::Silent:
            break;
        case FaultKind::ErrorPrompt:
            output.bytes = fluke ? std::string(kPromptUnknown) + kLineEnd : std::string();
            break;
        case FaultKind::ExecErrorPrompt:
            output.bytes = fluke ? std::string(kPromptCannotExecute) + kLineEnd : std::string();
            break;
        case FaultKind::NoLineFeed:
            output.bytes = valueLine + "\r";
            break;
        case FaultKind::LongLine: {
            std::string longLine = valueLine;
            longLine.resize(kLongLineLength - 2, ' ');
            output.bytes = longLine + kLineEnd + rest;
            break;
        }
        case FaultKind::Garbage:
            output.bytes = Garble(valueLine) + kLineEnd + rest;
            break;
        case FaultKind::Delay:
            output.delayMs = m_fault.delayMs;
            break;
        case FaultKind::HangUp:
            output.hangUpAfter = valueLine.size() / 2;
            break;
    }
    return output;
}

}  // namespace metersim
