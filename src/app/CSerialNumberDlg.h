// The box that asks for the serial number of the board at Initialize Board, when the
// bench's records settings switch it on. A barcode scanner types into it like a keyboard.
#pragma once

#include "afx/afx.h"

#include <string>

class CSerialNumberDlg : public CDialog {
public:
    enum : int { IDD = 104, IDC_SERIAL_NUMBER = 1070 };

    explicit CSerialNumberDlg(CWnd* pParent) : CDialog(IDD, pParent) {}

    // The text of the box as the operator left it, exactly; valid after IDOK.
    const std::string& SerialNumber() const { return m_serial; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    CEdit m_serialEdit;
    std::string m_serial;
};
