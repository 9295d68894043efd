// The certificate's budget table and statement of conformity, read back by readers of their
// own: libxml2's HTML parser (xmllint) must find nothing malformed, and Python's HTML parser
// reads the cells, whose figures are compared with the values they were made from.
#include "RecordsTestSupport.h"

#include "metrology/UncertaintyBudget.h"
#include "report/MetrologyHtml.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

using namespace vantrel::metrology;
using recordstest::RunShell;
using recordstest::ShellQuoted;
using vantrel::report::ChannelStatement;

constexpr double kMicrovolt = 1e-6;
// The fragments show microvolts with three decimals.
constexpr double kShownHalfStep = 0.0005 * kMicrovolt;

// Reads the fragment as a browser would; fails the test when libxml2 finds it malformed.
nlohmann::json ReadBack(const std::string& fragment) {
    recordstest::TempDir dir;
    const std::string file = dir / "fragment.html";
    recordstest::WriteFile(
        file, "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>t</title></head><body>\n" +
                  fragment + "</body></html>\n");
    const auto lint = RunShell("xmllint --html --noout " + ShellQuoted(file));
    EXPECT_EQ(lint.exitCode, 0) << lint.err;
    EXPECT_EQ(lint.err, "") << fragment;
    const auto read = RunShell("python3 " + ShellQuoted(VANTREL_READ_TABLES) + " " + ShellQuoted(file));
    EXPECT_EQ(read.exitCode, 0) << read.err;
    return nlohmann::json::parse(read.out);
}

double Volts(const nlohmann::json& microvoltCell) {
    return std::strtod(microvoltCell.get<std::string>().c_str(), nullptr) * kMicrovolt;
}

TEST(MetrologyHtml, TheBudgetTableShowsEveryTermAsTheBudgetHoldsIt) {
    const InstrumentRegister reg = LoadRegister(VANTREL_EXAMPLE_REGISTER);
    for (const ReferenceMeter& meter : reg.meters) {
        SCOPED_TRACE(MeterModelName(meter.model));
        const auto budget = MakeBudget(meter, 4.9962);
        ASSERT_TRUE(budget);
        const auto page = ReadBack(vantrel::report::BudgetTableHtml(3, *budget));
        ASSERT_EQ(page["tables"].size(), 1u);
        const auto& table = page["tables"][0];
        EXPECT_EQ(table["id"], "budget-ch3");
        EXPECT_EQ(table["caption"], "Channel 3: 4.996200 V read on the 10 V range");
        const auto& rows = table["rows"];
        ASSERT_EQ(rows.size(), budget->terms.size() + 3);  // header, terms, combined, expanded
        EXPECT_EQ(rows[0]["cells"][2], "Half-width (\u00b5V)");
        EXPECT_EQ(rows[0]["cells"][4], "Standard uncertainty (\u00b5V)");
        for (std::size_t i = 0; i < budget->terms.size(); ++i) {
            const BudgetTerm& term = budget->terms[i];
            const auto& cells = rows[i + 1]["cells"];
            SCOPED_TRACE(TermName(term.kind));
            ASSERT_EQ(cells.size(), 5u);
            EXPECT_EQ(cells[0], TermName(term.kind));
            EXPECT_EQ(cells[1], "rectangular");
            EXPECT_NEAR(Volts(cells[2]), term.halfWidth, kShownHalfStep);
            EXPECT_NEAR(std::strtod(cells[3].get<std::string>().c_str(), nullptr), term.divisor, 0.00005);
            EXPECT_NEAR(Volts(cells[4]), term.standardUncertainty, kShownHalfStep);
        }
        const auto& combined = rows[budget->terms.size() + 1]["cells"];
        const auto& expanded = rows[budget->terms.size() + 2]["cells"];
        EXPECT_EQ(combined[0], "Combined standard uncertainty");
        EXPECT_NEAR(Volts(combined[1]), budget->combined, kShownHalfStep);
        EXPECT_EQ(expanded[0], "Expanded uncertainty U (k = 2)");
        EXPECT_NEAR(Volts(expanded[1]), budget->expanded, kShownHalfStep);
    }
}

