#pragma once
// The Measure References window: shows the references stored in EEPROM and those the run
// measured (or lets the operator type them), checks typed values against their tolerance
// windows, and returns the operator's choice with the values to store. The run takes the
// readings; the window asks for them as it opens, before it shows.

#include "afx/afx.h"
#include "meter/CMeterLink.h"
#include "meter/ReferenceTable.h"
#include "platform/bqxdrv.h"

#include <functional>
#include <string>
#include <vector>

namespace vantrel::meter {

// What the window shows when it opens, as the run found it.
struct MeasureOpening {
    bool measured = false;  // false: the run could not measure, and the window ends unseen
    double eepromReferences[kReferenceSlots] = {};  // zeros when the read failed
    bool eepromReferencesRead = false;
    std::vector<double> readings;  // channel by channel, by size
};

// The operator's answer.
struct MeasureChoice {
    enum class Action { Use, Keep, Cancel, NotMeasured };
    Action action = Action::Cancel;
    // With Use: one value per reference of the board, then 0.0.
    double references[kReferenceSlots] = {};
    // The typed values of the last "Use Above Specified Values" that the checks refused
    // (cannot be a reference, or outside a window and not confirmed); empty when none was.
    std::vector<double> refused;
};

}  // namespace vantrel::meter

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
        kResultNotMeasured = -3,
    };

    using TakeReadings = std::function<vantrel::meter::MeasureOpening()>;

    // Stores its arguments only; takeReadings runs when the window opens.
    CMeasureRefsDlg(CWnd* pParent, BoardHandle boardHandle, MeterType meter, std::uint8_t boardType,
                    TakeReadings takeReadings);

    // Runs the window modally and returns the operator's choice.
    vantrel::meter::MeasureChoice Ask();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnKeepInitialValues();
    // Selects the channel of the reference edit that takes the focus.
    void OnSetFocusReference(UINT nID);
    DECLARE_MESSAGE_MAP()

private:
    void ShowOpening();
    // Converts the edits into the values stored (single precision) and the values typed
    // (double precision); false, after telling the operator, when one does not hold a number.
    bool ReadEditValues(float values[vantrel::meter::kMeasuredChannels],
                        double typed[vantrel::meter::kMeasuredChannels]);
    // False when a typed value the board stores cannot be a reference, or lies outside its
    // tolerance window and the operator does not confirm it.
    bool CheckEditValues(const double typed[vantrel::meter::kMeasuredChannels]);

    BoardHandle m_boardHandle;
    MeterType m_meter;
    std::uint8_t m_boardType;
    TakeReadings m_takeReadings;

    // The table as the EEPROM held it when the window opened: written back for the
    // references that no edit holds.
    vantrel::meter::MeasureOpening m_opening;
    vantrel::meter::MeasureChoice m_choice;

    // Controls, in binding order.
    CButton m_okButton;
    CStatic m_eepromReferencesText;
    CButton m_keepButton;
    CEdit m_referenceEdits[vantrel::meter::kMeasuredChannels];
};
