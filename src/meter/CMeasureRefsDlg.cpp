#include "meter/CMeasureRefsDlg.h"

#include "meter/CMeterLink.h"
#include "meter/CSerialException.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// The meter always hangs on COM1.
constexpr int kMeterPort = 1;

// Waits, in milliseconds: after the window has shown the EEPROM values, and for the
// reference to settle after its channel has been selected.
constexpr unsigned kOpeningPauseMs = 200;
constexpr unsigned kFirstSettleMs = 2000;
constexpr unsigned kSettleMs = 2150;

// Edit texts are read up to this many characters.
constexpr int kEditTextChars = 99;
// The "Current EEPROM References" text never exceeds this size, terminator included.
constexpr std::size_t kEepromTextCapacity = 1000;

constexpr const char* kErrorCaption = "ERROR";
constexpr const char* kReadFailedText =
    "There was an Error with Reading the meter\n\nPlease Check that the null modem cable is "
    "connected\n\nIf error persists, refer to the proceedure or contact Zaltrice";

}  // namespace

BEGIN_MESSAGE_MAP(CMeasureRefsDlg, CDialog)
    ON_BN_CLICKED(IDC_KEEP_INITIAL, OnKeepInitialValues)
    ON_CONTROL_RANGE(EN_SETFOCUS, IDC_REFERENCE0, IDC_REFERENCE4, OnSetFocusReference)
END_MESSAGE_MAP()

CMeasureRefsDlg::CMeasureRefsDlg(CWnd* pParent, double* referenceVoltages, BoardHandle boardHandle,
                                 int meterIndex, BoardConfig boardConfig)
    : CDialog(IDD, pParent),
      m_referenceVoltages(referenceVoltages),
      m_boardHandle(boardHandle),
      m_meterIndex(meterIndex),
      m_boardConfig(boardConfig) {}

void CMeasureRefsDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDOK, m_okButton);
    DDX_Control(pDX, IDC_EEPROM_REFERENCES, m_eepromReferencesText);
    DDX_Control(pDX, IDC_KEEP_INITIAL, m_keepButton);
    for (int i = 0; i < refs::kMeasuredChannels; ++i)
        DDX_Control(pDX, IDC_REFERENCE0 + i, m_referenceEdits[i]);
}

BOOL CMeasureRefsDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    try {
        // Opens and prepares the meter; for meter "None" it opens nothing. The port closes
        // when the link goes, before the window shows.
        CMeterLink link(kMeterPort, m_meterIndex);

        ShowEepromReferences();
        bqxSleep(kOpeningPauseMs);

        if (m_meterIndex == MeterNone) {
            for (CEdit& edit : m_referenceEdits) edit.SetWindowText("0");
            // Passing through the first edit selects channel 0 for the operator's meter.
            m_referenceEdits[0].SetFocus();
        } else if (!MeasureReferences(link)) {
            return TRUE;
        }
    } catch (CSerialException* e) {
        ReportPortFailure(e);
        e->Delete();
        EndDialog(kResultMeterFailed);
        return TRUE;
    }

    m_okButton.SetFocus();
    return FALSE;
}

void CMeasureRefsDlg::ShowEepromReferences() {
    // After a failed read the table may hold anything: show and keep zeros instead.
    m_eepromReferencesRead = bqxGetReferenceVoltages(m_boardHandle, m_eepromReferences) == BQX_OK;
    if (!m_eepromReferencesRead)
        for (double& value : m_eepromReferences) value = 0.0;
    const std::string text = refs::FormatEepromReferences(m_eepromReferences, kEepromTextCapacity);
    m_eepromReferencesText.SetWindowText(text.c_str());
}

bool CMeasureRefsDlg::MeasureReferences(CMeterLink& link) {
    const int channels = refs::MeasuredCount(m_boardConfig.boardType);
    // A port that did not open cannot give a reading: say why before the first one.
    if (channels > 0 && !link.GetSerialPort().IsOpen()) {
        ReportPortNotOpened(link.OpenFailure());
        EndDialog(kResultMeterFailed);
        return false;
    }
    for (int r = 0; r < channels; ++r) {
        const auto channel = static_cast<std::uint8_t>(r);
        bqxADSetChannel(m_boardHandle, channel, channel);
        bqxSleep(r == 0 ? kFirstSettleMs : kSettleMs);

        double reading = 0.0;
        if (link.ReadVoltage(reading) != 0) {
            MessageBox(kReadFailedText, kErrorCaption, MB_OK);
            EndDialog(kResultMeterFailed);
            return false;
        }

        const double volts = std::fabs(reading);
        m_readings.push_back({r, volts, refs::kToleranceWindows[static_cast<std::size_t>(r)],
                              refs::WithinTolerance(r, volts)});
        if (!refs::WithinTolerance(r, volts)) {
            MessageBox(refs::ToleranceMessage(r, volts).c_str(), kErrorCaption, MB_OK);
            EndDialog(kResultOutOfTolerance);
            return false;
        }

        char text[400];
        std::snprintf(text, sizeof text, "%lf", volts);
        m_referenceEdits[r].SetWindowText(text);
    }
    return true;
}

