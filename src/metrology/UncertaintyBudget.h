#pragma once
// The uncertainty of one reference value as the board keeps it, term by term: the meter's
// accuracy and resolution on the range it read, and the two roundings between the reading
// and the EEPROM (the value shown with six decimals, then read back in single precision).
// When the bench stood outside the temperatures the meter's figures hold for, the meter's
// temperature coefficient adds a term for the degrees outside. Every term is a bound, taken
// as rectangular; the terms are independent with sensitivity 1,
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

enum class TermKind { MeterAccuracy, MeterResolution, ShownValue, StoredValue, MeterTemperature };
const char* TermName(TermKind kind);

struct BudgetTerm {
    TermKind kind = TermKind::MeterAccuracy;
    Distribution distribution = Distribution::Rectangular;
    double halfWidth = 0.0;  // volts
    double divisor = 1.0;
    double standardUncertainty = 0.0;  // volts
};

inline constexpr double kCoverageFactor = 2.0;

// The ambient temperatures, degrees Celsius, that both meters' accuracy figures hold for.
inline constexpr double kFiguresColdest = 18.0;
inline constexpr double kFiguresWarmest = 28.0;
// Degrees outside that band; 0 inside it.
double DegreesOutsideFigures(double ambientCelsius);

struct UncertaintyBudget {
    double reading = 0.0;  // volts, as the meter read it
    DcVoltageRange range;  // the range it was read on
    std::vector<BudgetTerm> terms;
    double combined = 0.0;  // combined standard uncertainty, volts
    double coverageFactor = kCoverageFactor;
    double expanded = 0.0;                 // U, volts
    std::optional<double> ambientCelsius;  // as the bench gave it; none when not entered
    double degreesOutside = 0.0;           // outside the band the figures hold for
    // Outside the band, but the range has no temperature coefficient to add.
    bool temperatureTermMissing = false;
};

// The budget of a reading on a range with its figures. Outside the band the figures hold for,
// the range's temperature coefficient adds a term.
UncertaintyBudget MakeBudget(const DcVoltageRange& range, double reading,
                             std::optional<double> ambientCelsius);
// The budget of a reading taken with the meter, on the range autoranging settles on; none
// when no range of the meter shows it.
std::optional<UncertaintyBudget> MakeBudget(const ReferenceMeter& meter, double reading,
                                            std::optional<double> ambientCelsius = std::nullopt);

}  // namespace vantrel::metrology
