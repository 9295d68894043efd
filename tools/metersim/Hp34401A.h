// The HP 34401A's SCPI command set over RS-232, for DC and AC volts: the measurement
// configuration, triggering and reading memory, the error queue and the status registers.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "MeterText.h"
#include "Scpi.h"

namespace metersim {

class Hp34401A {
public:
    Hp34401A(std::function<double()> takeVolts, std::function<double()> nowMs);

    // One program message, without its LF.
    MeterReply HandleLine(std::string_view line);

    // The time one reading takes with the present settings.
    double MeasurementMs() const;

private:
    enum class Source { Immediate, Bus, External };

    void Execute(const std::vector<std::string>& nodes, const scpi::Unit& unit, MeterReply& reply);
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

}  // namespace metersim
