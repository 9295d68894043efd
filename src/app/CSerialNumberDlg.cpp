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
    const std::string serial = text.data();
    if (const std::string problem = m_check ? m_check(serial) : std::string(); !problem.empty()) {
        MessageBox((problem + "\nScan or type the serial number again.").c_str(), "Serial Number",
                   MB_OK | MB_ICONWARNING);
        m_serialEdit.SetFocus();
        return;
    }
    m_serial = serial;
    CDialog::OnOK();
}
