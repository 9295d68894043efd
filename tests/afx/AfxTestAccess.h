#pragma once
// What the tests read of windows and dialogs that no caller of the layer needs: how often
// the base DestroyWindow ran, and whether a dialog's modal loop is running.

#include "afx/afxwin.h"

struct AfxTestAccess {
    static int DestroyCountOf(const CWnd& window) { return window.m_destroyCount; }
    static bool ModalLoopRunning(const CDialog& dialog) { return dialog.m_inModalLoop != FALSE; }
};