TEST(MetrologyHtml, TheStatementOfConformityFollowsTheChosenRule) {
    const ToleranceLimits ch1{2.1, 2.9};
    const std::vector<ChannelStatement> channels = {
        {0, 4.9962, {4.5, 5.2}, 0.002},
        {1, 2.8995, ch1, 0.001},                    // inside the window, within U of its top
        {2, 1.6, {1.0, 1.5}, 0.0002},               // outside
        {4, 0.49999, {std::nullopt, 0.5}, 0.0001},  // no lower limit, within U of the top
    };
    struct Case {
        DecisionRule rule;
        const char* ruleText;
        std::vector<std::string> statements;
        std::vector<std::string> rowClasses;
    } cases[] = {
        {DecisionRule::SimpleAcceptance,
         "Decision rule: simple acceptance. ",
         {"pass", "pass", "fail", "pass"},
         {"pass", "pass", "fail", "pass"}},
        {DecisionRule::GuardBand,
         "Decision rule: guard band. ",
         {"pass", "conditional pass", "fail", "conditional pass"},
         {"pass", "conditional-pass", "fail", "conditional-pass"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ruleText);
        const auto page = ReadBack(vantrel::report::ConformityStatementHtml(c.rule, channels));
        ASSERT_EQ(page["paragraphs"].size(), 1u);
        EXPECT_EQ(page["paragraphs"][0].get<std::string>().rfind(c.ruleText, 0), 0u) << page["paragraphs"][0];
        const auto& rows = page["tables"][0]["rows"];
        ASSERT_EQ(rows.size(), channels.size() + 1);
        for (std::size_t i = 0; i < channels.size(); ++i) {
            const auto& cells = rows[i + 1]["cells"];
            ASSERT_EQ(cells.size(), 5u);
            EXPECT_EQ(cells[0], std::to_string(channels[i].channel));
            EXPECT_NEAR(std::strtod(cells[1].get<std::string>().c_str(), nullptr), channels[i].value, 5e-7);
            EXPECT_NEAR(Volts(cells[3]), channels[i].expanded, kShownHalfStep);
            EXPECT_EQ(cells[4], c.statements[i]) << "channel " << channels[i].channel;
            EXPECT_EQ(rows[i + 1]["class"], c.rowClasses[i]);
        }
        EXPECT_EQ(rows[1]["cells"][2], "4.500000 to 5.200000");
        EXPECT_EQ(rows[4]["cells"][2], "up to 0.500000");
    }
}

}  // namespace

namespace {

// The rows of the first table after a heading of the guide, as cells.
std::vector<std::vector<std::string>> TableAfter(const std::string& guide, const std::string& heading) {
    std::vector<std::vector<std::string>> rows;
    const auto at = guide.find("\n" + heading + "\n");
    if (at == std::string::npos) return rows;
    std::istringstream lines(guide.substr(at + heading.size() + 2));
    bool inTable = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("|")) {
            if (inTable) break;
            continue;
        }
        inTable = true;
        if (line.starts_with("|---") || line.starts_with("| Term")) continue;
        std::vector<std::string> cells;
        std::istringstream parts(line.substr(1));
        for (std::string cell; std::getline(parts, cell, '|');) {
            const auto first = cell.find_first_not_of(' ');
            const auto last = cell.find_last_not_of(' ');
            cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
        }
        rows.push_back(cells);
    }
    return rows;
}

std::string Divisor(double divisor) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", divisor);
    return text;
}

// The guide's worked examples, computed by hand, against what the certificate prints for the
// same readings from the shipped register.
TEST(MetrologyDocs, TheWorkedExamplesPrintAsTheCertificateDoes) {
    const std::string guide = recordstest::ReadFile(VANTREL_METROLOGY_GUIDE);
    const InstrumentRegister reg = LoadRegister(VANTREL_EXAMPLE_REGISTER);
    for (const ReferenceMeter& meter : reg.meters) {
        const std::string heading = "### " + std::string(MeterModelName(meter.model)) + ", 5 V";
        SCOPED_TRACE(heading);
        const auto budget = MakeBudget(meter, 5.0);
        ASSERT_TRUE(budget);
        const auto rows = TableAfter(guide, heading);
        ASSERT_EQ(rows.size(), budget->terms.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const BudgetTerm& term = budget->terms[i];
            const std::vector<std::string> printed = {
                TermName(term.kind), DistributionName(term.distribution),
                vantrel::report::Microvolts(term.halfWidth), Divisor(term.divisor),
                vantrel::report::Microvolts(term.standardUncertainty)};
            EXPECT_EQ(rows[i], printed);
        }
        const std::string totals = guide.substr(guide.find(heading));
        const std::string combined = "**" + vantrel::report::Microvolts(budget->combined) + " \u00b5V**";
        const std::string expanded = "**" + vantrel::report::Microvolts(budget->expanded) + " \u00b5V**";
        const auto next = totals.find("\n### ", 1);
        EXPECT_NE(totals.substr(0, next).find("u_c = "), std::string::npos);
        EXPECT_NE(totals.substr(0, next).find(combined), std::string::npos) << combined;
        EXPECT_NE(totals.substr(0, next).find(expanded), std::string::npos) << expanded;
    }
}

}  // namespace
