#pragma once
// Small dialogs of the tests' own, built from templates registered at run time.

#include <string>
#include <vector>

#include "afx/afx.h"

namespace afxtest {

// Template ids of the test dialogs.
inline constexpr UINT kPlainDialog = 900;    // no default button
inline constexpr UINT kDefaultDialog = 901;  // button 1010 is the default push button

inline constexpr int kEdit = 1001;
inline constexpr int kSecondEdit = 1002;
inline constexpr int kButton = 1003;
inline constexpr int kOtherButton = 1004;
inline constexpr int kCombo = 1005;
inline constexpr int kLabel = 1006;
inline constexpr int kReadOnly = 1007;
inline constexpr int kConsole = 1008;
inline constexpr int kRadioA = 1011;
inline constexpr int kRadioB = 1012;
inline constexpr int kDefButton = 1010;

void RegisterTestTemplates();

// A static control that paints itself on a brush of its own colour.
class CColourLabel : public CStatic {
public:
    CColourLabel();
    ~CColourLabel() override;
    void SetBkColor(COLORREF colour);
    int Requests() const { return m_requests; }
    UINT LastKind() const { return m_lastKind; }

protected:
    afx_msg HBRUSH CtlColor(CDC* dc, UINT kind);
    CBrush* m_brush = nullptr;
    CFont m_font;
    int m_requests = 0;
    UINT m_lastKind = 0;
    DECLARE_MESSAGE_MAP()
};

class CTestDlg : public CDialog {
public:
    explicit CTestDlg(UINT templateId = kPlainDialog);
    ~CTestDlg() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL DestroyWindow() override;
    void OnOK() override;
    void OnCancel() override;

    // What happened, in order ("click 1003", "setfocus 1001", "OnOK", "close", ...).
    std::vector<std::string> events;
    bool enterToTab = false;   // Enter in kEdit becomes Tab
    bool handleClose = false;  // the close box goes to OnClose
    int endInInit = 0;         // nonzero: EndDialog(endInInit) in OnInitDialog
    bool focusInInit = false;  // SetFocus on kEdit, then kButton, in OnInitDialog
    int destroyCalls = 0;
    std::function<void(CTestDlg&)> onButton;  // runs inside the click of kButton

    CColourLabel m_label;
    CColourLabel m_readOnly;
    CRichEditCtrl m_console;
    CComboBox m_combo;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    afx_msg void OnButton();
    afx_msg void OnOtherButton();
    afx_msg void OnDefButton();
    afx_msg void OnEditFocus();
    afx_msg void OnComboSelChange();
    afx_msg void OnClose();
    DECLARE_MESSAGE_MAP()
};

// A dialog whose map handles kButton in its base and kButton again in the derived class.
class CBaseMapDlg : public CDialog {
public:
    CBaseMapDlg() : CDialog(kPlainDialog) { RegisterTestTemplates(); }
    std::vector<std::string> events;

protected:
    afx_msg void OnButton() { events.push_back("base button"); }
    afx_msg void OnOther() { events.push_back("base other"); }
    DECLARE_MESSAGE_MAP()
};

class CDerivedMapDlg : public CBaseMapDlg {
protected:
    afx_msg void OnButtonDerived() { events.push_back("derived button"); }
    afx_msg void OnRange(UINT id) { events.push_back("range " + std::to_string(id)); }
    DECLARE_MESSAGE_MAP()
};

}  // namespace afxtest
