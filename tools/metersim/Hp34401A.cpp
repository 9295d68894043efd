#include "Hp34401A.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <optional>

#include "MeterText.h"

namespace metersim {

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

struct ErrorText {
    int code;
    const char* text;
};
constexpr ErrorText kErrorTexts[] = {
    {-101, "Invalid character"},       {-102, "Syntax error"},
    {-108, "Parameter not allowed"},   {-109, "Missing parameter"},
    {-113, "Undefined header"},        {-121, "Invalid character in number"},
    {-211, "Trigger ignored"},         {-213, "Init ignored"},
    {-214, "Trigger deadlock"},        {-222, "Data out of range"},
    {-224, "Illegal parameter value"}, {-230, "Data stale"},
    {-350, "Too many errors"},
};

// The header patterns the meter knows, in the order they are tried.
enum class Command {
    MeasureDc,
    MeasureAc,
    ConfigureDc,
    ConfigureAc,
    ConfigureQuery,
    Read,
    Fetch,
    Initiate,
    Abort,
    Function,
    FunctionQuery,
    Nplc,
    NplcQuery,
    Range,
    RangeQuery,
    RangeAuto,
    RangeAutoQuery,
    ZeroAuto,
    ZeroAutoQuery,
    TriggerSource,
    TriggerSourceQuery,
    SampleCount,
    SampleCountQuery,
    SystemError,
    SystemVersion,
    SystemRemote,
    SystemLocal,
    SystemRwLock,
};

struct Entry {
    const char* pattern;
    Command command;
};
constexpr Entry kEntries[] = {
    {"MEASure:VOLTage[:DC]?", Command::MeasureDc},
    {"MEASure:VOLTage:AC?", Command::MeasureAc},
    {"CONFigure:VOLTage[:DC]", Command::ConfigureDc},
    {"CONFigure:VOLTage:AC", Command::ConfigureAc},
    {"CONFigure?", Command::ConfigureQuery},
    {"READ?", Command::Read},
    {"FETCh?", Command::Fetch},
    {"INITiate[:IMMediate]", Command::Initiate},
    {"ABORt", Command::Abort},
    {"[SENSe:]FUNCtion", Command::Function},
    {"[SENSe:]FUNCtion?", Command::FunctionQuery},
    {"[SENSe:]VOLTage[:DC]:NPLCycles", Command::Nplc},
    {"[SENSe:]VOLTage[:DC]:NPLCycles?", Command::NplcQuery},
    {"[SENSe:]VOLTage[:DC]:RANGe", Command::Range},
    {"[SENSe:]VOLTage[:DC]:RANGe?", Command::RangeQuery},
    {"[SENSe:]VOLTage[:DC]:RANGe:AUTO", Command::RangeAuto},
    {"[SENSe:]VOLTage[:DC]:RANGe:AUTO?", Command::RangeAutoQuery},
    {"[SENSe:]ZERO:AUTO", Command::ZeroAuto},
    {"[SENSe:]ZERO:AUTO?", Command::ZeroAutoQuery},
    {"TRIGger:SOURce", Command::TriggerSource},
    {"TRIGger:SOURce?", Command::TriggerSourceQuery},
    {"SAMPle:COUNt", Command::SampleCount},
    {"SAMPle:COUNt?", Command::SampleCountQuery},
    {"SYSTem:ERRor?", Command::SystemError},
    {"SYSTem:VERSion?", Command::SystemVersion},
    {"SYSTem:REMote", Command::SystemRemote},
    {"SYSTem:LOCal", Command::SystemLocal},
    {"SYSTem:RWLock", Command::SystemRwLock},
};

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

const std::vector<std::pair<scpi::Pattern, Command>>& Patterns() {
    static const std::vector<std::pair<scpi::Pattern, Command>> patterns = [] {
        std::vector<std::pair<scpi::Pattern, Command>> list;
        for (const Entry& entry : kEntries) list.emplace_back(scpi::Pattern(entry.pattern), entry.command);
        return list;
    }();
    return patterns;
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
        m_errors.back() = -350;
    }
}

std::string Hp34401A::Reading(double volts) const {
    const double range = m_autoRange ? (m_ac ? kAcTopRange : kRanges[4]) : m_range;
    if (!std::isfinite(volts) || std::fabs(volts) > range * kOverrange) return kOverload;
    return Scientific(volts, 8);
}

bool Hp34401A::CheckParameterCount(const scpi::Unit& unit, std::size_t least, std::size_t most) {
    if (unit.parameters.size() < least) {
        QueueError(-109);
        return false;
    }
    if (unit.parameters.size() > most) {
        QueueError(-108);
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
            QueueError(-102);
            continue;
        }
        Execute(path.Resolve(unit), unit, reply);
    }
    return reply;
}

