#pragma once
// The bench's metrology settings, in the records settings file "vantrel-records.ini":
//
//   [metrology]
//   instruments=instruments.ini    the register of reference meters (relative to the bench
//                                  folder); without it no meter is checked
//   decision_rule=guard band       "simple acceptance" (the default) or "guard band"

#include "metrology/DecisionRule.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace vantrel::metrology {

struct MetrologySettings {
    std::optional<std::string> registerPath;
    DecisionRule decisionRule = DecisionRule::SimpleAcceptance;
};

class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The settings of a bench folder; a missing file or group gives the defaults. Throws
// SettingsError for a decision rule it does not know.
MetrologySettings LoadMetrologySettings(const std::string& benchFolder);

}  // namespace vantrel::metrology
