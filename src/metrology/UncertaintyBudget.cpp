#include "metrology/UncertaintyBudget.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace vantrel::metrology {

namespace {

struct DistributionRow {
    Distribution distribution;
    const char* name;
    double divisor;
};
constexpr DistributionRow kDistributions[] = {
    {Distribution::Rectangular, "rectangular", std::numbers::sqrt3},
};

struct TermRow {
    TermKind kind;
    const char* name;
};
constexpr TermRow kTermNames[] = {
    {TermKind::MeterAccuracy, "meter accuracy"},
    {TermKind::MeterResolution, "meter resolution"},
    {TermKind::ShownValue, "value shown with six decimals"},
    {TermKind::StoredValue, "value stored in single precision"},
    {TermKind::MeterTemperature, "meter temperature coefficient"},
};

// The window shows a reading with "%lf": six decimals, so it is rounded to a microvolt.
constexpr double kShownStep = 1e-6;

BudgetTerm Rectangular(TermKind kind, double halfWidth) {
    BudgetTerm term;
    term.kind = kind;
    term.distribution = Distribution::Rectangular;
    term.halfWidth = halfWidth;
    term.divisor = DistributionDivisor(term.distribution);
    term.standardUncertainty = halfWidth / term.divisor;
    return term;
}

// Half the spacing of single-precision numbers above the value: the most that reading the
// shown text into a float can move it.
double HalfFloatSpacing(double volts) {
    const float stored = static_cast<float>(std::fabs(volts));
    return (std::nextafter(stored, std::numeric_limits<float>::infinity()) - stored) / 2.0;
}

}  // namespace

const char* DistributionName(Distribution distribution) {
    for (const auto& row : kDistributions)
        if (row.distribution == distribution) return row.name;
    return "?";
}

double DistributionDivisor(Distribution distribution) {
    for (const auto& row : kDistributions)
        if (row.distribution == distribution) return row.divisor;
    return 1.0;
}

const char* TermName(TermKind kind) {
    for (const auto& row : kTermNames)
        if (row.kind == kind) return row.name;
    return "?";
}

double DegreesOutsideFigures(double ambientCelsius) {
    if (ambientCelsius < kFiguresColdest) return kFiguresColdest - ambientCelsius;
    if (ambientCelsius > kFiguresWarmest) return ambientCelsius - kFiguresWarmest;
    return 0.0;
}

UncertaintyBudget MakeBudget(const DcVoltageRange& range, double reading,
                             std::optional<double> ambientCelsius) {
    UncertaintyBudget budget;
    budget.reading = reading;
    budget.range = range;
    budget.terms = {
        Rectangular(TermKind::MeterAccuracy, range.AccuracyHalfWidth(reading)),
        Rectangular(TermKind::MeterResolution, range.resolution / 2.0),
        Rectangular(TermKind::ShownValue, kShownStep / 2.0),
        Rectangular(TermKind::StoredValue, HalfFloatSpacing(reading)),
    };
    budget.ambientCelsius = ambientCelsius;
    budget.degreesOutside = ambientCelsius ? DegreesOutsideFigures(*ambientCelsius) : 0.0;
    if (budget.degreesOutside > 0.0) {
        const auto widening = range.TemperatureHalfWidth(reading, budget.degreesOutside);
        if (widening)
            budget.terms.push_back(Rectangular(TermKind::MeterTemperature, *widening));
        else
            budget.temperatureTermMissing = true;
    }
    double sumOfSquares = 0.0;
    for (const BudgetTerm& term : budget.terms)
        sumOfSquares += term.standardUncertainty * term.standardUncertainty;
    budget.combined = std::sqrt(sumOfSquares);
    budget.coverageFactor = kCoverageFactor;
    budget.expanded = budget.coverageFactor * budget.combined;
    return budget;
}

std::optional<UncertaintyBudget> MakeBudget(const ReferenceMeter& meter, double reading,
                                            std::optional<double> ambientCelsius) {
    const DcVoltageRange* range = meter.RangeFor(reading);
    if (!range) return std::nullopt;
    return MakeBudget(*range, reading, ambientCelsius);
}

}  // namespace vantrel::metrology