namespace {

constexpr const char* kPortAdvice =
    "\n\nCheck that the null modem cable of the meter is connected to COM1 and that no "
    "other program uses the port.";

}  // namespace

void CMeasureRefsDlg::ReportPortNotOpened(const std::string& reason) {
    const std::string text = "COM1 could not be opened: " + reason + kPortAdvice;
    MessageBox(text.c_str(), kErrorCaption, MB_OK);
}

void CMeasureRefsDlg::ReportPortFailure(CSerialException* e) {
    const std::string text =
        "Communication with the meter on COM1 failed: " + SerialFailureText(*e) + kPortAdvice;
    MessageBox(text.c_str(), kErrorCaption, MB_OK);
}

void CMeasureRefsDlg::OnSetFocusReference(UINT nID) {
    const auto channel = static_cast<std::uint8_t>(nID - IDC_REFERENCE0);
    bqxADSetChannel(m_boardHandle, channel, channel);
}

void CMeasureRefsDlg::OnKeepInitialValues() { EndDialog(kResultKeep); }

bool CMeasureRefsDlg::ReadEditValues(float values[refs::kMeasuredChannels],
                                     double typed[refs::kMeasuredChannels]) {
    char text[kEditTextChars + 1];
    for (int i = 0; i < refs::kMeasuredChannels; ++i) {
        m_referenceEdits[i].GetWindowText(text, sizeof text);
        values[i] = 0.0f;
        typed[i] = 0.0;
        if (refs::ParseReferenceText(text, values[i]) && refs::ParseTypedVolts(text, typed[i])) continue;
        // Only the references the board stores must hold a number.
        if (i >= refs::MeasuredCount(m_boardConfig.boardType)) continue;

        const std::string message =
            "Channel " + std::to_string(i) + ": \"" + text +
            "\" is not a number of volts.\n\nType the reference in volts, for example 4.996, "
            "or keep the values stored in EEPROM.";
        MessageBox(message.c_str(), kErrorCaption, MB_OK);
        GotoDlgCtrl(&m_referenceEdits[i]);
        return false;
    }
    return true;
}

bool CMeasureRefsDlg::CheckEditValues(const double typed[refs::kMeasuredChannels]) {
    char text[400];
    for (int i = 0; i < refs::MeasuredCount(m_boardConfig.boardType); ++i) {
        if (!refs::IsStorableReference(typed[i])) {
            std::snprintf(text, sizeof text,
                          "Channel %d: %g V cannot be a reference; the board holds references "
                          "between -10 and +10 V.\n\nType the reference in volts, for example "
                          "4.996, or keep the values stored in EEPROM.",
                          i, typed[i]);
            MessageBox(text, kErrorCaption, MB_OK | MB_ICONERROR);
            GotoDlgCtrl(&m_referenceEdits[i]);
            return false;
        }
        // The value as typed, in double precision, by its size: what the window's verdict on
        // a reading judges.
        if (refs::TypedWithinTolerance(i, typed[i])) continue;
        const std::string question = "Channel " + std::to_string(i) + ": " +
                                     refs::ToleranceMessage(i, std::fabs(typed[i])) +
                                     "\n\nStore this value in the board's EEPROM anyway?";
        // Storing a value outside its window takes a deliberate Yes: Enter and Esc answer No.
        if (MessageBox(question.c_str(), "Confirm", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
            GotoDlgCtrl(&m_referenceEdits[i]);
            return false;
        }
    }
    return true;
}

void CMeasureRefsDlg::OnOK() {
    float values[refs::kMeasuredChannels];
    double typed[refs::kMeasuredChannels];
    if (!ReadEditValues(values, typed)) return;

    const int count = refs::ReferenceCount(m_boardConfig.boardType);
    // References beyond the edits keep what the EEPROM held; when that could not be read
    // there is nothing sound to write for them.
    if (count > refs::kMeasuredChannels && !m_eepromReferencesRead) {
        MessageBox(
            "The references stored in EEPROM could not be read when this window "
            "opened, so the references beyond channel 4 cannot be written back.\n\nKeep the EEPROM "
            "values or cancel, and check the board.",
            kErrorCaption, MB_OK);
        return;
    }
    if (!CheckEditValues(typed)) {
        const int measured = refs::MeasuredCount(m_boardConfig.boardType);
        m_refusedValues.assign(values, values + measured);
        return;
    }

    // A typed reference is stored by its size, as a reading is: the size is what was judged.
    for (int i = 0; i < count; ++i)
        m_referenceVoltages[i] =
            i < refs::kMeasuredChannels ? static_cast<double>(std::fabs(values[i])) : m_eepromReferences[i];
    m_referenceVoltages[count] = 0.0;

    CDialog::OnOK();
}
