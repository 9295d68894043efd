#include "report/MetrologyHtml.h"

#include "report/HtmlText.h"

#include <cstdio>
#include <sstream>

namespace vantrel::report {

namespace {

using namespace vantrel::metrology;

constexpr double kMicrovoltsPerVolt = 1e6;

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string RangeText(double volts) {
    std::ostringstream text;
    text << volts;
    return text.str();
}

std::string WindowText(const ToleranceLimits& limits) {
    if (!limits.low) return "up to " + Fixed(limits.high, 6);
    return Fixed(*limits.low, 6) + " to " + Fixed(limits.high, 6);
}

// The class of a statement's row: its name with blanks as dashes.
std::string RowClass(Conformity conformity) {
    std::string name = ConformityName(conformity);
    for (char& c : name)
        if (c == ' ') c = '-';
    return name;
}

}  // namespace

std::string Microvolts(double volts) { return Fixed(volts * kMicrovoltsPerVolt, 3); }

std::string BudgetTableHtml(int channel, const UncertaintyBudget& budget) {
    std::ostringstream out;
    const std::string ch = std::to_string(channel);
    out << "<table class=\"budget\" id=\"budget-ch" << ch << "\">\n<caption>Channel " << ch << ": "
        << Fixed(budget.reading, 6) << " V read on the " << RangeText(budget.range.range)
        << " V range</caption>\n"
        << "<thead><tr><th>Term</th><th>Distribution</th><th>Half-width (&micro;V)</th><th>Divisor</th>"
           "<th>Standard uncertainty (&micro;V)</th></tr></thead>\n<tbody>\n";
    for (const BudgetTerm& term : budget.terms)
        out << "<tr><td>" << Html(TermName(term.kind)) << "</td><td>"
            << Html(DistributionName(term.distribution)) << "</td><td>" << Microvolts(term.halfWidth)
            << "</td><td>" << Fixed(term.divisor, 4) << "</td><td>" << Microvolts(term.standardUncertainty)
            << "</td></tr>\n";
    out << "</tbody>\n<tfoot>\n"
        << "<tr class=\"combined\"><th colspan=\"4\">Combined standard uncertainty</th><td>"
        << Microvolts(budget.combined) << "</td></tr>\n"
        << "<tr class=\"expanded\"><th colspan=\"4\">Expanded uncertainty U (k = "
        << Fixed(budget.coverageFactor, 0) << ")</th><td>" << Microvolts(budget.expanded) << "</td></tr>\n"
        << "</tfoot>\n</table>\n";
    return out.str();
}

std::string ConformityStatementHtml(DecisionRule rule, const std::vector<ChannelStatement>& channels) {
    std::ostringstream out;
    out << "<div class=\"conformity\">\n<h2>Statement of conformity</h2>\n<p class=\"decision-rule\">"
        << "Decision rule: " << Html(DecisionRuleName(rule)) << ". " << Html(DecisionRuleStatement(rule))
        << "</p>\n<table class=\"conformity\">\n"
        << "<thead><tr><th>Channel</th><th>Value (V)</th><th>Tolerance window (V)</th>"
           "<th>U (&micro;V)</th><th>Statement</th></tr></thead>\n<tbody>\n";
    for (const ChannelStatement& c : channels) {
        const Conformity conformity = Decide(c.value, c.limits, c.expanded, rule);
        out << "<tr class=\"" << RowClass(conformity) << "\"><td>" << c.channel << "</td><td>"
            << Fixed(c.value, 6) << "</td><td>" << WindowText(c.limits) << "</td><td>"
            << Microvolts(c.expanded) << "</td><td>" << Html(ConformityName(conformity)) << "</td></tr>\n";
    }
    out << "</tbody>\n</table>\n</div>\n";
    return out.str();
}

}  // namespace vantrel::report
