#pragma once
// The register of reference meters a bench or a line measures with: which meter it is, who
// calibrated it, until when, and its DC voltage accuracy per range.
//
//   [meter 4571234]                       one group per meter, named by its serial number
//   model = Fluke 45                      "Fluke 45" or "HP 34401A"
//   asset_tag = LAB-DMM-017
//   certificate = CAL-2026-0412           the number of the meter's own calibration certificate
//   certificate_date = 2026-03-10
//   lab = Example Calibration Laboratory
//   due = 2027-03-10                      last day the calibration may be relied on
//   dcv 10 = 0.025% + 6 counts            accuracy on the 10 V range: % of reading + counts,
//   dcv 10 resolution = 0.0001            or "0.0035% + 0.0005%" (% of reading + % of range);
//   dcv 10 full_scale = 9.9999            one count, and the largest magnitude the range shows
//   dcv 10 tempco = 0.0025% + 0.6 counts  optional: the accuracy's change per degree Celsius
//                                         outside 18 to 28 degrees, in either form
//
// Blank lines and lines starting with '#' or ';' are ignored.

#include "metrology/CalendarDate.h"
#include "metrology/MeterModel.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::metrology {

// How much wider the accuracy grows per degree Celsius outside the band it holds in:
// ±(% of reading + % of range) or ±(% of reading + counts), per degree.
struct TemperatureCoefficient {
    double percentOfReading = 0.0;
    double percentOfRange = 0.0;
    double counts = 0.0;  // may be a fraction of a count

    bool operator==(const TemperatureCoefficient&) const = default;
};

// One DC voltage range and its published accuracy: ±(% of reading + % of range) or
// ±(% of reading + counts).
struct DcVoltageRange {
    double range = 0.0;       // nominal, volts; the base of "% of range"
    double fullScale = 0.0;   // largest magnitude the range shows, volts
    double resolution = 0.0;  // one count, volts
    double percentOfReading = 0.0;
    double percentOfRange = 0.0;                                   // 0 when the floor is given in counts
    int counts = 0;                                                // 0 when the floor is given as % of range
    std::optional<TemperatureCoefficient> temperatureCoefficient;  // none when the register gives none

    // Half-width of the accuracy interval for a reading on this range.
    double AccuracyHalfWidth(double volts) const;
    // How much the accuracy interval widens, each side, `degrees` outside its band; none
    // without a temperature coefficient.
    std::optional<double> TemperatureHalfWidth(double volts, double degrees) const;
};

struct ReferenceMeter {
    std::string serial;
    MeterModel model = MeterModel::Fluke45;  // a model read by meter
    std::string assetTag;
    std::string certificate;
    CalendarDate certificateDate;
    std::string lab;
    CalendarDate due;
    std::vector<DcVoltageRange> dcVoltage;  // ascending by range

    // The range autoranging settles on for a reading: the smallest that shows it; none when
    // the reading is beyond every range or not a number.
    const DcVoltageRange* RangeFor(double volts) const;
};

struct InstrumentRegister {
    std::vector<ReferenceMeter> meters;  // in the order of the file
    const ReferenceMeter* Find(std::string_view serial) const;
};

// A register that cannot be used; what() names the file and line.
class RegisterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a register from its text; source names it in errors.
InstrumentRegister ParseRegister(std::string_view text, const std::string& source);
// Reads a register file.
InstrumentRegister LoadRegister(const std::string& path);

}  // namespace vantrel::metrology
