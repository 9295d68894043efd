#pragma once
// Windows, dialogs and controls over Qt Widgets, with the classic class interface: a
// CWnd wraps one widget, a CDialog is built from a dialog template held in the
// resources, and controls are bound to C++ objects by their ids.

#include <functional>
#include <memory>
#include <string>

#include "afx/afxgdi.h"
#include "afx/afxmsg.h"
#include "afx/afxtypes.h"

class QWidget;
class CWnd;
class CDialog;

namespace vantrel::afx {
struct CDialogPrivate;
}

// Base of every class with a message map.
class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    CCmdTarget() = default;
    ~CCmdTarget() override = default;

    // Looks the message up in the maps, most derived first. True when an entry handled it;
    // *result then holds the handler's answer.
    BOOL DispatchMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // True when some map of this object has an entry for the message (and, for
    // WM_COMMAND, for the code and id in wParam).
    BOOL HasHandler(UINT message, WPARAM wParam = 0) const;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

class CDataExchange;

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The wrapped widget, null while the object is not attached to a window.
    QWidget* GetWidget() const { return m_pWidget; }
    // The object bound to a widget, or null.
    static CWnd* FromWidget(const QWidget* widget);
    // The object bound to a widget; for a control of a dialog without a bound object, a
    // wrapper of the control's class owned by the dialog.
    static CWnd* FromHandle(HWND hwnd);

    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;

    void SetWindowText(const char* text);
    int GetWindowText(char* buffer, int maxCount) const;
    int GetWindowTextLength() const;
    void SetDlgItemText(int id, const char* text);

    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;

    CWnd* SetFocus();
    static CWnd* GetFocus();

    // Repaints before returning: the pixels are updated even while a handler keeps the
    // event loop from running.
    BOOL RedrawWindow(const RECT* rect = nullptr, void* region = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    void CheckRadioButton(int firstId, int lastId, int checkId);
    int GetCheckedRadioButton(int firstId, int lastId);
    UINT IsDlgButtonChecked(int id) const;

    HICON SetIcon(HICON icon, BOOL bigIcon);
    HICON GetIcon(BOOL bigIcon) const;

    int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);

    BOOL IsIconic() const;
    void GetClientRect(RECT* rect) const;

    virtual BOOL DestroyWindow();
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Runs a message through this window: message map first, then the default processing.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Binds this object to a widget (done by DDX_Control); false when the widget is
    // already bound to another object.
    BOOL Attach(QWidget* widget);
    QWidget* Detach();

    HWND m_hWnd = nullptr;

protected:
    // The default processing of the message being handled.
    LRESULT Default();
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void DoDataExchange(CDataExchange* dx);

    afx_msg void OnClose();
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnLButtonDown(UINT flags, CPoint point);

    DECLARE_MESSAGE_MAP()

private:
    friend class CDialog;
    // Reads how often the base DestroyWindow ran, for the tests (tests/afx/AfxTestAccess.h).
    friend struct AfxTestAccess;
    QWidget* m_pWidget = nullptr;
    int m_destroyCount = 0;
};

// Control binding context handed to DoDataExchange.
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    void Fail();

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// Binds control to the dialog's control with that id (any CWnd-derived class may be
// bound to any kind of control).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    CDialog();
    ~CDialog() override;

    // Builds the window from the template, runs OnInitDialog and the modal loop; then
    // destroys the window through DestroyWindow. Returns the EndDialog result.
    virtual INT_PTR DoModal();
    // Builds the window, runs OnInitDialog and shows it without a modal loop (the caller's
    // event loop drives it). When EndDialog ends it, the window is hidden and
    // DestroyWindow runs once the current handler has returned.
    BOOL Create(UINT templateId = 0, CWnd* parent = nullptr);
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    void GotoDlgCtrl(CWnd* control);
    DWORD GetDefID() const;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL DestroyWindow() override;

    UINT GetTemplateId() const { return m_nIDTemplate; }
    BOOL IsEnded() const { return m_ended; }
    int GetEndResult() const { return m_result; }
    // The control with the keyboard focus as the dialog sees it (also before it shows).
    int GetFocusControlId() const;

    // Framework side of the window: keys, focus changes, notifications. Not for callers.
    vantrel::afx::CDialogPrivate* Private() const { return m_d.get(); }

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    DECLARE_MESSAGE_MAP()

