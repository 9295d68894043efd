#pragma once
// The HP 34401A's SCPI command set over RS-232, for DC and AC volts: the measurement
// configuration, triggering and reading memory, the error queue and the status registers.

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "MeterText.h"
#include "Scpi.h"

namespace vantrel::metersim {

class Hp34401A {
public:
    Hp34401A(std::function<double()> takeVolts, std::function<double()> nowMs);

    // One program message, without its LF.
    MeterReply HandleLine(std::string_view line);

    // The time one reading takes with the present settings.
    double MeasurementMs() const;

private:
    enum class Source { Immediate, Bus, External };
    using Handler = void (Hp34401A::*)(const scpi::Unit&, MeterReply&);
    // A header (a pattern, or a common command's name), how many parameters it takes, and
    // the handler that runs once the count is right.
    struct Command {
        const char* header;
        std::size_t leastParameters;
        std::size_t mostParameters;
        Handler handler;
    };
    static const Command kCommands[];
    static const Command kCommonCommands[];

    void Execute(const std::vector<std::string>& nodes, const scpi::Unit& unit, MeterReply& reply);
    void ExecuteCommon(const std::string& header, const scpi::Unit& unit, MeterReply& reply);
    void Run(const Command& command, const scpi::Unit& unit, MeterReply& reply);

    // One handler per command, in the order of the command tables.
    void MeasureDc(const scpi::Unit& unit, MeterReply& reply);
    void MeasureAc(const scpi::Unit& unit, MeterReply& reply);
    void ConfigureDc(const scpi::Unit& unit, MeterReply&);
    void ConfigureAc(const scpi::Unit& unit, MeterReply&);
    void ConfigureQuery(const scpi::Unit&, MeterReply& reply);
    void Read(const scpi::Unit&, MeterReply& reply);
    void FetchQuery(const scpi::Unit&, MeterReply& reply);
    void InitiateCommand(const scpi::Unit&, MeterReply&);
    void Abort(const scpi::Unit&, MeterReply&);
    void Function(const scpi::Unit& unit, MeterReply&);
    void FunctionQuery(const scpi::Unit&, MeterReply& reply);
    void IntegrationTime(const scpi::Unit& unit, MeterReply&);
    void IntegrationTimeQuery(const scpi::Unit&, MeterReply& reply);
    void Range(const scpi::Unit& unit, MeterReply&);
    void RangeQuery(const scpi::Unit&, MeterReply& reply);
    void AutoRange(const scpi::Unit& unit, MeterReply&);
    void AutoRangeQuery(const scpi::Unit&, MeterReply& reply);
    void AutoZero(const scpi::Unit& unit, MeterReply&);
    void AutoZeroQuery(const scpi::Unit&, MeterReply& reply);
    void TriggerSource(const scpi::Unit& unit, MeterReply&);
    void TriggerSourceQuery(const scpi::Unit&, MeterReply& reply);
    void SampleCount(const scpi::Unit& unit, MeterReply&);
    void SampleCountQuery(const scpi::Unit&, MeterReply& reply);
    void ErrorQuery(const scpi::Unit&, MeterReply& reply);
    void VersionQuery(const scpi::Unit&, MeterReply& reply);
    void NoEffect(const scpi::Unit&, MeterReply&);
    void ResetCommand(const scpi::Unit&, MeterReply&);
    void ClearStatus(const scpi::Unit&, MeterReply&);
    void IdentityQuery(const scpi::Unit&, MeterReply& reply);
    void OperationCompleteQuery(const scpi::Unit&, MeterReply& reply);
    void OperationComplete(const scpi::Unit&, MeterReply&);
    void EventStatusQuery(const scpi::Unit&, MeterReply& reply);
    void EventEnableQuery(const scpi::Unit&, MeterReply& reply);
    void ServiceRequestEnableQuery(const scpi::Unit&, MeterReply& reply);
    void StatusByteQuery(const scpi::Unit&, MeterReply& reply);
    void EventEnable(const scpi::Unit& unit, MeterReply&);
    void ServiceRequestEnable(const scpi::Unit& unit, MeterReply&);
    void BusTrigger(const scpi::Unit&, MeterReply&);

    void SetRegister(int& enableRegister, const std::string& parameter);
    void SetOnOff(bool& setting, const std::string& parameter);
    bool Configure(bool ac, const std::vector<std::string>& parameters);
    void Initiate();
    void Fetch(MeterReply& reply);
    void Reset();
    void QueueError(int code);
    std::string Reading(double volts) const;
    bool CheckParameterCount(const scpi::Unit& unit, std::size_t least, std::size_t most);

    std::function<double()> m_takeVolts;
    std::function<double()> m_nowMs;
    bool m_ac = false;
    bool m_autoRange = true;
    double m_range = 10.0;
    double m_nplc = 10.0;
    bool m_autoZero = true;
    Source m_source = Source::Immediate;
    int m_sampleCount = 1;
    std::vector<double> m_memory;  // readings of the last INIT
    double m_readyAt = 0;          // when the last of them is taken
    bool m_waitingForTrigger = false;
    std::deque<int> m_errors;
    int m_esr = 0;
    int m_ese = 0;
    int m_sre = 0;
};

// The meter's text for an error code, e.g. -113 -> "Undefined header".
const char* Hp34401AErrorText(int code);

// A reading as the meter prints it, e.g. "-1.23456789E-01"; beyond the top range's reach,
// the overload value.
std::string FormatHp34401AValue(double volts);

}  // namespace vantrel::metersim
