#pragma once
// What the tests read of the main window that its operator never sees: the board held, the
// driver record, the icon and what the last press of each button found.

#include "app/CMainTestDlg.h"

struct CMainTestDlgAccess {
    static BoardHandle BoardHandleOf(const CMainTestDlg& dlg) { return dlg.m_boardHandle; }
    static const BoardConfig& BoardConfigOf(const CMainTestDlg& dlg) { return dlg.m_boardConfig; }
    static HICON AppIconOf(const CMainTestDlg& dlg) { return dlg.m_appIcon; }
    static const vantrel::app::LastRunResults& LastResultsOf(const CMainTestDlg& dlg) {
        return dlg.m_lastResults;
    }
};
