#pragma once
// The Fluke 45's command set over RS-232: the state its commands change (functions, range,
// rate, trigger, output format, status registers) and the reply each command line gets.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "MeterText.h"

namespace vantrel::metersim {

enum class FlukeFunction { VDC, VAC, VACDC, ADC, AAC, AACDC, OHMS, FREQ, DIODE, CONT };

// The prompt line that follows every command line: all went well, a command the meter does
// not understand, a command it cannot execute now.
inline constexpr std::string_view kFlukePromptOk = "=>";
inline constexpr std::string_view kFlukePromptUnknown = "?>";
inline constexpr std::string_view kFlukePromptCannotExecute = "!>";

class Fluke45 {
public:
    // takeVolts: the voltage at the input terminals now; nowMs: the meter's clock.
    Fluke45(std::function<double()> takeVolts, std::function<double()> nowMs);

    MeterReply HandleLine(std::string_view line);

private:
    enum class Outcome { Ok, Unknown, CannotExecute };
    // One command of a line: its header in upper case, and what follows it.
    struct Request {
        std::string header;
        std::string argument;
    };
    using Handler = Outcome (Fluke45::*)(const Request&, MeterReply&);
    struct Command {
        std::string_view header;
        bool takesArgument;
        Handler handler;
    };
    static const Command kCommands[];

    Outcome Execute(const Request& request, MeterReply& reply);
    static const Command* FindCommand(std::string_view header);

    // One handler per command, in the order of the command table.
    Outcome ClearSecondary(const Request&, MeterReply&);
    Outcome PrimaryFunctionQuery(const Request&, MeterReply&);
    Outcome SecondaryFunctionQuery(const Request&, MeterReply&);
    Outcome ModifierQuery(const Request&, MeterReply&);
    Outcome ValueQuery(const Request& request, MeterReply& reply);
    Outcome Autorange(const Request&, MeterReply&);
    Outcome AutoRangeQuery(const Request&, MeterReply&);
    Outcome FixedRange(const Request&, MeterReply&);
    Outcome SelectRange(const Request& request, MeterReply&);
    Outcome PrimaryRangeQuery(const Request&, MeterReply&);
    Outcome SecondaryRangeQuery(const Request&, MeterReply&);
    Outcome Rate(const Request& request, MeterReply&);
    Outcome RateQuery(const Request&, MeterReply&);
    Outcome Trigger(const Request& request, MeterReply&);
    Outcome TriggerQuery(const Request&, MeterReply&);
    Outcome BusTrigger(const Request&, MeterReply&);
    Outcome Format(const Request& request, MeterReply&);
    Outcome FormatQuery(const Request&, MeterReply&);
    Outcome SerialQuery(const Request&, MeterReply&);
    Outcome IdentityQuery(const Request&, MeterReply&);
    Outcome ResetCommand(const Request&, MeterReply&);
    Outcome ClearStatus(const Request&, MeterReply&);
    Outcome EventEnable(const Request& request, MeterReply&);
    Outcome ServiceRequestEnable(const Request& request, MeterReply&);
    Outcome EventEnableQuery(const Request&, MeterReply&);
    Outcome ServiceRequestEnableQuery(const Request&, MeterReply&);
    Outcome EventStatusQuery(const Request&, MeterReply&);
    Outcome StatusByteQuery(const Request&, MeterReply&);
    Outcome OperationComplete(const Request&, MeterReply&);
    Outcome OperationCompleteQuery(const Request&, MeterReply&);
    Outcome NoEffect(const Request&, MeterReply&);

    Outcome Reading(int display, bool waitForNext, MeterReply& reply);
    std::string Values(int display, double volts) const;
    std::string DisplayValue(FlukeFunction function, bool primary, double volts) const;
    void SelectFunction(FlukeFunction function);
    void Reset();
    double PeriodMs() const;
    int StatusByte() const;

    std::function<double()> m_takeVolts;
    std::function<double()> m_nowMs;
    FlukeFunction m_primary = FlukeFunction::VDC;
    std::optional<FlukeFunction> m_secondary;
    bool m_autoRange = true;
    int m_fixedRange = 1;  // 1-based, used while m_autoRange is off
    int m_lastRange = 1;   // the range the last reading used
    char m_rate = 'S';
    int m_trigger = 1;  // 1 internal, 2-5 external
    int m_format = 1;
    double m_displaySince = 0;  // the display shows readings from this time on
    std::optional<double> m_triggeredVolts;
    int m_esr = 0;
    int m_ese = 0;
    int m_sre = 0;
};

// A DC voltage as the autoranging display shows it at a rate ('S', 'M' or 'F').
std::string FlukeDcValue(double volts, char rate);

// "VDC" etc., as FUNC1? answers.
const char* FlukeFunctionName(FlukeFunction function);

}  // namespace vantrel::metersim
