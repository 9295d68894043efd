// The Fluke 45's command set over RS-232: the state its commands change (functions, range,
// rate, trigger, output format, status registers) and the reply each command line gets.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "MeterText.h"

namespace metersim {

enum class FlukeFunction { VDC, VAC, VACDC, ADC, AAC, AACDC, OHMS, FREQ, DIODE, CONT };

class Fluke45 {
public:
    // takeVolts: the voltage at the input terminals now; nowMs: the meter's clock.
    Fluke45(std::function<double()> takeVolts, std::function<double()> nowMs);

    MeterReply HandleLine(std::string_view line);

private:
    enum class Outcome { Ok, Unknown, CannotExecute };

    Outcome Execute(const std::string& header, const std::string& argument, MeterReply& reply);
    Outcome Reading(int display, bool waitForNext, MeterReply& reply);
    std::string DisplayValue(FlukeFunction function, bool primary, double volts);
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

}  // namespace metersim
