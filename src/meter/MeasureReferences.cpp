// The Measure References button of the main dialog.
#include "app/CMainTestDlg.h"
#include "meter/CMeasureRefsDlg.h"
#include "meter/CMeterLink.h"

#include <cstdio>

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

void CMainTestDlg::OnMeasureReferences() {
    // No checked button reads as 0, which gives a negative index.
    const int meterIndex = GetCheckedRadioButton(IDC_FLUKE45, IDC_METER_NONE) - IDC_FLUKE45;

    if (meterIndex != MeterNone) {
        MessageBox(kInstructionsText, "Instructions", MB_OK);
        LogPrintf("The voltmeter is being automatically read. The process may take up to 20 "
                  "seconds.\n");
    }

    CMeasureRefsDlg dlg(this, m_referenceVoltages, m_boardHandle, meterIndex, m_boardConfig);
    INT_PTR result = 0;
    {
        CalibrationMuxOn mux(m_boardHandle);
        result = dlg.DoModal();
    }

    switch (result) {
        case IDOK: {
            const BYTE stored = bqxSetReferenceVoltages(m_boardHandle, m_referenceVoltages);
            // A calibration the board did not keep must never pass for a stored one.
            if (stored != BQX_OK) {
                char text[400];
                std::snprintf(text, sizeof text, kNotStoredText, static_cast<unsigned>(stored));
                MessageBox(text, kNotStoredCaption, MB_OK | MB_ICONERROR);
            }
            break;
        }
        case CMeasureRefsDlg::kResultOutOfTolerance:
            MessageBox(kOutOfToleranceNotice, kNoticeCaption, MB_OK);
            break;
        case CMeasureRefsDlg::kResultMeterFailed:
            MessageBox(kMeterFailedNotice, kNoticeCaption, MB_OK);
            break;
        default:
            // Cancel and "Keep Initial EEPROM Values" leave the EEPROM as it is.
            break;
    }
}
