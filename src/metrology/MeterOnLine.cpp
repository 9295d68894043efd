#include "metrology/MeterOnLine.h"

namespace vantrel::metrology {

namespace {

std::string Quoted(const std::string& serial) { return "\"" + serial + "\""; }

// The register's entry may be used only for the model the operator chose.
void Judge(MeterOnLine& line, const InstrumentRegister& instruments, MeterModel model,
           const CalendarDate& today) {
    const MeterCheck check = CheckMeter(instruments, line.serial, today);
    if (!check.meter) {
        line.reason = "the meter " + Quoted(line.serial) + " is not in the register of reference meters";
        return;
    }
    if (check.meter->model != model) {
        line.reason = "the register's meter " + Quoted(line.serial) + " is a " +
                      std::string(MeterModelName(check.meter->model)) + ", not the " +
                      std::string(MeterModelName(model)) + " chosen";
        return;
    }
    line.standing = check.standing;
    line.meter = *check.meter;
    if (check.standing == MeterStanding::Overdue)
        line.reason = "the calibration of the meter " + Quoted(line.serial) + " was due on " +
                      FormatDate(check.meter->due) + " and it is overdue";
}

}  // namespace

MeterOnLine CheckMeterOnLine(const MetrologySettings& settings, MeterModel model, const CalendarDate& today) {
    MeterOnLine line;
    line.serial = settings.meterSerial;
    line.ambientCelsius = settings.ambientCelsius;
    if (!settings.registerPath) {
        line.standing = MeterStanding::InCalibration;
        return line;
    }
    line.checked = true;
    if (line.serial.empty()) {
        line.reason = "the bench does not say which meter stands on it (meter_serial)";
        return line;
    }
    try {
        Judge(line, LoadRegister(*settings.registerPath), model, today);
    } catch (const std::exception& error) {
        line.reason = std::string("the register of reference meters cannot be read: ") + error.what();
    }
    return line;
}

}  // namespace vantrel::metrology
