// The Measure References window: shows the references stored in EEPROM, reads up to five
// of them from the bench voltmeter, checks each against its tolerance window, and hands the
// values the operator accepts to the main dialog.
#pragma once

#include "afx/afx.h"
#include "meter/ReferenceTable.h"
#include "platform/bqxdrv.h"

#include <string>
#include <vector>

class CMeterLink;
class CSerialException;

class CMeasureRefsDlg : public CDialog {
public:
    enum : int { IDD = 103 };

    // Control identifiers of template 103.
    enum : int {
        IDC_KEEP_INITIAL = 1024,
        IDC_REFERENCE0 = 1025,
        IDC_REFERENCE4 = 1029,
        IDC_EEPROM_REFERENCES = 1030,
    };

    // Results of the modal run besides IDOK and IDCANCEL.
    enum : int {
        kResultKeep = 3,
        kResultOutOfTolerance = -2,
        kResultMeterFailed = -3,
    };

    // Stores its arguments only; the board and the port are touched when the window opens.
    CMeasureRefsDlg(CWnd* pParent, double* referenceVoltages, BoardHandle boardHandle, int meterIndex,
                    BoardConfig boardConfig);

    // What the window found: the EEPROM table as it opened and each reading taken.
    bool EepromReferencesRead() const { return m_eepromReferencesRead; }
    const double* EepromReferences() const { return m_eepromReferences; }
    const std::vector<refs::ChannelReading>& Readings() const { return m_readings; }
    // The typed values of the last "Use Above Specified Values" that the checks refused
    // (cannot be a reference, or outside a window and not confirmed); empty when none was.
    const std::vector<double>& RefusedValues() const { return m_refusedValues; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnKeepInitialValues();
    // Selects the channel of the reference edit that takes the focus.
    void OnSetFocusReference(UINT nID);
    DECLARE_MESSAGE_MAP()

private:
    void ShowEepromReferences();
    // Takes the readings; false when the window has been ended with a failure result.
    bool MeasureReferences(CMeterLink& link);
    // Tell the operator why the meter port failed, in the system's words.
    void ReportPortNotOpened(const std::string& reason);
    void ReportPortFailure(CSerialException* e);
    // Converts the edits into the values stored (single precision) and the values typed
    // (double precision); false, after telling the operator, when one does not hold a number.
    bool ReadEditValues(float values[refs::kMeasuredChannels], double typed[refs::kMeasuredChannels]);
    // False when a typed value the board stores cannot be a reference, or lies outside its
    // tolerance window and the operator does not confirm it.
    bool CheckEditValues(const double typed[refs::kMeasuredChannels]);

    double* m_referenceVoltages;
    BoardHandle m_boardHandle;
    int m_meterIndex;
    BoardConfig m_boardConfig;

    // The table as the EEPROM held it when the window opened: written back for the
    // references that no edit holds.
    double m_eepromReferences[refs::kReferenceSlots] = {};
    bool m_eepromReferencesRead = false;
    std::vector<refs::ChannelReading> m_readings;
    std::vector<double> m_refusedValues;

    // Controls, in binding order.
    CButton m_okButton;
    CStatic m_eepromReferencesText;
    CButton m_keepButton;
    CEdit m_referenceEdits[refs::kMeasuredChannels];
};
