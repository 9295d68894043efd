#include "console/CStatusLabel.h"

#include "console/Repaint.h"
#include "platform/ShellOpen.h"

#include <string>

BEGIN_MESSAGE_MAP(CStatusLabel, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CStatusLabel::CStatusLabel() : m_textColor(GetSysColor(COLOR_WINDOWTEXT)) {
    m_bkBrush.CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    LOGFONT logFont{};
    ::GetObject(GetStockObject(DEFAULT_GUI_FONT), sizeof(LOGFONT), &logFont);
    m_font.CreateFontIndirect(&logFont);
}

CStatusLabel::~CStatusLabel() {
    m_font.DeleteObject();
    m_bkBrush.DeleteObject();
}

void CStatusLabel::SetText(const char* text) {
    SetWindowText(text);
    RedrawWindow(nullptr, nullptr, vantrel::console::kRepaintNow);
}

void CStatusLabel::SetBkColor(COLORREF colour) {
    if (m_bkBrush.GetSafeHandle()) m_bkBrush.DeleteObject();
    m_bkBrush.CreateSolidBrush(colour);
    RedrawWindow(nullptr, nullptr, vantrel::console::kRepaintNow);
}

HBRUSH CStatusLabel::CtlColor(CDC* pDC, UINT nCtlColor) {
    // A read-only edit box asks with the static kind too.
    if (nCtlColor == CTLCOLOR_STATIC) {
        pDC->SelectObject(&m_font);
        pDC->SetTextColor(m_textColor);
        pDC->SetBkMode(TRANSPARENT);
    }
    return static_cast<HBRUSH>(m_bkBrush.GetSafeHandle());
}

void CStatusLabel::OnLButtonDown(UINT /*nFlags*/, CPoint /*point*/) {
    const int length = GetWindowTextLength();
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
    GetWindowText(text.data(), length + 1);
    text.resize(std::char_traits<char>::length(text.c_str()));
    // What the desktop makes of the text is its own affair.
    vantrel::platform::ShellOpen(text);
    Default();
}
