#pragma once
// Whether the meter on the line may be relied on today: registered and within its
// calibration, overdue, or not in the register at all. A calibration holds through its due
// date; the meter is overdue from the day after.

#include "metrology/InstrumentRegister.h"

#include <string_view>

namespace vantrel::metrology {

enum class MeterStanding { InCalibration, Overdue, Unregistered };
const char* MeterStandingName(MeterStanding standing);
bool ParseMeterStanding(std::string_view name, MeterStanding& standing);

struct MeterCheck {
    MeterStanding standing = MeterStanding::Unregistered;
    const ReferenceMeter* meter = nullptr;  // the register's entry, when registered
    int daysToDue = 0;                      // negative once overdue; 0 when unregistered
};

MeterCheck CheckMeter(const InstrumentRegister& instruments, std::string_view serial,
                      const CalendarDate& today);

}  // namespace vantrel::metrology
