#include "TestDialogs.h"

#include <gtest/gtest.h>

#include <functional>

namespace afxtest {

void RegisterTestTemplates() {
    static const bool done = [] {
        const char* script = R"(
900 DIALOG 0, 0, 200, 150
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "Test Dialog"
FONT 8, "MS Sans Serif"
BEGIN
    EDITTEXT        1001, 10, 10, 60, 12, ES_AUTOHSCROLL
    EDITTEXT        1002, 80, 10, 60, 12, ES_AUTOHSCROLL
    PUSHBUTTON      "Button", 1003, 10, 30, 50, 14
    PUSHBUTTON      "Other", 1004, 70, 30, 50, 14
    COMBOBOX        1005, 10, 50, 60, 80, CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP
    CTEXT           "Label", 1006, 80, 50, 60, 20, SS_CENTERIMAGE
    EDITTEXT        1007, 150, 50, 40, 12, ES_CENTER | ES_READONLY | NOT WS_BORDER
    CONTROL         "", 1008, "RICHEDIT", ES_MULTILINE | ES_READONLY | WS_BORDER | WS_VSCROLL | WS_TABSTOP, 10, 80, 180, 40
    CONTROL         "A", 1011, "Button", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 10, 125, 30, 10
    CONTROL         "B", 1012, "Button", BS_AUTORADIOBUTTON, 50, 125, 30, 10
    PUSHBUTTON      "Last", 1009, 100, 125, 40, 14, WS_GROUP
END

900 DLGINIT
BEGIN
    1005, "Zero"
    1005, "One"
    1005, "Two"
END

901 DIALOG 0, 0, 200, 150
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "Default Dialog"
FONT 8, "MS Sans Serif"
BEGIN
    EDITTEXT        1001, 10, 10, 60, 12, ES_AUTOHSCROLL
    DEFPUSHBUTTON   "Default", 1010, 10, 30, 50, 14
    PUSHBUTTON      "Button", 1003, 70, 30, 50, 14
END
)";
        std::string error;
        const bool ok = vantrel::afx::AddDialogTemplates(script, &error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }();
    (void)done;
}

BEGIN_MESSAGE_MAP(CColourLabel, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

CColourLabel::CColourLabel() {
    m_brush = new CBrush(GetSysColor(COLOR_BTNFACE));
    LOGFONT lf;
    ::GetObject(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    m_font.CreateFontIndirect(&lf);
}

CColourLabel::~CColourLabel() { delete m_brush; }

void CColourLabel::SetBkColor(COLORREF colour) {
    delete m_brush;
    m_brush = new CBrush(colour);
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

HBRUSH CColourLabel::CtlColor(CDC* dc, UINT kind) {
    ++m_requests;
    m_lastKind = kind;
    dc->SelectObject(&m_font);
    dc->SetTextColor(RGB(0, 0, 0));
    dc->SetBkMode(TRANSPARENT);
    return static_cast<HBRUSH>(*m_brush);
}

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
    ON_BN_CLICKED(kButton, OnButton)
    ON_BN_CLICKED(kOtherButton, OnOtherButton)
    ON_BN_CLICKED(kDefButton, OnDefButton)
    ON_EN_SETFOCUS(kEdit, OnEditFocus)
    ON_CBN_SELCHANGE(kCombo, OnComboSelChange)
    ON_WM_CLOSE()
END_MESSAGE_MAP()

CTestDlg::CTestDlg(UINT templateId) : CDialog(templateId) { RegisterTestTemplates(); }
CTestDlg::~CTestDlg() = default;

void CTestDlg::DoDataExchange(CDataExchange* dx) {
    if (GetTemplateId() != kPlainDialog) return;
    DDX_Control(dx, kLabel, m_label);
    DDX_Control(dx, kReadOnly, m_readOnly);
    DDX_Control(dx, kConsole, m_console);
    DDX_Control(dx, kCombo, m_combo);
}

BOOL CTestDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    events.push_back("init");
    if (endInInit) {
        EndDialog(endInInit);
        return TRUE;
    }
    if (focusInInit) {
        GetDlgItem(kEdit)->SetFocus();
        GetDlgItem(kButton)->SetFocus();
        return FALSE;
    }
    return TRUE;
}

BOOL CTestDlg::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN) events.push_back("key " + std::to_string(msg->wParam));
    if (enterToTab && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
        CWnd* focus = GetFocus();
        if (focus && focus->GetDlgCtrlID() == kEdit) msg->wParam = VK_TAB;
    }
    return CDialog::PreTranslateMessage(msg);
}

BOOL CTestDlg::DestroyWindow() {
    ++destroyCalls;
    return CDialog::DestroyWindow();
}

void CTestDlg::OnOK() {
    events.push_back("OnOK");
    CDialog::OnOK();
}

void CTestDlg::OnCancel() {
    events.push_back("OnCancel");
    CDialog::OnCancel();
}

void CTestDlg::OnButton() {
    events.push_back("click " + std::to_string(kButton));
    if (onButton) onButton(*this);
}

void CTestDlg::OnOtherButton() { events.push_back("click " + std::to_string(kOtherButton)); }
void CTestDlg::OnDefButton() { events.push_back("click " + std::to_string(kDefButton)); }
void CTestDlg::OnEditFocus() { events.push_back("setfocus " + std::to_string(kEdit)); }
void CTestDlg::OnComboSelChange() { events.push_back("selchange " + std::to_string(m_combo.GetCurSel())); }

void CTestDlg::OnClose() {
    events.push_back("close");
    if (handleClose) CDialog::OnClose();
}

BEGIN_MESSAGE_MAP(CBaseMapDlg, CDialog)
    ON_BN_CLICKED(kButton, OnButton)
    ON_BN_CLICKED(kOtherButton, OnOther)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CDerivedMapDlg, CBaseMapDlg)
    ON_BN_CLICKED(kButton, OnButtonDerived)
    ON_CONTROL_RANGE(BN_CLICKED, kCombo, kReadOnly, OnRange)
END_MESSAGE_MAP()

}  // namespace afxtest
