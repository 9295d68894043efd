#pragma once
// The uncertainty of one reference value as the board keeps it, term by term: the meter's
// accuracy and resolution on the range it read, and the two roundings between the reading
// and the EEPROM (the value shown with six decimals, then read back in single precision).
// Every term is a bound, taken as rectangular; the terms are independent with sensitivity 1,
// so the combined standard uncertainty is their root sum of squares, and the expanded
// uncertainty is k = 2 times it (about 95 % coverage).

#include "metrology/InstrumentRegister.h"

#include <optional>
#include <vector>

namespace vantrel::metrology {

enum class Distribution { Rectangular };
const char* DistributionName(Distribution distribution);
// What the half-width is divided by to give a standard uncertainty.
double DistributionDivisor(Distribution distribution);

enum class TermKind { MeterAccuracy, MeterResolution, ShownValue, StoredValue };
const char* TermName(TermKind kind);

struct BudgetTerm {
    TermKind kind = TermKind::MeterAccuracy;
    Distribution distribution = Distribution::Rectangular;
    double halfWidth = 0.0;  // volts
    double divisor = 1.0;
    double standardUncertainty = 0.0;  // volts
};

inline constexpr double kCoverageFactor = 2.0;

struct UncertaintyBudget {
    double reading = 0.0;  // volts, as the meter read it
    DcVoltageRange range;  // the range it was read on
    std::vector<BudgetTerm> terms;
    double combined = 0.0;  // combined standard uncertainty, volts
    double coverageFactor = kCoverageFactor;
    double expanded = 0.0;  // U, volts
};

// The budget of a reading taken with the meter; none when no range of the meter shows it.
std::optional<UncertaintyBudget> MakeBudget(const ReferenceMeter& meter, double reading);

}  // namespace vantrel::metrology
