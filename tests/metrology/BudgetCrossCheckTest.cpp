// Every channel of a table of readings, by both meters of the shipped register, in and out of
// the temperatures the meters' figures hold for: the tool's budget against
// tests/metrology/recompute_budget.py, which works each term out anew from the register file.
#include "RecordsTestSupport.h"

#include "metrology/UncertaintyBudget.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <optional>

namespace {

using namespace vantrel::metrology;
using recordstest::RunShell;
using recordstest::ShellQuoted;

// The simulated board's references, a line's spread around them, signs, range edges and the
// ends of the windows.
constexpr double kReadings[] = {4.9962, 2.4987, 1.2493, 0.6247, 0.0004,  5.0,     -4.9962, 4.5,
                                5.2,    2.1,    2.9,    1.0,    1.5,     0.99999, 1.00001, 0.0999,
                                0.12,   0.0,    -0.3,   0.5,    1.19999, 9.9999,  11.5,    0.000001};

// Not entered, inside the band, its edge, and outside it on both sides.
const std::optional<double> kAmbients[] = {std::nullopt, 23.0, 28.0, 12.0, 35.5};

bool Close(double a, double b) {
    return std::fabs(a - b) <= 1e-12 * std::max(std::fabs(a), std::fabs(b)) + 1e-18;
}

TEST(BudgetCrossCheck, EveryTermMatchesAnIndependentRecomputation) {
    const InstrumentRegister reg = LoadRegister(VANTREL_EXAMPLE_REGISTER);
    nlohmann::json readings = nlohmann::json::array();
    for (const ReferenceMeter& meter : reg.meters)
        for (const auto& ambient : kAmbients)
            for (const double reading : kReadings) {
                nlohmann::json one = {{"serial", meter.serial}, {"reading", reading}};
                if (ambient) one["ambient"] = *ambient;
                readings.push_back(one);
            }
    recordstest::TempDir dir;
    recordstest::WriteFile(dir / "readings.json", readings.dump());
    const auto run =
        RunShell("python3 " + ShellQuoted(VANTREL_RECOMPUTE_BUDGET) + " " +
                 ShellQuoted(VANTREL_EXAMPLE_REGISTER) + " < " + ShellQuoted(dir / "readings.json"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto expected = nlohmann::json::parse(run.out);
    ASSERT_EQ(expected.size(), readings.size());

    std::size_t compared = 0;
    std::size_t temperatureTerms = 0;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const ReferenceMeter& meter = *reg.Find(readings[i]["serial"].get<std::string>());
        const double reading = readings[i]["reading"];
        const std::optional<double> ambient = readings[i].contains("ambient")
                                                  ? std::optional(readings[i]["ambient"].get<double>())
                                                  : std::nullopt;
        SCOPED_TRACE(meter.serial + " reading " + std::to_string(reading) + " at " +
                     (ambient ? std::to_string(*ambient) : "no temperature"));
        const auto budget = MakeBudget(meter, reading, ambient);
        const auto& want = expected[i];
        if (want["range"].is_null()) {
            EXPECT_FALSE(budget);
            continue;
        }
        ASSERT_TRUE(budget);
        EXPECT_EQ(budget->range.range, want["range"].get<double>());
        ASSERT_EQ(budget->terms.size(), want["terms"].size());
        for (std::size_t t = 0; t < budget->terms.size(); ++t) {
            const BudgetTerm& term = budget->terms[t];
            const auto& w = want["terms"][t];
            SCOPED_TRACE(w["name"].get<std::string>());
            EXPECT_EQ(TermName(term.kind), w["name"].get<std::string>());
            EXPECT_EQ(DistributionName(term.distribution), std::string("rectangular"));
            EXPECT_TRUE(Close(term.halfWidth, w["half_width"]))
                << term.halfWidth << " vs " << w["half_width"];
            EXPECT_TRUE(Close(term.divisor, w["divisor"])) << term.divisor << " vs " << w["divisor"];
            EXPECT_TRUE(Close(term.standardUncertainty, w["u"]))
                << term.standardUncertainty << " vs " << w["u"];
            temperatureTerms += term.kind == TermKind::MeterTemperature;
        }
        EXPECT_TRUE(Close(budget->combined, want["combined"]))
            << budget->combined << " vs " << want["combined"];
        EXPECT_EQ(budget->coverageFactor, 2.0);
        EXPECT_TRUE(Close(budget->expanded, want["expanded"]))
            << budget->expanded << " vs " << want["expanded"];
        ++compared;
    }
    // Every reading of the table lies on some range of both meters.
    EXPECT_EQ(compared, readings.size());
    EXPECT_GT(temperatureTerms, 0u);
}

}  // namespace