private:
    friend struct vantrel::afx::CDialogPrivate;
    friend class CWnd;
    friend struct AfxTestAccess;
    BOOL BuildWindow();
    BOOL RunInitDialog();
    void NextDlgCtrlFromStart();

    UINT m_nIDTemplate = 0;
    CWnd* m_pParentWnd = nullptr;
    BOOL m_ended = FALSE;
    int m_result = 0;
    BOOL m_inModalLoop = FALSE;
    BOOL m_modeless = FALSE;
    BOOL m_starting = FALSE;  // OnInitDialog is running
    std::unique_ptr<vantrel::afx::CDialogPrivate> m_d;
};

class CStatic : public CWnd {
    DECLARE_DYNAMIC(CStatic)
public:
    CStatic() = default;
};

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)
public:
    CButton() = default;
    void SetCheck(int check);
};

class CEdit : public CWnd {
    DECLARE_DYNAMIC(CEdit)
public:
    CEdit() = default;
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    void ReplaceSel(const char* text, BOOL canUndo = FALSE);
    void LimitText(int maxChars = 0);
};

class CComboBox : public CWnd {
    DECLARE_DYNAMIC(CComboBox)
public:
    CComboBox() = default;
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetLBText(int index, char* buffer) const;
    int GetLBTextLen(int index) const;
};

class CRichEditCtrl : public CWnd {
    DECLARE_DYNAMIC(CRichEditCtrl)
public:
    CRichEditCtrl() = default;
    // Positions beyond the end of the text are clamped to the end; -1 as end selects to
    // the end.
    void SetSel(long start, long end);
    void GetSel(long& start, long& end) const;
    void ReplaceSel(const char* text, BOOL canUndo = FALSE);
    BOOL SetDefaultCharFormat(CHARFORMAT& format);
    BOOL SetSelectionCharFormat(CHARFORMAT& format);
    DWORD GetDefaultCharFormat(CHARFORMAT& format) const;
    DWORD GetSelectionCharFormat(CHARFORMAT& format) const;
    void LimitText(long maxChars = 0);
    long GetLimitText() const;
    long StreamOut(int format, EDITSTREAM& stream);
    long GetTextLength() const;
};

class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)
public:
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    BOOL Enable3dControls();
    HICON LoadIcon(UINT id) const;
    afx_msg void OnHelp();

    CWnd* m_pMainWnd = nullptr;
    const char* m_pszAppName = nullptr;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
BOOL AfxEnableControlContainer();
BOOL AfxInitRichEdit();
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
// Creates the application, runs the one CWinApp's InitInstance and returns the exit code.
int AfxWinMain(int argc, char** argv);
// How many arguments from argv[i] on make one of the toolkit's own options, which AfxWinMain
// hands on to the toolkit (-platform NAME, -style=NAME, -reverse, ...): 1 or 2, or 0 when
// argv[i] is none of them.
int AfxToolkitOptionLength(int argc, const char* const* argv, int i);

namespace vantrel::afx {

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    UINT type = MB_OK;
};

// Every message box goes through here. With a handler installed the handler answers
// (returning the button id) and nothing is shown; without one a real modal box appears.
// An empty function removes the handler.
using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;
void SetMessageBoxHandler(MessageBoxHandler handler);
int ShowMessageBox(const char* text, const char* caption, UINT type);

// Called once a modal dialog is shown and its loop runs. An empty function removes it.
using ModalHook = std::function<void(CDialog&)>;
void SetModalHook(ModalHook hook);

// Reports an exception that escaped a message handler the way the framework does: a
// message box with its text; then deletes it.
void ReportUncaughtException(CException* e);

// Adds dialog templates from resource-script text (DIALOG blocks); later definitions of an
// id replace earlier ones. False with a description on a syntax error.
bool AddDialogTemplates(const char* scriptText, std::string* error = nullptr);

// Makes sure the one application object of the toolkit exists (offscreen in tests).
void EnsureApplication();

}  // namespace vantrel::afx
