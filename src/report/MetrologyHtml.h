#pragma once
// The certificate's metrology fragments: the uncertainty budget of a reference channel and
// the statement of conformity under the bench's decision rule, as HTML to place in a
// certificate. Uncertainties are shown in microvolts.

#include "metrology/DecisionRule.h"
#include "metrology/UncertaintyBudget.h"

#include <string>
#include <vector>

namespace vantrel::report {

// A microvolt figure with three decimals, as the fragments show it.
std::string Microvolts(double volts);

// The budget of one channel: each term with its distribution, half-width, divisor and
// standard uncertainty, then the combined and the expanded uncertainty.
std::string BudgetTableHtml(int channel, const metrology::UncertaintyBudget& budget);

// What the statement of conformity judges for one channel.
struct ChannelStatement {
    int channel = 0;
    double value = 0.0;  // as the window judges it: the absolute reading, volts
    metrology::ToleranceLimits limits;
    double expanded = 0.0;  // U, volts
};

// The decision rule in words and, per channel, the value, its window, U and the statement.
std::string ConformityStatementHtml(metrology::DecisionRule rule,
                                    const std::vector<ChannelStatement>& channels);

}  // namespace vantrel::report
