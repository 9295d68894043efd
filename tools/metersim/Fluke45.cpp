#include "Fluke45.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "MeterText.h"

namespace vantrel::metersim {

namespace {

constexpr char kIdentity[] = "FLUKE, 45, 1234567, 1.6 D1.6";
constexpr char kSerialNumber[] = "1234567";
constexpr char kOverload[] = "+1E+9";

// Status bits of the standard event status register.
constexpr int kOperationComplete = 1;
constexpr int kExecutionError = 16;
constexpr int kCommandError = 32;

// One range of a function: its full scale, and how the display shows a value in it.
struct Range {
    double fullScale;
    int exponent;  // the value is shown in units of 10^exponent
    int decimals;
    double limit;  // first shown magnitude that no longer fits
};

// Slow rate: 100,000 counts; medium: 30,000; fast: 3,000.
constexpr Range kVdcSlow[] = {
    {0.1, -3, 3, 100}, {1, -3, 2, 1000}, {10, 0, 4, 10}, {100, 0, 3, 100}, {1000, 0, 1, 1000.05}};
constexpr Range kVdcMedium[] = {
    {0.3, -3, 2, 300}, {3, 0, 4, 3}, {30, 0, 3, 30}, {300, 0, 2, 300}, {1000, 0, 1, 1000.05}};
constexpr Range kVdcFast[] = {
    {0.3, -3, 1, 300}, {3, 0, 3, 3}, {30, 0, 2, 30}, {300, 0, 1, 300}, {1000, 0, 0, 1000.5}};
constexpr Range kVacSlow[] = {
    {0.1, -3, 3, 100}, {1, -3, 2, 1000}, {10, 0, 4, 10}, {100, 0, 3, 100}, {750, 0, 1, 750.05}};
constexpr Range kVacMedium[] = {
    {0.3, -3, 2, 300}, {3, 0, 4, 3}, {30, 0, 3, 30}, {300, 0, 2, 300}, {750, 0, 1, 750.05}};
constexpr Range kVacFast[] = {
    {0.3, -3, 1, 300}, {3, 0, 3, 3}, {30, 0, 2, 30}, {300, 0, 1, 300}, {750, 0, 0, 750.5}};
constexpr Range kAmpsSlow[] = {{0.01, -3, 4, 10}, {0.1, -3, 3, 100}, {10, 0, 4, 10}};
constexpr Range kAmpsMedium[] = {{0.03, -3, 3, 30}, {0.1, -3, 2, 100}, {10, 0, 3, 10}};
constexpr Range kAmpsFast[] = {{0.03, -3, 2, 30}, {0.1, -3, 1, 100}, {10, 0, 2, 10}};
constexpr Range kOhmsSlow[] = {{100, 0, 3, 100},  {1e3, 0, 2, 1000}, {1e4, 3, 4, 10}, {1e5, 3, 3, 100},
                               {1e6, 3, 2, 1000}, {1e7, 6, 4, 10},   {1e8, 6, 3, 100}};
constexpr Range kOhmsMedium[] = {{300, 0, 2, 300}, {3e3, 3, 4, 3},  {3e4, 3, 3, 30}, {3e5, 3, 2, 300},
                                 {3e6, 6, 4, 3},   {3e7, 6, 3, 30}, {3e8, 6, 2, 300}};
constexpr Range kOhmsFast[] = {{300, 0, 1, 300}, {3e3, 3, 3, 3},  {3e4, 3, 2, 30}, {3e5, 3, 1, 300},
                               {3e6, 6, 3, 3},   {3e7, 6, 2, 30}, {3e8, 6, 1, 300}};
constexpr Range kFrequency[] = {
    {1e3, 0, 2, 1000}, {1e4, 3, 3, 10}, {1e5, 3, 2, 100}, {1e6, 3, 1, 1000}, {1e7, 6, 3, 10}};
constexpr Range kDiodeSlowMedium[] = {{3, 0, 4, 3}};
constexpr Range kDiodeFast[] = {{3, 0, 3, 3}};
constexpr Range kContinuity[] = {{300, 0, 1, 300}};

struct RangeTable {
    const Range* begin;
    const Range* end;
    int count() const { return static_cast<int>(end - begin); }
};

template <std::size_t N>
RangeTable Table(const Range (&ranges)[N]) {
    return {ranges, ranges + N};
}

RangeTable RangesFor(FlukeFunction function, char rate) {
    const int r = rate == 'S' ? 0 : rate == 'M' ? 1 : 2;
    switch (function) {
    case FlukeFunction::VDC: return r == 0 ? Table(kVdcSlow) : r == 1 ? Table(kVdcMedium) : Table(kVdcFast);
    case FlukeFunction::VAC:
    case FlukeFunction::VACDC: return r == 0 ? Table(kVacSlow) : r == 1 ? Table(kVacMedium) : Table(kVacFast);
    case FlukeFunction::ADC:
    case FlukeFunction::AAC:
    case FlukeFunction::AACDC:
        return r == 0 ? Table(kAmpsSlow) : r == 1 ? Table(kAmpsMedium) : Table(kAmpsFast);
    case FlukeFunction::OHMS:
        return r == 0 ? Table(kOhmsSlow) : r == 1 ? Table(kOhmsMedium) : Table(kOhmsFast);
    case FlukeFunction::FREQ: return Table(kFrequency);
    case FlukeFunction::DIODE: return r == 2 ? Table(kDiodeFast) : Table(kDiodeSlowMedium);
    case FlukeFunction::CONT: return Table(kContinuity);
    }
    return Table(kVdcSlow);
}

// What the function reads with the bench's DC reference on the voltage input: the current
// input is open, a resistance measured across a source reads overload.
double QuantityFor(FlukeFunction function, double volts) {
    switch (function) {
    case FlukeFunction::VDC: return volts;
    case FlukeFunction::VACDC: return std::fabs(volts);
    case FlukeFunction::DIODE: return volts >= 0 ? volts : INFINITY;
    case FlukeFunction::OHMS:
    case FlukeFunction::CONT: return INFINITY;
    default: return 0.0;
    }
}

const char* UnitFor(FlukeFunction function) {
    switch (function) {
    case FlukeFunction::VAC:
    case FlukeFunction::VACDC: return "VAC";
    case FlukeFunction::ADC: return "ADC";
    case FlukeFunction::AAC:
    case FlukeFunction::AACDC: return "AAC";
    case FlukeFunction::OHMS: return "OHMS";
    case FlukeFunction::FREQ: return "HZ";
    default: return "VDC";
    }
}

// The value shown in range, or nothing when it does not fit.
std::optional<std::string> Shown(const Range& range, double quantity) {
    if (!std::isfinite(quantity)) return std::nullopt;
    const double factor = std::pow(10.0, range.decimals);
    double shown = std::round(quantity / std::pow(10.0, range.exponent) * factor) / factor;
    if (std::fabs(shown) >= range.limit) return std::nullopt;
    if (shown == 0.0) shown = 0.0;  // no "-0.000"
    char text[64];
    std::snprintf(text, sizeof text, "%+.*fE%+d", range.decimals, shown, range.exponent);
    return std::string(text);
}

// The range autoranging settles on for a quantity: the first it fits in, else the top one.
int SettledRange(const RangeTable& table, double quantity) {
    for (int i = 0; i < table.count(); ++i)
        if (Shown(table.begin[i], quantity)) return i + 1;
    return table.count();
}

struct FunctionName {
    const char* name;
    FlukeFunction function;
};
constexpr FunctionName kFunctions[] = {
    {"VDC", FlukeFunction::VDC},   {"VAC", FlukeFunction::VAC},   {"VACDC", FlukeFunction::VACDC},
    {"ADC", FlukeFunction::ADC},   {"AAC", FlukeFunction::AAC},   {"AACDC", FlukeFunction::AACDC},
    {"OHMS", FlukeFunction::OHMS}, {"FREQ", FlukeFunction::FREQ}, {"DIODE", FlukeFunction::DIODE},
    {"CONT", FlukeFunction::CONT},
};
// Functions the secondary display can show.
constexpr FunctionName kSecondaryFunctions[] = {
    {"VDC2", FlukeFunction::VDC}, {"VAC2", FlukeFunction::VAC},   {"ADC2", FlukeFunction::ADC},
    {"AAC2", FlukeFunction::AAC}, {"OHMS2", FlukeFunction::OHMS}, {"FREQ2", FlukeFunction::FREQ},
};

template <std::size_t N>
std::optional<FlukeFunction> Lookup(const FunctionName (&names)[N], const std::string& header) {
    for (const FunctionName& entry : names)
        if (header == entry.name) return entry.function;
    return std::nullopt;
}

// An integer argument in [low, high].
std::optional<int> IntegerArgument(const std::string& argument, int low, int high) {
    if (argument.empty() || argument.size() > 6 ||
        !std::all_of(argument.begin(), argument.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
        return std::nullopt;
    const int value = std::atoi(argument.c_str());
    if (value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

const char* FlukeFunctionName(FlukeFunction function) {
    for (const FunctionName& entry : kFunctions)
        if (entry.function == function) return entry.name;
    return "VDC";
}

std::string FlukeDcValue(double volts, char rate) {
    const RangeTable table = RangesFor(FlukeFunction::VDC, rate);
    const auto shown = Shown(table.begin[SettledRange(table, volts) - 1], volts);
    return shown ? *shown : kOverload;
}

Fluke45::Fluke45(std::function<double()> takeVolts, std::function<double()> nowMs)
    : m_takeVolts(std::move(takeVolts)), m_nowMs(std::move(nowMs)) {
    Reset();
}

void Fluke45::Reset() {
    m_primary = FlukeFunction::VDC;
    m_secondary.reset();
    m_autoRange = true;
    m_fixedRange = 1;
    m_rate = 'S';
    m_trigger = 1;
    m_format = 1;
    m_triggeredVolts.reset();
    m_displaySince = m_nowMs();
}

double Fluke45::PeriodMs() const { return m_rate == 'S' ? 400.0 : m_rate == 'M' ? 200.0 : 50.0; }

int Fluke45::StatusByte() const {
    int status = (m_esr & m_ese) != 0 ? 32 : 0;
    if ((status & m_sre) != 0) status |= 64;
    return status;
}

void Fluke45::SelectFunction(FlukeFunction function) {
    m_primary = function;
    m_autoRange = true;
    m_displaySince = m_nowMs();
}

// One prompt per command line, after any value lines; the first command it cannot take
// ends the line.
MeterReply Fluke45::HandleLine(std::string_view line) {
    MeterReply reply;
    std::string_view prompt = kFlukePromptOk;
    for (const std::string& command : SplitCommands(line)) {
        if (command.empty()) continue;
        const auto space = command.find_first_of(" \t");
        const Request request{command.substr(0, space),
                              space == std::string::npos ? std::string() : Trimmed(command.substr(space))};
        const Outcome outcome = Execute(request, reply);
        if (outcome == Outcome::Unknown) {
            m_esr |= kCommandError;
            prompt = kFlukePromptUnknown;
            break;
        }
        if (outcome == Outcome::CannotExecute) {
            m_esr |= kExecutionError;
            prompt = kFlukePromptCannotExecute;
            break;
        }
    }
    Answer(reply, prompt);
    return reply;
}

// clang-format off
const Fluke45::Command Fluke45::kCommands[] = {
    {"CLR2",     false, &Fluke45::ClearSecondary},
    {"FUNC1?",   false, &Fluke45::PrimaryFunctionQuery},
    {"FUNC2?",   false, &Fluke45::SecondaryFunctionQuery},
    {"MOD?",     false, &Fluke45::ModifierQuery},
    {"VAL?",     false, &Fluke45::ValueQuery},
    {"VAL1?",    false, &Fluke45::ValueQuery},
    {"VAL2?",    false, &Fluke45::ValueQuery},
    {"MEAS?",    false, &Fluke45::ValueQuery},
    {"MEAS1?",   false, &Fluke45::ValueQuery},
    {"MEAS2?",   false, &Fluke45::ValueQuery},
    {"AUTO",     false, &Fluke45::Autorange},
    {"AUTO?",    false, &Fluke45::AutoRangeQuery},
    {"FIXED",    false, &Fluke45::FixedRange},
    {"RANGE",    true,  &Fluke45::SelectRange},
    {"RANGE1?",  false, &Fluke45::PrimaryRangeQuery},
    {"RANGE2?",  false, &Fluke45::SecondaryRangeQuery},
    {"RATE",     true,  &Fluke45::Rate},
    {"RATE?",    false, &Fluke45::RateQuery},
    {"TRIGGER",  true,  &Fluke45::Trigger},
    {"TRIGGER?", false, &Fluke45::TriggerQuery},
    {"*TRG",     false, &Fluke45::BusTrigger},
    {"FORMAT",   true,  &Fluke45::Format},
    {"FORMAT?",  false, &Fluke45::FormatQuery},
    {"SERIAL?",  false, &Fluke45::SerialQuery},
    {"*IDN?",    false, &Fluke45::IdentityQuery},
    {"*RST",     false, &Fluke45::ResetCommand},
    {"*CLS",     false, &Fluke45::ClearStatus},
    {"*ESE",     true,  &Fluke45::EventEnable},
    {"*SRE",     true,  &Fluke45::ServiceRequestEnable},
    {"*ESE?",    false, &Fluke45::EventEnableQuery},
    {"*SRE?",    false, &Fluke45::ServiceRequestEnableQuery},
    {"*ESR?",    false, &Fluke45::EventStatusQuery},
    {"*STB?",    false, &Fluke45::StatusByteQuery},
    {"*OPC",     false, &Fluke45::OperationComplete},
    {"*OPC?",    false, &Fluke45::OperationCompleteQuery},
    {"*WAI",     false, &Fluke45::NoEffect},
    {"REMS",     false, &Fluke45::NoEffect},
    {"RWLS",     false, &Fluke45::NoEffect},
    {"LOCS",     false, &Fluke45::NoEffect},
    {"LWLS",     false, &Fluke45::NoEffect},
};
// clang-format on

const Fluke45::Command* Fluke45::FindCommand(std::string_view header) {
    for (const Command& command : kCommands)
        if (command.header == header) return &command;
    return nullptr;
}

// The command table first, then the function names; only the commands that take an
// argument may have one.
Fluke45::Outcome Fluke45::Execute(const Request& request, MeterReply& reply) {
    const Command* command = FindCommand(request.header);
    if (!request.argument.empty() && !(command && command->takesArgument)) return Outcome::Unknown;
    if (command) return (this->*command->handler)(request, reply);
    if (const auto function = Lookup(kFunctions, request.header)) {
        SelectFunction(*function);
        return Outcome::Ok;
    }
    if (const auto function = Lookup(kSecondaryFunctions, request.header)) {
        m_secondary = *function;
        return Outcome::Ok;
    }
    return Outcome::Unknown;
}

Fluke45::Outcome Fluke45::ClearSecondary(const Request&, MeterReply&) {
    m_secondary.reset();
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::PrimaryFunctionQuery(const Request&, MeterReply& reply) {
    Answer(reply, FlukeFunctionName(m_primary));
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::SecondaryFunctionQuery(const Request&, MeterReply& reply) {
    if (!m_secondary) return Outcome::CannotExecute;
    Answer(reply, FlukeFunctionName(*m_secondary));
    return Outcome::Ok;
}

// No modifier (MN MX, HOLD, dB, REL, COMP) is emulated.
Fluke45::Outcome Fluke45::ModifierQuery(const Request&, MeterReply& reply) {
    Answer(reply, "0");
    return Outcome::Ok;
}

// VAL?, VAL1?, VAL2?, MEAS?, MEAS1?, MEAS2?: the digit names the display, MEAS waits.
Fluke45::Outcome Fluke45::ValueQuery(const Request& request, MeterReply& reply) {
    const std::string& header = request.header;
    const char digit = header[header.size() - 2];
    const int display = digit == '1' || digit == '2' ? digit - '0' : 0;
    return Reading(display, header[0] == 'M', reply);
}

Fluke45::Outcome Fluke45::Autorange(const Request&, MeterReply&) {
    if (!m_autoRange) m_displaySince = m_nowMs();
    m_autoRange = true;
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::AutoRangeQuery(const Request&, MeterReply& reply) {
    Answer(reply, m_autoRange ? "1" : "0");
    return Outcome::Ok;
}

// Holds the range autoranging has settled on.
Fluke45::Outcome Fluke45::FixedRange(const Request&, MeterReply&) {
    if (m_autoRange)
        m_fixedRange = SettledRange(RangesFor(m_primary, m_rate), QuantityFor(m_primary, m_takeVolts()));
    m_autoRange = false;
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::SelectRange(const Request& request, MeterReply&) {
    const auto range = IntegerArgument(request.argument, 1, RangesFor(m_primary, m_rate).count());
    if (!range) return Outcome::CannotExecute;
    m_fixedRange = *range;
    m_autoRange = false;
    m_displaySince = m_nowMs();
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::PrimaryRangeQuery(const Request&, MeterReply& reply) {
    const RangeTable table = RangesFor(m_primary, m_rate);
    const int range = m_autoRange ? SettledRange(table, QuantityFor(m_primary, m_takeVolts())) : m_fixedRange;
    Answer(reply, std::to_string(range));
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::SecondaryRangeQuery(const Request&, MeterReply& reply) {
    if (!m_secondary) return Outcome::CannotExecute;
    const RangeTable table = RangesFor(*m_secondary, m_rate);
    Answer(reply, std::to_string(SettledRange(table, QuantityFor(*m_secondary, m_takeVolts()))));
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::Rate(const Request& request, MeterReply&) {
    const std::string rate = Upper(request.argument);
    if (rate != "S" && rate != "M" && rate != "F") return Outcome::CannotExecute;
    m_rate = rate[0];
    m_fixedRange = std::min(m_fixedRange, RangesFor(m_primary, m_rate).count());
    m_displaySince = m_nowMs();
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::RateQuery(const Request&, MeterReply& reply) {
    Answer(reply, std::string(1, m_rate));
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::Trigger(const Request& request, MeterReply&) {
    const auto type = IntegerArgument(request.argument, 1, 5);
    if (!type) return Outcome::CannotExecute;
    m_trigger = *type;
    m_triggeredVolts.reset();
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::TriggerQuery(const Request&, MeterReply& reply) {
    Answer(reply, std::to_string(m_trigger));
    return Outcome::Ok;
}

// Only an external trigger type waits for *TRG.
Fluke45::Outcome Fluke45::BusTrigger(const Request&, MeterReply&) {
    if (m_trigger == 1) return Outcome::CannotExecute;
    m_triggeredVolts = m_takeVolts();
    m_displaySince = m_nowMs();
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::Format(const Request& request, MeterReply&) {
    const auto format = IntegerArgument(request.argument, 1, 2);
    if (!format) return Outcome::CannotExecute;
    m_format = *format;
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::FormatQuery(const Request&, MeterReply& reply) {
    Answer(reply, std::to_string(m_format));
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::SerialQuery(const Request&, MeterReply& reply) {
    Answer(reply, kSerialNumber);
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::IdentityQuery(const Request&, MeterReply& reply) {
    Answer(reply, kIdentity);
    return Outcome::Ok;
}

// Power-up state; the status registers are kept.
Fluke45::Outcome Fluke45::ResetCommand(const Request&, MeterReply&) {
    Reset();
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::ClearStatus(const Request&, MeterReply&) {
    m_esr = 0;
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::EventEnable(const Request& request, MeterReply&) {
    const auto value = IntegerArgument(request.argument, 0, 255);
    if (!value) return Outcome::CannotExecute;
    m_ese = *value;
    return Outcome::Ok;
}

// Bit 6 is the master summary; the enable register ignores it.
Fluke45::Outcome Fluke45::ServiceRequestEnable(const Request& request, MeterReply&) {
    const auto value = IntegerArgument(request.argument, 0, 255);
    if (!value) return Outcome::CannotExecute;
    m_sre = *value & ~64;
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::EventEnableQuery(const Request&, MeterReply& reply) {
    Answer(reply, std::to_string(m_ese));
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::ServiceRequestEnableQuery(const Request&, MeterReply& reply) {
    Answer(reply, std::to_string(m_sre));
    return Outcome::Ok;
}

// Reading the event register clears it.
Fluke45::Outcome Fluke45::EventStatusQuery(const Request&, MeterReply& reply) {
    Answer(reply, std::to_string(m_esr));
    m_esr = 0;
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::StatusByteQuery(const Request&, MeterReply& reply) {
    Answer(reply, std::to_string(StatusByte()));
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::OperationComplete(const Request&, MeterReply&) {
    m_esr |= kOperationComplete;
    return Outcome::Ok;
}

Fluke45::Outcome Fluke45::OperationCompleteQuery(const Request&, MeterReply& reply) {
    Answer(reply, "1");
    return Outcome::Ok;
}

// Accepted and without effect over RS-232 (*WAI, and the remote/local configurations).
Fluke45::Outcome Fluke45::NoEffect(const Request&, MeterReply&) { return Outcome::Ok; }

// display 0: both displays in use (or the primary alone), 1 primary, 2 secondary. VAL
// answers with the reading on the display, MEAS waits for the next one.
Fluke45::Outcome Fluke45::Reading(int display, bool waitForNext, MeterReply& reply) {
    if (display == 2 && !m_secondary) return Outcome::CannotExecute;
    const double now = m_nowMs();
    const double period = PeriodMs();
    double volts = 0;
    double readyAt = now;
    if (m_trigger == 1) {
        const double firstReading = m_displaySince + period;
        if (now < firstReading) {
            readyAt = firstReading;  // the display is blank until its first reading
        } else if (waitForNext) {
            readyAt = now + (period - std::fmod(now - m_displaySince, period));
        }
        volts = m_takeVolts();
    } else {
        // External trigger: only a *TRG brings a reading to the display.
        if (!m_triggeredVolts) return Outcome::CannotExecute;
        readyAt = std::max(now, m_displaySince + period);
        volts = *m_triggeredVolts;
    }
    Answer(reply, Values(display, volts));
    reply.carriesValue = true;
    reply.measureMs = std::max(reply.measureMs, readyAt - now);
    return Outcome::Ok;
}

// The displays' values, comma-separated; format 2 adds each one's unit.
std::string Fluke45::Values(int display, double volts) const {
    std::string values;
    const auto add = [&](FlukeFunction function, bool primary) {
        if (!values.empty()) values += m_format == 2 ? ", " : ",";
        values += DisplayValue(function, primary, volts);
        if (m_format == 2) values += std::string(" ") + UnitFor(function);
    };
    if (display != 2) add(m_primary, true);
    if (display == 2 || (display == 0 && m_secondary)) add(*m_secondary, false);
    return values;
}

std::string Fluke45::DisplayValue(FlukeFunction function, bool primary, double volts) const {
    const RangeTable table = RangesFor(function, m_rate);
    const double quantity = QuantityFor(function, volts);
    const int range = primary && !m_autoRange ? m_fixedRange : SettledRange(table, quantity);
    const auto shown = Shown(table.begin[range - 1], quantity);
    return shown ? *shown : kOverload;
}

}  // namespace vantrel::metersim
