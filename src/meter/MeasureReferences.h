// Measure References: one press of the button. The operator connects the meter, the
// Measure References window reads (or takes typed) references with the calibration
// multiplexer on, and the values the operator accepts are written to EEPROM.
#pragma once

#include "afx/afx.h"
#include "board/RunContext.h"
#include "meter/ReferenceTable.h"

#include <cstdint>
#include <vector>

namespace meter {

enum class MeasureOutcome {
    Written,  // the values shown were written to EEPROM
    Kept,     // "Keep Initial EEPROM Values"
    Cancelled,
    FailedReading,   // the meter did not answer or its port failed
    OutOfTolerance,  // a reading lay outside its channel's window
    WriteFailed,     // the driver did not take the values
    Refused,         // typed values were refused and the window then closed without a write
};

struct MeasureResult {
    MeasureOutcome outcome = MeasureOutcome::Cancelled;
    int meterIndex = 0;  // 0 Fluke 45, 1 HP 34401A, 2 none typed; negative with none selected
    std::uint8_t boardType = 0;
    std::vector<refs::ChannelReading> readings;  // in the order taken
    bool eepromBeforeRead = false;
    double eepromBefore[refs::kReferenceSlots] = {};
    std::vector<double> written;  // the references handed to the driver, without the 0.0
    std::uint8_t writeCode = 0;   // what the driver answered to the write
    std::vector<double> refused;  // the typed values of the last refused press, per channel
};

class MeasureRun {
public:
    // owner: the window the instructions, notices and the Measure References window belong
    // to; referenceVoltages: the main window's array that receives the accepted values.
    MeasureRun(board::RunContext& context, CWnd& owner, int meterIndex,
               double (&referenceVoltages)[refs::kReferenceSlots]);

    MeasureResult Run();

private:
    void Instruct();
    INT_PTR MeasureWithMuxOn();
    void Conclude(INT_PTR dialogResult);

    board::RunContext& m_context;
    CWnd& m_owner;
    double (&m_referenceVoltages)[refs::kReferenceSlots];
    MeasureResult m_result;
};

}  // namespace meter
