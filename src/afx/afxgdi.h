#pragma once
// Drawing objects: solid brushes, fonts and the device context handed to colour
// requests and painting, plus the system colours and stock objects.

#include "afx/afxtypes.h"

class CWnd;

// Owner of one drawing-object handle; deletes it when destroyed.
class CGdiObject : public CObject {
    DECLARE_DYNAMIC(CGdiObject)
public:
    CGdiObject() = default;
    ~CGdiObject() override;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    BOOL DeleteObject();
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    // Copies the object's description (LOGFONT for a font, a COLORREF for a brush) into
    // out; returns the number of bytes copied, 0 when size is too small.
    int GetObject(int size, void* out) const;
    BOOL Attach(HGDIOBJ handle);
    HGDIOBJ Detach();
    operator HGDIOBJ() const { return m_hObject; }

    HGDIOBJ m_hObject = nullptr;
};

class CBrush : public CGdiObject {
    DECLARE_DYNAMIC(CBrush)
public:
    CBrush() = default;
    explicit CBrush(COLORREF colour);
    BOOL CreateSolidBrush(COLORREF colour);
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
    // A wrapper that stays valid as long as the handle does; not owned by the caller.
    static CBrush* FromHandle(HBRUSH handle);
    // Brushes created and not yet deleted, process-wide.
    static long GetLiveCount();
};

class CFont : public CGdiObject {
    DECLARE_DYNAMIC(CFont)
public:
    CFont() = default;
    BOOL CreateFontIndirect(const LOGFONT* font);
    // pointSize in tenths of a point.
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
    static CFont* FromHandle(HFONT handle);
    static CFont* FromHandle(HGDIOBJ handle) { return FromHandle(static_cast<HFONT>(handle)); }
};

struct CDCPrivate;

// Device context: the state a colour request sets (text colour, background mode,
// font) and, while painting, the surface to draw on.
class CDC : public CObject {
    DECLARE_DYNAMIC(CDC)
public:
    CDC();
    ~CDC() override;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    COLORREF SetTextColor(COLORREF colour);
    COLORREF GetTextColor() const { return m_textColor; }
    COLORREF SetBkColor(COLORREF colour);
    COLORREF GetBkColor() const { return m_bkColor; }
    int SetBkMode(int mode);
    int GetBkMode() const { return m_bkMode; }
    CFont* SelectObject(CFont* font);
    CBrush* SelectObject(CBrush* brush);
    HFONT GetSelectedFont() const { return m_font; }
    HDC GetSafeHdc() const { return reinterpret_cast<HDC>(const_cast<CDC*>(this)); }
    BOOL DrawIcon(int x, int y, HICON icon);

    // The surface drawn on (a QPainter) while painting; null otherwise.

protected:
    COLORREF m_textColor;
    COLORREF m_bkColor;
    int m_bkMode = OPAQUE;
    HFONT m_font = nullptr;
    HBRUSH m_brush = nullptr;
    void* m_painter = nullptr;
};

// Paint context of a window's paint handler.
class CPaintDC : public CDC {
    DECLARE_DYNAMIC(CPaintDC)
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
};

COLORREF GetSysColor(int index);
HGDIOBJ GetStockObject(int object);
int GetObject(HGDIOBJ handle, int size, void* out);
BOOL DeleteObject(HGDIOBJ handle);
int GetSystemMetrics(int index);
