#pragma once
// A text field whose background colour the program sets: the verdict fields beside the
// tests and the FPGA revision field. It repaints at once on every change, because the
// tests run inside button handlers and the window gets no other chance to repaint.

#include "afx/afx.h"

class CStatusLabel : public CStatic {
public:
    CStatusLabel();
    ~CStatusLabel() override;

    CStatusLabel(const CStatusLabel&) = delete;
    CStatusLabel& operator=(const CStatusLabel&) = delete;

    // Sets the text and repaints the field now.
    void SetText(const char* text);
    // Replaces the background brush by one of the given colour and repaints now.
    void SetBkColor(COLORREF colour);

protected:
    HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
    void OnLButtonDown(UINT nFlags, CPoint point);
    DECLARE_MESSAGE_MAP()

public:
    COLORREF m_textColor;
    CBrush m_bkBrush;
    CFont m_font;
};
