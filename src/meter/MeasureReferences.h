#pragma once
// Measure References: one press of the button. The operator connects the meter; with the
// calibration multiplexer on, the run reads the EEPROM's references and, channel by channel,
// the meter, judging each reading against its window; the Measure References window shows
// them (or takes typed values) and returns the operator's choice; the run writes what the
// operator accepts to EEPROM.

#include "afx/afx.h"
#include "board/RunContext.h"
#include "meter/CMeasureRefsDlg.h"
#include "meter/CMeterLink.h"
#include "meter/ReferenceTable.h"
#include "meter/Voltmeter.h"

#include <cstdint>
#include <vector>

namespace vantrel::meter {

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
    // The meter radio button checked (its index there); negative with none checked, which
    // the link takes for a Fluke 45.
    MeterType meterIndex = MeterFluke45;
    std::uint8_t boardType = 0;
    std::vector<ChannelReading> readings;  // in the order taken
    bool eepromBeforeRead = false;
    double eepromBefore[kReferenceSlots] = {};
    std::vector<double> written;  // the references handed to the driver, without the 0.0
    std::uint8_t writeCode = 0;   // what the driver answered to the write
    std::vector<double> refused;  // the typed values of the last refused press, per channel
};

class MeasureRun {
public:
    // owner: the window the instructions, notices and the Measure References window belong
    // to.
    MeasureRun(board::RunContext& context, CWnd& owner, MeterType meter);

    MeasureResult Run();

private:
    void Instruct();
    MeasureChoice AskWithMuxOn();
    // Run by the window as it opens: opens the meter, reads the EEPROM and the readings.
    MeasureOpening TakeReadings();
    void ReadEeprom(MeasureOpening& opening);
    // False, after telling the operator, when a reading failed or lay outside its window.
    bool MeasureChannels(Voltmeter& meter, MeasureOpening& opening);
    void ReportMeterFault(const MeterStatus& status);
    void Conclude(const MeasureChoice& choice);
    void Write(const MeasureChoice& choice);

    board::RunContext& m_context;
    CWnd& m_owner;
    MeasureResult m_result;
};

}  // namespace vantrel::meter
