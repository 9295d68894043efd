#include "metrology/MeterStanding.h"

namespace vantrel::metrology {

namespace {

struct StandingRow {
    MeterStanding standing;
    const char* name;
};
constexpr StandingRow kStandings[] = {
    {MeterStanding::InCalibration, "in calibration"},
    {MeterStanding::Overdue, "overdue"},
    {MeterStanding::Unregistered, "not registered"},
};

}  // namespace

const char* MeterStandingName(MeterStanding standing) {
    for (const auto& row : kStandings)
        if (row.standing == standing) return row.name;
    return "?";
}

bool ParseMeterStanding(std::string_view name, MeterStanding& standing) {
    for (const auto& row : kStandings)
        if (row.name == name) {
            standing = row.standing;
            return true;
        }
    return false;
}

MeterCheck CheckMeter(const InstrumentRegister& instruments, std::string_view serial,
                      const CalendarDate& today) {
    MeterCheck check;
    check.meter = instruments.Find(serial);
    if (!check.meter) return check;
    check.daysToDue = DaysBetween(today, check.meter->due);
    check.standing = check.daysToDue < 0 ? MeterStanding::Overdue : MeterStanding::InCalibration;
    return check;
}

}  // namespace vantrel::metrology
