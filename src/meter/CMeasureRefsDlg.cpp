#include "meter/CMeasureRefsDlg.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

namespace {

// Edit texts are read up to this many characters.
constexpr int kEditTextChars = 99;
// The "Current EEPROM References" text never exceeds this size, terminator included.
constexpr std::size_t kEepromTextCapacity = 1000;

constexpr const char* kErrorCaption = "ERROR";

}  // namespace

BEGIN_MESSAGE_MAP(CMeasureRefsDlg, CDialog)
    ON_BN_CLICKED(IDC_KEEP_INITIAL, OnKeepInitialValues)
    ON_CONTROL_RANGE(EN_SETFOCUS, IDC_REFERENCE0, IDC_REFERENCE4, OnSetFocusReference)
END_MESSAGE_MAP()

CMeasureRefsDlg::CMeasureRefsDlg(CWnd* pParent, BoardHandle boardHandle, MeterType meter,
                                 std::uint8_t boardType, TakeReadings takeReadings)
    : CDialog(IDD, pParent),
      m_boardHandle(boardHandle),
      m_meter(meter),
      m_boardType(boardType),
      m_takeReadings(std::move(takeReadings)) {}

vantrel::meter::MeasureChoice CMeasureRefsDlg::Ask() {
    const INT_PTR result = DoModal();
    if (result == IDOK)
        m_choice.action = vantrel::meter::MeasureChoice::Action::Use;
    else if (result == kResultKeep)
        m_choice.action = vantrel::meter::MeasureChoice::Action::Keep;
    else if (result == kResultNotMeasured)
        m_choice.action = vantrel::meter::MeasureChoice::Action::NotMeasured;
    else
        m_choice.action = vantrel::meter::MeasureChoice::Action::Cancel;
    return m_choice;
}

void CMeasureRefsDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDOK, m_okButton);
    DDX_Control(pDX, IDC_EEPROM_REFERENCES, m_eepromReferencesText);
    DDX_Control(pDX, IDC_KEEP_INITIAL, m_keepButton);
    for (int i = 0; i < vantrel::meter::kMeasuredChannels; ++i)
        DDX_Control(pDX, IDC_REFERENCE0 + i, m_referenceEdits[i]);
}

BOOL CMeasureRefsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The run reads the EEPROM and the meter while the window is built and not yet shown.
    m_opening = m_takeReadings();
    if (!m_opening.measured) {
        EndDialog(kResultNotMeasured);
        return TRUE;
    }
    ShowOpening();
    m_okButton.SetFocus();
    return FALSE;
}

void CMeasureRefsDlg::ShowOpening() {
    const std::string text =
        vantrel::meter::FormatEepromReferences(m_opening.eepromReferences, kEepromTextCapacity);
    m_eepromReferencesText.SetWindowText(text.c_str());
    if (m_meter == MeterNone) {
        for (CEdit& edit : m_referenceEdits) edit.SetWindowText("0");
        // Passing through the first edit selects channel 0 for the operator's meter.
        m_referenceEdits[0].SetFocus();
        return;
    }
    char reading[400];
    for (std::size_t r = 0; r < m_opening.readings.size() && r < vantrel::meter::kMeasuredChannels; ++r) {
        std::snprintf(reading, sizeof reading, "%lf", m_opening.readings[r]);
        m_referenceEdits[r].SetWindowText(reading);
    }
}

void CMeasureRefsDlg::OnSetFocusReference(UINT nID) {
    const auto channel = static_cast<std::uint8_t>(nID - IDC_REFERENCE0);
    bqxADSetChannel(m_boardHandle, channel, channel);
}

void CMeasureRefsDlg::OnKeepInitialValues() { EndDialog(kResultKeep); }

bool CMeasureRefsDlg::ReadEditValues(float values[vantrel::meter::kMeasuredChannels],
                                     double typed[vantrel::meter::kMeasuredChannels]) {
    char text[kEditTextChars + 1];
    for (int i = 0; i < vantrel::meter::kMeasuredChannels; ++i) {
        m_referenceEdits[i].GetWindowText(text, sizeof text);
        values[i] = 0.0f;
        typed[i] = 0.0;
        if (vantrel::meter::ParseReferenceText(text, values[i]) &&
            vantrel::meter::ParseTypedVolts(text, typed[i]))
            continue;
        // Only the references the board stores must hold a number.
        if (i >= vantrel::meter::MeasuredCount(m_boardType)) continue;

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

bool CMeasureRefsDlg::CheckEditValues(const double typed[vantrel::meter::kMeasuredChannels]) {
    char text[400];
    for (int i = 0; i < vantrel::meter::MeasuredCount(m_boardType); ++i) {
        if (!vantrel::meter::IsStorableReference(typed[i])) {
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
        if (vantrel::meter::TypedWithinTolerance(i, typed[i])) continue;
        const std::string question = "Channel " + std::to_string(i) + ": " +
                                     vantrel::meter::ToleranceMessage(i, std::fabs(typed[i])) +
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
    float values[vantrel::meter::kMeasuredChannels];
    double typed[vantrel::meter::kMeasuredChannels];
    if (!ReadEditValues(values, typed)) return;

    const int count = vantrel::meter::ReferenceCount(m_boardType);
    // References beyond the edits keep what the EEPROM held; when that could not be read
    // there is nothing sound to write for them.
    if (count > vantrel::meter::kMeasuredChannels && !m_opening.eepromReferencesRead) {
        MessageBox(
            "The references stored in EEPROM could not be read when this window "
            "opened, so the references beyond channel 4 cannot be written back.\n\nKeep the EEPROM "
            "values or cancel, and check the board.",
            kErrorCaption, MB_OK);
        return;
    }
    if (!CheckEditValues(typed)) {
        const int measured = vantrel::meter::MeasuredCount(m_boardType);
        m_choice.refused.assign(values, values + measured);
        return;
    }

    // A typed reference is stored by its size, as a reading is: the size is what was judged.
    for (int i = 0; i < count; ++i)
        m_choice.references[i] = i < vantrel::meter::kMeasuredChannels
                                     ? static_cast<double>(std::fabs(values[i]))
                                     : m_opening.eepromReferences[i];
    m_choice.references[count] = 0.0;

    CDialog::OnOK();
}
