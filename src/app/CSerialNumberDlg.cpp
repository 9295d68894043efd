#include "app/CSerialNumberDlg.h"

#include <vector>

void CSerialNumberDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SERIAL_NUMBER, m_serialEdit);
}

BOOL CSerialNumberDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_serialEdit.SetFocus();
    // The focus is set above.
    return FALSE;
}

void CSerialNumberDlg::OnOK() {
    std::vector<char> text(static_cast<std::size_t>(m_serialEdit.GetWindowTextLength()) + 1, '\0');
    m_serialEdit.GetWindowText(text.data(), static_cast<int>(text.size()));
    m_serial = text.data();
    CDialog::OnOK();
}
