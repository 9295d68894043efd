#include "meter/MeasureReferences.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace vantrel::meter {
namespace {

// The meter always hangs on COM1.
constexpr int kMeterPort = 1;

// Waits, in milliseconds: after the EEPROM has been read, and for the reference to settle
// after its channel has been selected.
constexpr unsigned kOpeningPauseMs = 200;
constexpr unsigned kFirstSettleMs = 2000;
constexpr unsigned kSettleMs = 2150;

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
constexpr const char* kErrorCaption = "ERROR";
constexpr const char* kReadFailedText =
    "There was an Error with Reading the meter\n\nPlease Check that the null modem cable is "
    "connected\n\nIf error persists, refer to the proceedure or contact Zaltrice";
constexpr const char* kPortAdvice =
    "\n\nCheck that the null modem cable of the meter is connected to COM1 and that no "
    "other program uses the port.";
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

MeasureRun::MeasureRun(board::RunContext& context, CWnd& owner, MeterType meter)
    : m_context(context), m_owner(owner) {
    m_result.meterIndex = meter;
    m_result.boardType = context.boardConfig.boardType;
}

MeasureResult MeasureRun::Run() {
    Instruct();
    Conclude(AskWithMuxOn());
    return m_result;
}

void MeasureRun::Instruct() {
    if (m_result.meterIndex == MeterNone) return;
    m_owner.MessageBox(kInstructionsText, "Instructions", MB_OK);
    m_context.log.Printf(
        "The voltmeter is being automatically read. The process may take up to 20 "
        "seconds.\n");
}

MeasureChoice MeasureRun::AskWithMuxOn() {
    CMeasureRefsDlg dlg(&m_owner, m_context.boardHandle, m_result.meterIndex, m_result.boardType,
                        [this] { return TakeReadings(); });
    CalibrationMuxOn mux(m_context.boardHandle);
    return dlg.Ask();
}

MeasureOpening MeasureRun::TakeReadings() {
    MeasureOpening opening;
    // Opens and prepares the meter; for meter "None" it opens nothing. The port closes when
    // the meter goes, before the window shows.
    LinkVoltmeter meter(kMeterPort, m_result.meterIndex);
    if (meter.Preparation().fault == MeterFault::PortFailed) {
        ReportMeterFault(meter.Preparation());
        return opening;
    }
    ReadEeprom(opening);
    bqxSleep(kOpeningPauseMs);
    opening.measured = m_result.meterIndex == MeterNone || MeasureChannels(meter, opening);
    return opening;
}

void MeasureRun::ReadEeprom(MeasureOpening& opening) {
    // After a failed read the table may hold anything: show and keep zeros instead.
    opening.eepromReferencesRead =
        bqxGetReferenceVoltages(m_context.boardHandle, opening.eepromReferences) == BQX_OK;
    if (!opening.eepromReferencesRead)
        std::fill(std::begin(opening.eepromReferences), std::end(opening.eepromReferences), 0.0);
    m_result.eepromBeforeRead = opening.eepromReferencesRead;
    std::copy_n(opening.eepromReferences, kReferenceSlots, m_result.eepromBefore);
}

bool MeasureRun::MeasureChannels(Voltmeter& meter, MeasureOpening& opening) {
    const int channels = MeasuredCount(m_result.boardType);
    // A port that did not open cannot give a reading: say why before the first one.
    if (channels > 0 && meter.Preparation().fault == MeterFault::PortNotOpened) {
        ReportMeterFault(meter.Preparation());
        return false;
    }
    for (int r = 0; r < channels; ++r) {
        const auto channel = static_cast<std::uint8_t>(r);
        bqxADSetChannel(m_context.boardHandle, channel, channel);
        bqxSleep(r == 0 ? kFirstSettleMs : kSettleMs);

        const MeterStatus status = meter.Read();
        if (status.fault != MeterFault::None) {
            ReportMeterFault(status);
            return false;
        }
        const double volts = std::fabs(status.volts);
        const bool within = WithinTolerance(r, volts);
        m_result.readings.push_back({r, volts, kToleranceWindows[static_cast<std::size_t>(r)], within});
        if (!within) {
            m_owner.MessageBox(ToleranceMessage(r, volts).c_str(), kErrorCaption, MB_OK);
            m_result.outcome = MeasureOutcome::OutOfTolerance;
            return false;
        }
        opening.readings.push_back(volts);
    }
    return true;
}

void MeasureRun::ReportMeterFault(const MeterStatus& status) {
    m_result.outcome = MeasureOutcome::FailedReading;
    std::string text;
    switch (status.fault) {
    case MeterFault::PortNotOpened: text = "COM1 could not be opened: " + status.reason + kPortAdvice; break;
    case MeterFault::PortFailed:
        text = "Communication with the meter on COM1 failed: " + status.reason + kPortAdvice;
        break;
    default: text = kReadFailedText; break;
    }
    m_owner.MessageBox(text.c_str(), kErrorCaption, MB_OK);
}

void MeasureRun::Conclude(const MeasureChoice& choice) {
    m_result.refused = choice.refused;
    switch (choice.action) {
    case MeasureChoice::Action::Use: Write(choice); break;
    case MeasureChoice::Action::Keep: m_result.outcome = MeasureOutcome::Kept; break;
    case MeasureChoice::Action::NotMeasured:
        m_owner.MessageBox(
            m_result.outcome == MeasureOutcome::OutOfTolerance ? kOutOfToleranceNotice : kMeterFailedNotice,
            kNoticeCaption, MB_OK);
        break;
    case MeasureChoice::Action::Cancel:
        // Cancel leaves the EEPROM as it is; after refused values it is their end.
        m_result.outcome = choice.refused.empty() ? MeasureOutcome::Cancelled : MeasureOutcome::Refused;
        break;
    }
}

void MeasureRun::Write(const MeasureChoice& choice) {
    double references[kReferenceSlots];
    std::copy_n(choice.references, kReferenceSlots, references);
    m_result.writeCode = bqxSetReferenceVoltages(m_context.boardHandle, references);
    m_result.written.assign(references, references + ReferenceCount(m_result.boardType));
    m_result.outcome = MeasureOutcome::Written;
    // A calibration the board did not keep must never pass for a stored one.
    if (m_result.writeCode != BQX_OK) {
        m_result.outcome = MeasureOutcome::WriteFailed;
        char text[400];
        std::snprintf(text, sizeof text, kNotStoredText, static_cast<unsigned>(m_result.writeCode));
        m_owner.MessageBox(text, kNotStoredCaption, MB_OK | MB_ICONERROR);
    }
}

}  // namespace vantrel::meter
