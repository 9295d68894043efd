#pragma once
// The box that asks for the serial number of the board at Initialize Board, when the
// bench's records settings switch it on. A barcode scanner types into it like a keyboard.

#include "afx/afx.h"

#include <functional>
#include <string>

class CSerialNumberDlg : public CDialog {
public:
    enum : int { IDD = 104, IDC_SERIAL_NUMBER = 1070 };

    // `check` says what is wrong with a serial number (empty: nothing); a refused one keeps
    // the box open with the reason.
    using SerialCheck = std::function<std::string(const std::string&)>;
    explicit CSerialNumberDlg(CWnd* pParent, SerialCheck check = {})
        : CDialog(IDD, pParent), m_check(std::move(check)) {}

    // The text of the box as the operator left it, exactly; valid after IDOK.
    const std::string& SerialNumber() const { return m_serial; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    CEdit m_serialEdit;
    std::string m_serial;
    SerialCheck m_check;
};
