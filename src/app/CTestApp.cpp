#include "app/CTestApp.h"

#include "app/CMainTestDlg.h"

BEGIN_MESSAGE_MAP(CTestApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CTestApp::CTestApp() = default;

BOOL CTestApp::InitInstance() {
    Enable3dControls();
    AfxEnableControlContainer();
    // The console needs the rich-edit library before the dialog is created.
    AfxInitRichEdit();

    CMainTestDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;

    // The dialog has closed: let the framework end the process.
    return FALSE;
}
