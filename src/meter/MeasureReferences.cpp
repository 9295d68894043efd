#include "meter/MeasureReferences.h"

#include "meter/CMeasureRefsDlg.h"
#include "meter/CMeterLink.h"

#include <algorithm>
#include <cstdio>

namespace meter {
namespace {

constexpr const char* kInstructionsText =
    "Power ON your voltmeter, then\nattach the null modem cable from the back of the voltmeter "
    "to your COM1 port.\n\nNext, attach your voltmeter probes to the Precise Reference Voltage "
    "Terminals +(red)/-(black) (check manual).\n\nPress OK when ready.";
constexpr const char* kNoticeCaption = "NOTICE";
constexpr const char* kOutOfToleranceNotice =
    "Error with Meter Reading; Check if the probes are attached to the Precise Voltage "
    "Reference Terminals +/- , or if the Meter is functioning properly";
constexpr const char* kMeterFailedNotice =
    "Error Communicating with Meter; Check if null modem cables are connected";
constexpr const char* kNotStoredCaption = "ERROR";
constexpr const char* kNotStoredText =
    "The references were NOT stored in the board's EEPROM (driver error %u).\n\nThe board "
    "still holds its previous calibration. Do not use the board: check that its EEPROM can be "
    "written, then press Measure References again and store the references.";

// Keeps the calibration multiplexer on for exactly as long as it lives.
class CalibrationMuxOn {
public:
    explicit CalibrationMuxOn(BoardHandle handle) : m_handle(handle) { bqxSetCalMux(m_handle, 1); }
    ~CalibrationMuxOn() { bqxSetCalMux(m_handle, 0); }
    CalibrationMuxOn(const CalibrationMuxOn&) = delete;
    CalibrationMuxOn& operator=(const CalibrationMuxOn&) = delete;

private:
    BoardHandle m_handle;
};

}  // namespace

MeasureRun::MeasureRun(board::RunContext& context, CWnd& owner, int meterIndex,
                       double (&referenceVoltages)[refs::kReferenceSlots])
    : m_context(context), m_owner(owner), m_referenceVoltages(referenceVoltages) {
    m_result.meterIndex = meterIndex;
    m_result.boardType = context.boardConfig.boardType;
}

MeasureResult MeasureRun::Run() {
    Instruct();
    Conclude(MeasureWithMuxOn());
    return m_result;
}

void MeasureRun::Instruct() {
    if (m_result.meterIndex == MeterNone) return;
    m_owner.MessageBox(kInstructionsText, "Instructions", MB_OK);
    m_context.log.Printf(
        "The voltmeter is being automatically read. The process may take up to 20 "
        "seconds.\n");
}

INT_PTR MeasureRun::MeasureWithMuxOn() {
    CMeasureRefsDlg dlg(&m_owner, m_referenceVoltages, m_context.boardHandle, m_result.meterIndex,
                        m_context.boardConfig);
    INT_PTR result = 0;
    {
        CalibrationMuxOn mux(m_context.boardHandle);
        result = dlg.DoModal();
    }
    m_result.readings = dlg.Readings();
    m_result.refused = dlg.RefusedValues();
    m_result.eepromBeforeRead = dlg.EepromReferencesRead();
    std::copy_n(dlg.EepromReferences(), refs::kReferenceSlots, m_result.eepromBefore);
    return result;
}

void MeasureRun::Conclude(INT_PTR dialogResult) {
    switch (dialogResult) {
    case IDOK: {
        m_result.writeCode = bqxSetReferenceVoltages(m_context.boardHandle, m_referenceVoltages);
        const int count = refs::ReferenceCount(m_result.boardType);
        m_result.written.assign(m_referenceVoltages, m_referenceVoltages + count);
        m_result.outcome = MeasureOutcome::Written;
        // A calibration the board did not keep must never pass for a stored one.
        if (m_result.writeCode != BQX_OK) {
            m_result.outcome = MeasureOutcome::WriteFailed;
            char text[400];
            std::snprintf(text, sizeof text, kNotStoredText, static_cast<unsigned>(m_result.writeCode));
            m_owner.MessageBox(text, kNotStoredCaption, MB_OK | MB_ICONERROR);
        }
        break;
    }
    case CMeasureRefsDlg::kResultOutOfTolerance:
        m_result.outcome = MeasureOutcome::OutOfTolerance;
        m_owner.MessageBox(kOutOfToleranceNotice, kNoticeCaption, MB_OK);
        break;
    case CMeasureRefsDlg::kResultMeterFailed:
        m_result.outcome = MeasureOutcome::FailedReading;
        m_owner.MessageBox(kMeterFailedNotice, kNoticeCaption, MB_OK);
        break;
    case CMeasureRefsDlg::kResultKeep: m_result.outcome = MeasureOutcome::Kept; break;
    default:
        // Cancel leaves the EEPROM as it is; after refused values it is their end.
        m_result.outcome = m_result.refused.empty() ? MeasureOutcome::Cancelled : MeasureOutcome::Refused;
        break;
    }
}

}  // namespace meter