void Hp34401A::Execute(const std::vector<std::string>& nodes, const scpi::Unit& unit, MeterReply& reply) {
    const auto answer = [&reply](const std::string& text) { reply.text += text + kLineEnd; };
    if (unit.common) {
        if (nodes.size() != 1) return QueueError(-113);
        const std::string& header = nodes.front();
        const bool takesValue = header == "*ESE" || header == "*SRE";
        if (!CheckParameterCount(unit, takesValue ? 1 : 0, takesValue ? 1 : 0)) return;
        if (header == "*RST") {
            Reset();
        } else if (header == "*CLS") {
            m_errors.clear();
            m_esr = 0;
        } else if (header == "*IDN?") {
            answer(kIdentity);
        } else if (header == "*OPC?") {
            reply.measureMs = std::max(reply.measureMs, m_readyAt - m_nowMs());
            answer("1");
        } else if (header == "*OPC") {
            m_esr |= kOperationComplete;
        } else if (header == "*ESR?") {
            answer(std::to_string(m_esr));
            m_esr = 0;
        } else if (header == "*ESE?") {
            answer(std::to_string(m_ese));
        } else if (header == "*SRE?") {
            answer(std::to_string(m_sre));
        } else if (header == "*STB?") {
            int status = (m_esr & m_ese) != 0 ? 32 : 0;
            if ((status & m_sre) != 0) status |= 64;
            answer(std::to_string(status));
        } else if (takesValue) {
            int error = 0;
            const auto number = scpi::ParseNumber(unit.parameters[0], &error);
            if (!number || number->kind != scpi::Number::Value) {
                QueueError(number ? -224 : error);
            } else if (number->value < 0 || number->value > 255) {
                QueueError(-222);
            } else {
                (header == "*ESE" ? m_ese : m_sre) = static_cast<int>(number->value);
            }
        } else if (header == "*TRG") {
            if (!m_waitingForTrigger || m_source != Source::Bus) {
                QueueError(-211);
            } else {
                m_waitingForTrigger = false;
                Initiate();
            }
        } else if (header == "*WAI") {
        } else {
            QueueError(-113);
        }
        return;
    }

    const auto& patterns = Patterns();
    const auto found = std::find_if(patterns.begin(), patterns.end(),
                                    [&nodes](const auto& p) { return p.first.Matches(nodes); });
    if (found == patterns.end()) {
        QueueError(-113);
        return;
    }
    const std::vector<std::string>& parameters = unit.parameters;
    const auto single = [&](std::size_t least) { return CheckParameterCount(unit, least, 1); };
    switch (found->second) {
    case Command::MeasureDc:
    case Command::MeasureAc:
        if (!CheckParameterCount(unit, 0, 2)) return;
        if (!Configure(found->second == Command::MeasureAc, parameters)) return;
        Initiate();
        Fetch(reply);
        return;
    case Command::ConfigureDc:
    case Command::ConfigureAc:
        if (!CheckParameterCount(unit, 0, 2)) return;
        Configure(found->second == Command::ConfigureAc, parameters);
        return;
    case Command::ConfigureQuery: {
        if (!CheckParameterCount(unit, 0, 0)) return;
        const double resolution =
            m_ac ? m_range * 1e-6
                 : m_range * std::find_if(std::begin(kIntegrations), std::end(kIntegrations),
                                          [this](const Integration& i) { return i.nplc >= m_nplc; })
                                 ->resolution;
        answer(std::string("\"") + (m_ac ? "VOLT:AC " : "VOLT ") + Scientific(m_range, 6) + "," +
               Scientific(resolution, 6) + "\"");
        return;
    }
    case Command::Read:
        if (!CheckParameterCount(unit, 0, 0)) return;
        if (m_source == Source::Bus) {
            QueueError(-214);  // READ? would wait for a trigger it cannot receive
            return;
        }
        Initiate();
        Fetch(reply);
        return;
    case Command::Fetch:
        if (!CheckParameterCount(unit, 0, 0)) return;
        Fetch(reply);
        return;
    case Command::Initiate:
        if (!CheckParameterCount(unit, 0, 0)) return;
        if (m_readyAt > m_nowMs() || m_waitingForTrigger) {
            QueueError(-213);
            return;
        }
        if (m_source == Source::Immediate) {
            Initiate();
        } else {
            m_memory.clear();
            m_waitingForTrigger = true;
        }
        return;
    case Command::Abort:
        if (!CheckParameterCount(unit, 0, 0)) return;
        m_waitingForTrigger = false;
        if (m_readyAt > m_nowMs()) {
            m_memory.clear();
            m_readyAt = m_nowMs();
        }
        return;
    case Command::Function:
        if (!single(1)) return;
        if (parameters[0] == "\"VOLT\"" || parameters[0] == "\"VOLT:DC\"" ||
            parameters[0] == "\"VOLTAGE:DC\"" || parameters[0] == "\"VOLTAGE\"") {
            m_ac = false;
        } else if (parameters[0] == "\"VOLT:AC\"" || parameters[0] == "\"VOLTAGE:AC\"") {
            m_ac = true;
        } else {
            QueueError(-224);
        }
        return;
    case Command::FunctionQuery:
        if (!CheckParameterCount(unit, 0, 0)) return;
        answer(m_ac ? "\"VOLT:AC\"" : "\"VOLT\"");
        return;
    case Command::Nplc: {
        if (!single(1)) return;
        int error = 0;
        const auto number = scpi::ParseNumber(parameters[0], &error);
        if (!number) return QueueError(error);
        if (number->kind == scpi::Number::Min)
            m_nplc = kIntegrations[0].nplc;
        else if (number->kind == scpi::Number::Max)
            m_nplc = kIntegrations[4].nplc;
        else if (number->kind == scpi::Number::Def)
            m_nplc = 10.0;
        else if (number->value <= 0 || number->value > 100)
            return QueueError(-222);
        else
            m_nplc =
                std::find_if(std::begin(kIntegrations), std::end(kIntegrations), [&](const Integration& i) {
                    return i.nplc >= number->value - 1e-9;
                })->nplc;
        return;
    }
    case Command::NplcQuery:
        if (!CheckParameterCount(unit, 0, 0)) return;
        answer(Scientific(m_nplc, 8));
        return;
    case Command::Range: {
        if (!single(1)) return;
        int error = 0;
        const auto number = scpi::ParseNumber(parameters[0], &error);
        if (!number) return QueueError(error);
        if (number->kind == scpi::Number::Def) {
            m_autoRange = true;
            return;
        }
        const auto range = PickRange(*number, m_ac);
        if (!range) return QueueError(-222);
        m_range = *range;
        m_autoRange = false;
        return;
    }
    case Command::RangeQuery:
        if (!CheckParameterCount(unit, 0, 0)) return;
        answer(Scientific(m_range, 8));
        return;
    case Command::RangeAuto:
    case Command::ZeroAuto: {
        if (!single(1)) return;
        const std::string& v = parameters[0];
        const bool on = v == "ON" || v == "1" || v == "ONCE";
        if (!on && v != "OFF" && v != "0") return QueueError(-224);
        (found->second == Command::RangeAuto ? m_autoRange : m_autoZero) = on && v != "ONCE";
        return;
    }
    case Command::RangeAutoQuery:
        if (!CheckParameterCount(unit, 0, 0)) return;
        answer(m_autoRange ? "1" : "0");
        return;
    case Command::ZeroAutoQuery:
        if (!CheckParameterCount(unit, 0, 0)) return;
        answer(m_autoZero ? "1" : "0");
        return;
    case Command::TriggerSource: {
        if (!single(1)) return;
        const std::string& v = parameters[0];
        if (v == "IMM" || v == "IMMEDIATE")
            m_source = Source::Immediate;
        else if (v == "BUS")
            m_source = Source::Bus;
        else if (v == "EXT" || v == "EXTERNAL")
            m_source = Source::External;
        else
            QueueError(-224);
        return;
    }
    case Command::TriggerSourceQuery:
        if (!CheckParameterCount(unit, 0, 0)) return;
        answer(m_source == Source::Immediate ? "IMM" : m_source == Source::Bus ? "BUS" : "EXT");
        return;
    case Command::SampleCount: {
        if (!single(1)) return;
        int error = 0;
        const auto number = scpi::ParseNumber(parameters[0], &error);
        if (!number) return QueueError(error);
        if (number->kind == scpi::Number::Min || number->kind == scpi::Number::Def)
            m_sampleCount = 1;
        else if (number->kind == scpi::Number::Max)
            m_sampleCount = kMaxSampleCount;
        else if (number->value < 1 || number->value > kMaxSampleCount)
            return QueueError(-222);
        else
            m_sampleCount = static_cast<int>(std::lround(number->value));
        return;
    }
    case Command::SampleCountQuery:
        if (!CheckParameterCount(unit, 0, 0)) return;
        answer((m_sampleCount >= 0 ? "+" : "") + std::to_string(m_sampleCount));
        return;
    case Command::SystemError: {
        if (!CheckParameterCount(unit, 0, 0)) return;
        int code = 0;
        if (!m_errors.empty()) {
            code = m_errors.front();
            m_errors.pop_front();
        }
        answer(code == 0 ? std::string("+0,\"No error\"")
                         : std::to_string(code) + ",\"" + Hp34401AErrorText(code) + "\"");
        return;
    }
    case Command::SystemVersion:
        if (!CheckParameterCount(unit, 0, 0)) return;
        answer(kScpiVersion);
        return;
    case Command::SystemRemote:
    case Command::SystemLocal:
    case Command::SystemRwLock: CheckParameterCount(unit, 0, 0); return;
    }
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
            QueueError(-222);
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
        QueueError(-230);
        return;
    }
    std::string line;
    for (double volts : m_memory) {
        if (!line.empty()) line += ",";
        line += Reading(volts);
    }
    reply.text += line + kLineEnd;
    reply.carriesValue = true;
    reply.measureMs = std::max(reply.measureMs, m_readyAt - m_nowMs());
}

}  // namespace metersim
