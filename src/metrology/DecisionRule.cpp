#include "metrology/DecisionRule.h"

#include <cmath>

namespace vantrel::metrology {

namespace {

struct RuleRow {
    DecisionRule rule;
    const char* name;
    const char* statement;
};
constexpr RuleRow kRules[] = {
    {DecisionRule::SimpleAcceptance, "simple acceptance",
     "Simple acceptance: a value inside its tolerance window passes, any other fails; the "
     "uncertainty is stated but not deducted."},
    {DecisionRule::GuardBand, "guard band",
     "Guard band w = U: a value inside its tolerance window narrowed by U at each limit passes; "
     "a value inside the window but within U of a limit is a conditional pass; a value outside "
     "the window fails."},
};

struct ConformityRow {
    Conformity conformity;
    const char* name;
};
constexpr ConformityRow kConformities[] = {
    {Conformity::Pass, "pass"},
    {Conformity::ConditionalPass, "conditional pass"},
    {Conformity::Fail, "fail"},
};

bool Inside(double value, std::optional<double> low, double high) {
    return (!low || value >= *low) && value <= high;
}

}  // namespace

const char* DecisionRuleName(DecisionRule rule) {
    for (const auto& row : kRules)
        if (row.rule == rule) return row.name;
    return "?";
}

bool ParseDecisionRule(std::string_view name, DecisionRule& rule) {
    for (const auto& row : kRules) {
        if (name != row.name) continue;
        rule = row.rule;
        return true;
    }
    return false;
}

const char* DecisionRuleStatement(DecisionRule rule) {
    for (const auto& row : kRules)
        if (row.rule == rule) return row.statement;
    return "?";
}

const char* ConformityName(Conformity conformity) {
    for (const auto& row : kConformities)
        if (row.conformity == conformity) return row.name;
    return "?";
}

Conformity Decide(double value, const ToleranceLimits& limits, double expanded, DecisionRule rule) {
    if (std::isnan(value) || !Inside(value, limits.low, limits.high)) return Conformity::Fail;
    if (rule == DecisionRule::SimpleAcceptance) return Conformity::Pass;
    // An uncertainty that is not a finite non-negative number guards nothing: conditional.
    if (!(expanded >= 0.0) || !std::isfinite(expanded)) return Conformity::ConditionalPass;
    const std::optional<double> acceptLow = limits.low ? std::optional(*limits.low + expanded) : std::nullopt;
    return Inside(value, acceptLow, limits.high - expanded) ? Conformity::Pass : Conformity::ConditionalPass;
}

}  // namespace vantrel::metrology
