#pragma once
// The statement of conformity of one reference against its tolerance window, under the
// decision rule the bench chose. Simple acceptance accepts any value inside the window. The
// guard band narrows the window by U at each limit it has: inside the narrowed window is a
// pass, between it and the window a conditional pass (the true value may lie outside), and
// outside the window a fail, as the window itself judges it.

#include <optional>
#include <string_view>

namespace vantrel::metrology {

enum class DecisionRule { SimpleAcceptance, GuardBand };
const char* DecisionRuleName(DecisionRule rule);
bool ParseDecisionRule(std::string_view name, DecisionRule& rule);
// One sentence for the certificate: what the rule accepts.
const char* DecisionRuleStatement(DecisionRule rule);

enum class Conformity { Pass, ConditionalPass, Fail };
const char* ConformityName(Conformity conformity);

// Both limits inclusive; a window may have no lower limit.
struct ToleranceLimits {
    std::optional<double> low;
    double high = 0.0;
};

// The conformity of a value (already as the window judges it: the absolute reading) with
// expanded uncertainty U; a value that is not a number fails.
Conformity Decide(double value, const ToleranceLimits& limits, double expanded, DecisionRule rule);

}  // namespace vantrel::metrology
