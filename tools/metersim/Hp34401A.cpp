#include "Hp34401A.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <optional>

#include "MeterText.h"

namespace vantrel::metersim {

namespace {

constexpr char kIdentity[] = "HEWLETT-PACKARD,34401A,0,11-5-2";
constexpr char kScpiVersion[] = "1994.0";
constexpr char kOverload[] = "+9.90000000E+37";
constexpr double kOverrange = 1.2;       // a range reads up to 120 % of its full scale
constexpr double kLineHz = 50.0;         // the bench's mains frequency
constexpr double kAcReadingMs = 1000.0;  // one AC reading with the medium (20 Hz) filter
constexpr std::size_t kErrorQueueLength = 20;
constexpr int kMaxSampleCount = 50000;

constexpr double kRanges[] = {0.1, 1.0, 10.0, 100.0, 1000.0};
constexpr double kAcTopRange = 750.0;

// Integration time and the resolution it gives, as a fraction of the range.
struct Integration {
    double nplc;
    double resolution;
};
constexpr Integration kIntegrations[] = {{0.02, 1e-4}, {0.2, 1e-5}, {1.0, 3e-6}, {10.0, 1e-6}, {100.0, 3e-7}};

// Event status bits.
constexpr int kOperationComplete = 1;
constexpr int kQueryError = 4;
constexpr int kDeviceError = 8;
constexpr int kExecutionError = 16;
constexpr int kCommandError = 32;

// Error codes the meter queues.
constexpr int kSyntaxError = -102;
constexpr int kParameterNotAllowed = -108;
constexpr int kMissingParameter = -109;
constexpr int kUndefinedHeader = -113;
constexpr int kTriggerIgnored = -211;
constexpr int kInitIgnored = -213;
constexpr int kTriggerDeadlock = -214;
constexpr int kDataOutOfRange = -222;
constexpr int kIllegalParameterValue = -224;
constexpr int kDataStale = -230;
constexpr int kTooManyErrors = -350;

struct ErrorText {
    int code;
    const char* text;
};
// clang-format off
constexpr ErrorText kErrorTexts[] = {
    {-101,                   "Invalid character"},
    {kSyntaxError,           "Syntax error"},
    {kParameterNotAllowed,   "Parameter not allowed"},
    {kMissingParameter,      "Missing parameter"},
    {kUndefinedHeader,       "Undefined header"},
    {-121,                   "Invalid character in number"},
    {kTriggerIgnored,        "Trigger ignored"},
    {kInitIgnored,           "Init ignored"},
    {kTriggerDeadlock,       "Trigger deadlock"},
    {kDataOutOfRange,        "Data out of range"},
    {kIllegalParameterValue, "Illegal parameter value"},
    {kDataStale,             "Data stale"},
    {kTooManyErrors,         "Too many errors"},
};
// clang-format on

// The range a CONFigure or RANGe parameter selects: the smallest that holds the value.
std::optional<double> PickRange(const scpi::Number& range, bool ac) {
    const double top = ac ? kAcTopRange : kRanges[4];
    if (range.kind == scpi::Number::Min) return kRanges[0];
    if (range.kind == scpi::Number::Max) return top;
    const double wanted = std::fabs(range.value);
    if (wanted > top * kOverrange) return std::nullopt;
    for (double r : kRanges)
        if (wanted <= r * kOverrange) return std::min(r, top);
    return top;
}

std::string Scientific(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%+.*E", decimals, value);
    return text;
}

int ErrorClassBit(int code) {
    if (code <= -100 && code > -200) return kCommandError;
    if (code <= -200 && code > -300) return kExecutionError;
    if (code <= -400 && code > -500) return kQueryError;
    return kDeviceError;
}

}  // namespace

std::string FormatHp34401AValue(double volts) {
    if (!std::isfinite(volts) || std::fabs(volts) >= kRanges[4] * kOverrange) return kOverload;
    return Scientific(volts, 8);
}

const char* Hp34401AErrorText(int code) {
    for (const ErrorText& entry : kErrorTexts)
        if (entry.code == code) return entry.text;
    return "Unknown error";
}

Hp34401A::Hp34401A(std::function<double()> takeVolts, std::function<double()> nowMs)
    : m_takeVolts(std::move(takeVolts)), m_nowMs(std::move(nowMs)) {
    Reset();
}

void Hp34401A::Reset() {
    m_ac = false;
    m_autoRange = true;
    m_range = 10.0;
    m_nplc = 10.0;
    m_autoZero = true;
    m_source = Source::Immediate;
    m_sampleCount = 1;
    m_memory.clear();
    m_waitingForTrigger = false;
    m_readyAt = m_nowMs();  // a measurement under way is abandoned
}

double Hp34401A::MeasurementMs() const {
    if (m_ac) return kAcReadingMs;
    const double integration = m_nplc * 1000.0 / kLineHz;
    return m_autoZero ? 2 * integration : integration;  // autozero takes a zero reading each time
}

void Hp34401A::QueueError(int code) {
    m_esr |= ErrorClassBit(code);
    if (m_errors.size() < kErrorQueueLength) {
        m_errors.push_back(code);
    } else {
        m_errors.back() = kTooManyErrors;
    }
}

std::string Hp34401A::Reading(double volts) const {
    const double range = m_autoRange ? (m_ac ? kAcTopRange : kRanges[4]) : m_range;
    if (!std::isfinite(volts) || std::fabs(volts) > range * kOverrange) return kOverload;
    return Scientific(volts, 8);
}

bool Hp34401A::CheckParameterCount(const scpi::Unit& unit, std::size_t least, std::size_t most) {
    if (unit.parameters.size() < least) {
        QueueError(kMissingParameter);
        return false;
    }
    if (unit.parameters.size() > most) {
        QueueError(kParameterNotAllowed);
        return false;
    }
    return true;
}

// A command ends at LF; a CR before it, or before a command (the tool's "*RST" LF CR),
// is white space.
MeterReply Hp34401A::HandleLine(std::string_view line) {
    MeterReply reply;
    scpi::PathTracker path;
    for (const scpi::Unit& unit : scpi::ParseMessage(line)) {
        if (unit.malformed) {
            QueueError(kSyntaxError);
            continue;
        }
        Execute(path.Resolve(unit), unit, reply);
    }
    return reply;
}

// clang-format off
const Hp34401A::Command Hp34401A::kCommands[] = {
    {"MEASure:VOLTage[:DC]?",             0, 2, &Hp34401A::MeasureDc},
    {"MEASure:VOLTage:AC?",               0, 2, &Hp34401A::MeasureAc},
    {"CONFigure:VOLTage[:DC]",            0, 2, &Hp34401A::ConfigureDc},
    {"CONFigure:VOLTage:AC",              0, 2, &Hp34401A::ConfigureAc},
    {"CONFigure?",                        0, 0, &Hp34401A::ConfigureQuery},
    {"READ?",                             0, 0, &Hp34401A::Read},
    {"FETCh?",                            0, 0, &Hp34401A::FetchQuery},
    {"INITiate[:IMMediate]",              0, 0, &Hp34401A::InitiateCommand},
    {"ABORt",                             0, 0, &Hp34401A::Abort},
    {"[SENSe:]FUNCtion",                  1, 1, &Hp34401A::Function},
    {"[SENSe:]FUNCtion?",                 0, 0, &Hp34401A::FunctionQuery},
    {"[SENSe:]VOLTage[:DC]:NPLCycles",    1, 1, &Hp34401A::IntegrationTime},
    {"[SENSe:]VOLTage[:DC]:NPLCycles?",   0, 0, &Hp34401A::IntegrationTimeQuery},
    {"[SENSe:]VOLTage[:DC]:RANGe",        1, 1, &Hp34401A::Range},
    {"[SENSe:]VOLTage[:DC]:RANGe?",       0, 0, &Hp34401A::RangeQuery},
    {"[SENSe:]VOLTage[:DC]:RANGe:AUTO",   1, 1, &Hp34401A::AutoRange},
    {"[SENSe:]VOLTage[:DC]:RANGe:AUTO?",  0, 0, &Hp34401A::AutoRangeQuery},
    {"[SENSe:]ZERO:AUTO",                 1, 1, &Hp34401A::AutoZero},
    {"[SENSe:]ZERO:AUTO?",                0, 0, &Hp34401A::AutoZeroQuery},
    {"TRIGger:SOURce",                    1, 1, &Hp34401A::TriggerSource},
    {"TRIGger:SOURce?",                   0, 0, &Hp34401A::TriggerSourceQuery},
    {"SAMPle:COUNt",                      1, 1, &Hp34401A::SampleCount},
    {"SAMPle:COUNt?",                     0, 0, &Hp34401A::SampleCountQuery},
    {"SYSTem:ERRor?",                     0, 0, &Hp34401A::ErrorQuery},
    {"SYSTem:VERSion?",                   0, 0, &Hp34401A::VersionQuery},
    {"SYSTem:REMote",                     0, 0, &Hp34401A::NoEffect},
    {"SYSTem:LOCal",                      0, 0, &Hp34401A::NoEffect},
    {"SYSTem:RWLock",                     0, 0, &Hp34401A::NoEffect},
};

const Hp34401A::Command Hp34401A::kCommonCommands[] = {
    {"*RST",  0, 0, &Hp34401A::ResetCommand},
    {"*CLS",  0, 0, &Hp34401A::ClearStatus},
    {"*IDN?", 0, 0, &Hp34401A::IdentityQuery},
    {"*OPC?", 0, 0, &Hp34401A::OperationCompleteQuery},
    {"*OPC",  0, 0, &Hp34401A::OperationComplete},
    {"*ESR?", 0, 0, &Hp34401A::EventStatusQuery},
    {"*ESE?", 0, 0, &Hp34401A::EventEnableQuery},
    {"*SRE?", 0, 0, &Hp34401A::ServiceRequestEnableQuery},
    {"*STB?", 0, 0, &Hp34401A::StatusByteQuery},
    {"*ESE",  1, 1, &Hp34401A::EventEnable},
    {"*SRE",  1, 1, &Hp34401A::ServiceRequestEnable},
    {"*TRG",  0, 0, &Hp34401A::BusTrigger},
    {"*WAI",  0, 0, &Hp34401A::NoEffect},
};
// clang-format on

// The first pattern that matches the unit's nodes names the command.
void Hp34401A::Execute(const std::vector<std::string>& nodes, const scpi::Unit& unit, MeterReply& reply) {
    if (unit.common) {
        if (nodes.size() != 1) return QueueError(kUndefinedHeader);
        return ExecuteCommon(nodes.front(), unit, reply);
    }
    static const std::vector<scpi::Pattern> patterns = [] {
        std::vector<scpi::Pattern> list;
        for (const Command& command : kCommands) list.emplace_back(command.header);
        return list;
    }();
    for (std::size_t i = 0; i < patterns.size(); ++i)
        if (patterns[i].Matches(nodes)) return Run(kCommands[i], unit, reply);
    QueueError(kUndefinedHeader);
}

// An unknown common command takes no parameters either: a parameter on it is reported first.
void Hp34401A::ExecuteCommon(const std::string& header, const scpi::Unit& unit, MeterReply& reply) {
    for (const Command& command : kCommonCommands)
        if (header == command.header) return Run(command, unit, reply);
    if (CheckParameterCount(unit, 0, 0)) QueueError(kUndefinedHeader);
}

void Hp34401A::Run(const Command& command, const scpi::Unit& unit, MeterReply& reply) {
    if (!CheckParameterCount(unit, command.leastParameters, command.mostParameters)) return;
    (this->*command.handler)(unit, reply);
}

void Hp34401A::MeasureDc(const scpi::Unit& unit, MeterReply& reply) {
    if (!Configure(false, unit.parameters)) return;
    Initiate();
    Fetch(reply);
}

void Hp34401A::MeasureAc(const scpi::Unit& unit, MeterReply& reply) {
    if (!Configure(true, unit.parameters)) return;
    Initiate();
    Fetch(reply);
}

void Hp34401A::ConfigureDc(const scpi::Unit& unit, MeterReply&) { Configure(false, unit.parameters); }

void Hp34401A::ConfigureAc(const scpi::Unit& unit, MeterReply&) { Configure(true, unit.parameters); }

// The function, its range and the resolution the integration time gives, quoted.
void Hp34401A::ConfigureQuery(const scpi::Unit&, MeterReply& reply) {
    const double resolution =
        m_ac ? m_range * 1e-6
             : m_range * std::find_if(std::begin(kIntegrations), std::end(kIntegrations),
                                      [this](const Integration& i) { return i.nplc >= m_nplc; })
                             ->resolution;
    Answer(reply, std::string("\"") + (m_ac ? "VOLT:AC " : "VOLT ") + Scientific(m_range, 6) + "," +
                      Scientific(resolution, 6) + "\"");
}

// READ? would wait for a bus trigger it cannot receive.
void Hp34401A::Read(const scpi::Unit&, MeterReply& reply) {
    if (m_source == Source::Bus) return QueueError(kTriggerDeadlock);
    Initiate();
    Fetch(reply);
}

void Hp34401A::FetchQuery(const scpi::Unit&, MeterReply& reply) { Fetch(reply); }

// A measurement under way, or one waiting for its trigger, ignores another INIT.
void Hp34401A::InitiateCommand(const scpi::Unit&, MeterReply&) {
    if (m_readyAt > m_nowMs() || m_waitingForTrigger) return QueueError(kInitIgnored);
    if (m_source == Source::Immediate) return Initiate();
    m_memory.clear();
    m_waitingForTrigger = true;
}

void Hp34401A::Abort(const scpi::Unit&, MeterReply&) {
    m_waitingForTrigger = false;
    if (m_readyAt > m_nowMs()) {
        m_memory.clear();
        m_readyAt = m_nowMs();
    }
}

void Hp34401A::Function(const scpi::Unit& unit, MeterReply&) {
    const std::string& name = unit.parameters[0];
    if (name == "\"VOLT\"" || name == "\"VOLT:DC\"" || name == "\"VOLTAGE:DC\"" || name == "\"VOLTAGE\"") {
        m_ac = false;
    } else if (name == "\"VOLT:AC\"" || name == "\"VOLTAGE:AC\"") {
        m_ac = true;
    } else {
        QueueError(kIllegalParameterValue);
    }
}

void Hp34401A::FunctionQuery(const scpi::Unit&, MeterReply& reply) {
    Answer(reply, m_ac ? "\"VOLT:AC\"" : "\"VOLT\"");
}

// A number of power-line cycles is rounded up to the next the meter offers.
void Hp34401A::IntegrationTime(const scpi::Unit& unit, MeterReply&) {
    int error = 0;
    const auto number = scpi::ParseNumber(unit.parameters[0], &error);
    if (!number) return QueueError(error);
    if (number->kind == scpi::Number::Min) {
        m_nplc = kIntegrations[0].nplc;
    } else if (number->kind == scpi::Number::Max) {
        m_nplc = kIntegrations[4].nplc;
    } else if (number->kind == scpi::Number::Def) {
        m_nplc = 10.0;
    } else if (number->value <= 0 || number->value > 100) {
        QueueError(kDataOutOfRange);
    } else {
        m_nplc = std::find_if(std::begin(kIntegrations), std::end(kIntegrations), [&](const Integration& i) {
                     return i.nplc >= number->value - 1e-9;
                 })->nplc;
    }
}

void Hp34401A::IntegrationTimeQuery(const scpi::Unit&, MeterReply& reply) {
    Answer(reply, Scientific(m_nplc, 8));
}

void Hp34401A::Range(const scpi::Unit& unit, MeterReply&) {
    int error = 0;
    const auto number = scpi::ParseNumber(unit.parameters[0], &error);
    if (!number) return QueueError(error);
    if (number->kind == scpi::Number::Def) {
        m_autoRange = true;
        return;
    }
    const auto range = PickRange(*number, m_ac);
    if (!range) return QueueError(kDataOutOfRange);
    m_range = *range;
    m_autoRange = false;
}

void Hp34401A::RangeQuery(const scpi::Unit&, MeterReply& reply) { Answer(reply, Scientific(m_range, 8)); }

void Hp34401A::AutoRange(const scpi::Unit& unit, MeterReply&) { SetOnOff(m_autoRange, unit.parameters[0]); }

void Hp34401A::AutoRangeQuery(const scpi::Unit&, MeterReply& reply) {
    Answer(reply, m_autoRange ? "1" : "0");
}

void Hp34401A::AutoZero(const scpi::Unit& unit, MeterReply&) { SetOnOff(m_autoZero, unit.parameters[0]); }

void Hp34401A::AutoZeroQuery(const scpi::Unit&, MeterReply& reply) { Answer(reply, m_autoZero ? "1" : "0"); }

// ON, 1 or OFF, 0; ONCE does its work once and leaves the setting off.
void Hp34401A::SetOnOff(bool& setting, const std::string& parameter) {
    const bool on = parameter == "ON" || parameter == "1" || parameter == "ONCE";
    if (!on && parameter != "OFF" && parameter != "0") return QueueError(kIllegalParameterValue);
    setting = on && parameter != "ONCE";
}

void Hp34401A::TriggerSource(const scpi::Unit& unit, MeterReply&) {
    const std::string& source = unit.parameters[0];
    if (source == "IMM" || source == "IMMEDIATE") {
        m_source = Source::Immediate;
    } else if (source == "BUS") {
        m_source = Source::Bus;
    } else if (source == "EXT" || source == "EXTERNAL") {
        m_source = Source::External;
    } else {
        QueueError(kIllegalParameterValue);
    }
}

void Hp34401A::TriggerSourceQuery(const scpi::Unit&, MeterReply& reply) {
    Answer(reply, m_source == Source::Immediate ? "IMM" : m_source == Source::Bus ? "BUS" : "EXT");
}

void Hp34401A::SampleCount(const scpi::Unit& unit, MeterReply&) {
    int error = 0;
    const auto number = scpi::ParseNumber(unit.parameters[0], &error);
    if (!number) return QueueError(error);
    if (number->kind == scpi::Number::Min || number->kind == scpi::Number::Def) {
        m_sampleCount = 1;
    } else if (number->kind == scpi::Number::Max) {
        m_sampleCount = kMaxSampleCount;
    } else if (number->value < 1 || number->value > kMaxSampleCount) {
        QueueError(kDataOutOfRange);
    } else {
        m_sampleCount = static_cast<int>(std::lround(number->value));
    }
}

void Hp34401A::SampleCountQuery(const scpi::Unit&, MeterReply& reply) {
    Answer(reply, (m_sampleCount >= 0 ? "+" : "") + std::to_string(m_sampleCount));
}

// The oldest error leaves the queue; an empty queue answers "No error".
void Hp34401A::ErrorQuery(const scpi::Unit&, MeterReply& reply) {
    int code = 0;
    if (!m_errors.empty()) {
        code = m_errors.front();
        m_errors.pop_front();
    }
    Answer(reply, code == 0 ? std::string("+0,\"No error\"")
                            : std::to_string(code) + ",\"" + Hp34401AErrorText(code) + "\"");
}

void Hp34401A::VersionQuery(const scpi::Unit&, MeterReply& reply) { Answer(reply, kScpiVersion); }

// Accepted and without effect over RS-232 (*WAI, remote and local).
void Hp34401A::NoEffect(const scpi::Unit&, MeterReply&) {}

void Hp34401A::ResetCommand(const scpi::Unit&, MeterReply&) { Reset(); }

void Hp34401A::ClearStatus(const scpi::Unit&, MeterReply&) {
    m_errors.clear();
    m_esr = 0;
}

void Hp34401A::IdentityQuery(const scpi::Unit&, MeterReply& reply) { Answer(reply, kIdentity); }

// "1" once a measurement under way is done.
void Hp34401A::OperationCompleteQuery(const scpi::Unit&, MeterReply& reply) {
    reply.measureMs = std::max(reply.measureMs, m_readyAt - m_nowMs());
    Answer(reply, "1");
}

void Hp34401A::OperationComplete(const scpi::Unit&, MeterReply&) { m_esr |= kOperationComplete; }

// Reading the event register clears it.
void Hp34401A::EventStatusQuery(const scpi::Unit&, MeterReply& reply) {
    Answer(reply, std::to_string(m_esr));
    m_esr = 0;
}

void Hp34401A::EventEnableQuery(const scpi::Unit&, MeterReply& reply) {
    Answer(reply, std::to_string(m_ese));
}

void Hp34401A::ServiceRequestEnableQuery(const scpi::Unit&, MeterReply& reply) {
    Answer(reply, std::to_string(m_sre));
}

// The event summary bit (32) and the master summary bit (64).
void Hp34401A::StatusByteQuery(const scpi::Unit&, MeterReply& reply) {
    int status = (m_esr & m_ese) != 0 ? 32 : 0;
    if ((status & m_sre) != 0) status |= 64;
    Answer(reply, std::to_string(status));
}

void Hp34401A::EventEnable(const scpi::Unit& unit, MeterReply&) { SetRegister(m_ese, unit.parameters[0]); }

void Hp34401A::ServiceRequestEnable(const scpi::Unit& unit, MeterReply&) {
    SetRegister(m_sre, unit.parameters[0]);
}

// An enable register takes a whole number from 0 to 255.
void Hp34401A::SetRegister(int& enableRegister, const std::string& parameter) {
    int error = 0;
    const auto number = scpi::ParseNumber(parameter, &error);
    if (!number || number->kind != scpi::Number::Value)
        return QueueError(number ? kIllegalParameterValue : error);
    if (number->value < 0 || number->value > 255) return QueueError(kDataOutOfRange);
    enableRegister = static_cast<int>(number->value);
}

// A bus trigger counts only while an INIT waits for one.
void Hp34401A::BusTrigger(const scpi::Unit&, MeterReply&) {
    if (!m_waitingForTrigger || m_source != Source::Bus) return QueueError(kTriggerIgnored);
    m_waitingForTrigger = false;
    Initiate();
}

// CONFigure / MEASure: the function, range and resolution, with the presets that go with
// them (immediate trigger, one sample). False when a parameter was refused.
bool Hp34401A::Configure(bool ac, const std::vector<std::string>& parameters) {
    scpi::Number range{scpi::Number::Def, 0};
    scpi::Number resolution{scpi::Number::Def, 0};
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        int error = 0;
        const auto number = scpi::ParseNumber(parameters[i], &error);
        if (!number) {
            QueueError(error);
            return false;
        }
        (i == 0 ? range : resolution) = *number;
    }
    const bool autoRange = range.kind == scpi::Number::Def;
    double newRange = m_range;
    if (!autoRange) {
        const auto picked = PickRange(range, ac);
        if (!picked) {
            QueueError(kDataOutOfRange);
            return false;
        }
        newRange = *picked;
    }
    if (autoRange && range.kind == scpi::Number::Def && m_ac != ac) newRange = 10.0;
    double nplc = 10.0;
    if (resolution.kind == scpi::Number::Min) nplc = kIntegrations[4].nplc;
    if (resolution.kind == scpi::Number::Max) nplc = kIntegrations[0].nplc;
    if (resolution.kind == scpi::Number::Value) {
        nplc = kIntegrations[4].nplc;
        for (const Integration& i : kIntegrations)
            if (i.resolution * newRange <= resolution.value * (1 + 1e-9)) {
                nplc = i.nplc;
                break;
            }
    }
    m_ac = ac;
    m_range = newRange;
    m_autoRange = autoRange;
    if (!ac) m_nplc = nplc;
    m_source = Source::Immediate;
    m_sampleCount = 1;
    m_memory.clear();
    m_waitingForTrigger = false;
    return true;
}

// Takes the sample count's readings, each one measurement time after the one before.
void Hp34401A::Initiate() {
    m_memory.clear();
    // The bench's reference is a DC source: an AC measurement of it reads zero.
    for (int i = 0; i < m_sampleCount; ++i) m_memory.push_back(m_ac ? 0.0 : m_takeVolts());
    if (m_autoRange && !m_ac) {
        const double volts = std::fabs(m_memory.back());
        m_range = kRanges[4];
        for (double r : kRanges)
            if (volts <= r * kOverrange) {
                m_range = r;
                break;
            }
    }
    m_readyAt = m_nowMs() + m_sampleCount * MeasurementMs();
}

// FETCh?: the readings in memory, once the last is taken.
void Hp34401A::Fetch(MeterReply& reply) {
    if (m_memory.empty()) {
        QueueError(kDataStale);
        return;
    }
    std::string line;
    for (double volts : m_memory) {
        if (!line.empty()) line += ",";
        line += Reading(volts);
    }
    Answer(reply, line);
    reply.carriesValue = true;
    reply.measureMs = std::max(reply.measureMs, m_readyAt - m_nowMs());
}

}  // namespace vantrel::metersim
