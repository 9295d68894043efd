#pragma once
// The bench's metrology settings, in the records settings file "vantrel-records.ini":
//
//   [metrology]
//   instruments=instruments.ini    the register of reference meters (relative to the bench
//                                  folder); without it no meter is checked
//   decision_rule=guard band       "simple acceptance" (the default) or "guard band"
//   meter_serial=4571234           the serial number of the reference meter on this bench
//   ambient_temperature=23.0       the bench's ambient temperature in degrees Celsius, for
//                                  the certificate's conditions; shown only when given

#include "metrology/DecisionRule.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace vantrel::metrology {

struct MetrologySettings {
    std::optional<std::string> registerPath;
    DecisionRule decisionRule = DecisionRule::SimpleAcceptance;
    std::string meterSerial;  // empty when the bench names no meter
    std::optional<double> ambientCelsius;
};

class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The settings of a bench folder; a missing file or group gives the defaults. Throws
// SettingsError for a decision rule it does not know or a temperature that is not a number.
MetrologySettings LoadMetrologySettings(const std::string& benchFolder);

}  // namespace vantrel::metrology
