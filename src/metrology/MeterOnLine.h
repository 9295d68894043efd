#pragma once
// Which reference meter stands on the bench's line and whether a Measure References may rely
// on it. The bench names its meter by serial number (the settings' meter_serial, or the
// unattended session's meter_serial=); the meter itself is never asked who it is. With a
// register configured, a meter that is overdue, not in the register, of another model than
// the one chosen, or a register that cannot be read, needs the operator's word before the
// meter is read.

#include "metrology/InstrumentRegister.h"
#include "metrology/MeterStanding.h"
#include "metrology/MetrologySettings.h"

#include <optional>
#include <string>

namespace vantrel::metrology {

struct MeterOnLine {
    bool checked = false;  // a register is configured
    std::string serial;    // as the bench names it; empty when it names none
    MeterStanding standing = MeterStanding::Unregistered;
    std::optional<ReferenceMeter> meter;   // the register's entry, when registered
    std::string reason;                    // one sentence when the meter cannot be relied on
    std::optional<double> ambientCelsius;  // the conditions the settings give

    // Whether the operator must be asked before the meter is read.
    bool NeedsConsent() const { return checked && standing != MeterStanding::InCalibration; }
};

// The meter of the given model that the settings name, judged on `today`. Never throws: a
// register that cannot be read counts as one the meter is not in, with the reader's words.
MeterOnLine CheckMeterOnLine(const MetrologySettings& settings, MeterModel model, const CalendarDate& today);

}  // namespace vantrel::metrology
