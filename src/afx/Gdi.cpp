// Drawing objects over plain records: a brush is a colour, a font a LOGFONT that becomes
// a QFont when text is drawn.
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "afx/AfxPrivate.h"

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CBrush, CGdiObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)
IMPLEMENT_DYNAMIC(CDC, CObject)
IMPLEMENT_DYNAMIC(CPaintDC, CDC)

namespace vantrel::afx {
namespace {

std::atomic<long> g_liveBrushes{0};

struct HandleTable {
    std::unordered_set<GdiObject*> live;
    std::unordered_map<HGDIOBJ, std::unique_ptr<CGdiObject>> wrappers;
};

HandleTable& Handles() {
    static HandleTable* table = new HandleTable;  // lives to process exit
    return *table;
}

HGDIOBJ NewObject(GdiObject obj) {
    auto* o = new GdiObject(obj);
    Handles().live.insert(o);
    if (o->kind == GdiObject::Brush && !o->stock) ++g_liveBrushes;
    return o;
}

bool FreeObject(HGDIOBJ h) {
    auto* o = static_cast<GdiObject*>(h);
    HandleTable& t = Handles();
    if (!o || !t.live.count(o) || o->stock) return false;
    t.live.erase(o);
    if (o->kind == GdiObject::Brush) --g_liveBrushes;
    const auto w = t.wrappers.find(h);
    if (w != t.wrappers.end()) {
        w->second->m_hObject = nullptr;
        t.wrappers.erase(w);
    }
    delete o;
    return true;
}

LOGFONT GuiLogFont() {
    LOGFONT lf{};
    lf.lfHeight = -11;  // 8 points at 96 dots per inch
    lf.lfWeight = FW_NORMAL;
    std::strncpy(lf.lfFaceName, "MS Sans Serif", sizeof lf.lfFaceName - 1);
    return lf;
}

std::unordered_map<const QWidget*, QPainter*>& Painters() {
    static std::unordered_map<const QWidget*, QPainter*> painters;
    return painters;
}

}  // namespace

GdiObject* GdiFromHandle(HGDIOBJ h) {
    auto* o = static_cast<GdiObject*>(h);
    return o && Handles().live.count(o) ? o : nullptr;
}

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF FromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long p = static_cast<long long>(a) * b;
    const long long half = (c > 0 ? c : -c) / 2;
    return static_cast<int>(p >= 0 ? (p + half) / c : (p - half) / c);
}

// The classic sans-serif dialog faces become Liberation Sans (metric-compatible with
// Arial); Courier New stays when installed, else Liberation Mono (metric-compatible).
QString SubstituteFace(const QString& face) {
    const QString f = face.trimmed();
    static const char* const sans[] = {
        "MS Sans Serif", "MS Shell Dlg", "MS Shell Dlg 2", "System", "Arial", "Tahoma", ""};
    for (const char* s : sans)
        if (f.compare(QLatin1String(s), Qt::CaseInsensitive) == 0) return QStringLiteral("Liberation Sans");
    if (f.compare(QLatin1String("Courier New"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("Courier"), Qt::CaseInsensitive) == 0) {
        if (QFontDatabase::families().contains(QStringLiteral("Courier New")))
            return QStringLiteral("Courier New");
        return QStringLiteral("Liberation Mono");
    }
    return f;
}

void InstallFontSubstitutions() {
    for (const char* face : {"MS Sans Serif", "MS Shell Dlg", "MS Shell Dlg 2"})
        QFont::insertSubstitution(QLatin1String(face), QStringLiteral("Liberation Sans"));
    if (!QFontDatabase::families().contains(QStringLiteral("Courier New")))
        QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
}

QFont FontFromLogFont(const LOGFONT& lf) {
    char face[LF_FACESIZE + 1] = {};
    std::memcpy(face, lf.lfFaceName, LF_FACESIZE);
    QFont f(SubstituteFace(QString::fromLatin1(face)));
    const int height = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight > 0 ? lf.lfHeight * 8 / 10 : 11;
    f.setPixelSize(height > 0 ? height : 11);
    f.setWeight(lf.lfWeight >= 600 ? QFont::Bold : QFont::Normal);
    f.setItalic(lf.lfItalic != 0);
    f.setUnderline(lf.lfUnderline != 0);
    f.setStrikeOut(lf.lfStrikeOut != 0);
    return f;
}

// Point sizes become pixels at 96 dots per inch, as the classic dialogs are laid out.
QFont DialogFont(const DialogTemplate& t) {
    QFont f(SubstituteFace(QString::fromStdString(t.fontFace)));
    f.setPixelSize(MulDiv(t.fontPointSize, 96, 72));
    return f;
}

// Horizontal unit: average width of the 52 letters, rounded; vertical: the font height.
void DialogBaseUnits(const QFont& f, int& baseX, int& baseY) {
    const QFontMetrics fm(f);
    const int width =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX = (width / 26 + 1) / 2;
    baseY = fm.height();
}

QPainter* CurrentPainterFor(const QWidget* w) {
    const auto it = Painters().find(w);
    return it == Painters().end() ? nullptr : it->second;
}

void SetCurrentPainter(const QWidget* w, QPainter* p) {
    if (p)
        Painters()[w] = p;
    else
        Painters().erase(w);
}

HICON IconHandle(const QIcon& icon) {
    auto* d = new IconData{icon};  // icons live as long as the process
    return reinterpret_cast<HICON>(d);
}

QIcon IconFromHandle(HICON h) { return h ? reinterpret_cast<IconData*>(h)->icon : QIcon(); }

}  // namespace vantrel::afx

using vantrel::afx::GdiObject;

CGdiObject::~CGdiObject() { DeleteObject(); }

BOOL CGdiObject::DeleteObject() {
    if (!m_hObject) return FALSE;
    HGDIOBJ h = Detach();
    return vantrel::afx::FreeObject(h) ? TRUE : FALSE;
}

int CGdiObject::GetObject(int size, void* out) const { return ::GetObject(m_hObject, size, out); }

BOOL CGdiObject::Attach(HGDIOBJ handle) {
    if (!handle) return FALSE;
    m_hObject = handle;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

CBrush::CBrush(COLORREF colour) { CreateSolidBrush(colour); }

BOOL CBrush::CreateSolidBrush(COLORREF colour) {
    if (m_hObject) return FALSE;
    GdiObject o{GdiObject::Brush};
    o.colour = colour;
    return Attach(vantrel::afx::NewObject(o));
}

CBrush* CBrush::FromHandle(HBRUSH handle) {
    if (!handle) return nullptr;
    auto& slot = vantrel::afx::Handles().wrappers[handle];
    if (!slot) {
        slot = std::make_unique<CBrush>();
        slot->m_hObject = handle;
    }
    return static_cast<CBrush*>(slot.get());
}

long CBrush::GetLiveCount() { return vantrel::afx::g_liveBrushes.load(); }

BOOL CFont::CreateFontIndirect(const LOGFONT* font) {
    if (m_hObject || !font) return FALSE;
    GdiObject o{GdiObject::Font};
    o.font = *font;
    return Attach(vantrel::afx::NewObject(o));
}

CFont* CFont::FromHandle(HFONT handle) {
    if (!handle) return nullptr;
    auto& slot = vantrel::afx::Handles().wrappers[handle];
    if (!slot) {
        slot = std::make_unique<CFont>();
        slot->m_hObject = handle;
    }
    return static_cast<CFont*>(slot.get());
}

COLORREF GetSysColor(int index) {
    QPalette pal;
    if (QApplication::instance()) pal = QApplication::palette();
    switch (index) {
    case COLOR_BTNFACE:
        return QApplication::instance() ? vantrel::afx::FromQColor(pal.color(QPalette::Window))
                                        : RGB(240, 240, 240);
    case COLOR_WINDOW:
        return QApplication::instance() ? vantrel::afx::FromQColor(pal.color(QPalette::Base))
                                        : RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
        return QApplication::instance() ? vantrel::afx::FromQColor(pal.color(QPalette::WindowText))
                                        : RGB(0, 0, 0);
    default: return RGB(0, 0, 0);
    }
}

HGDIOBJ GetStockObject(int object) {
    if (object != DEFAULT_GUI_FONT) return nullptr;
    static HGDIOBJ guiFont = [] {
        GdiObject o{GdiObject::Font};
        o.font = vantrel::afx::GuiLogFont();
        o.stock = true;
        return vantrel::afx::NewObject(o);
    }();
    return guiFont;
}

int GetObject(HGDIOBJ handle, int size, void* out) {
    const GdiObject* o = vantrel::afx::GdiFromHandle(handle);
    if (!o || !out) return 0;
    if (o->kind == GdiObject::Font) {
        if (size < static_cast<int>(sizeof(LOGFONT))) return 0;
        std::memcpy(out, &o->font, sizeof(LOGFONT));
        return sizeof(LOGFONT);
    }
    if (size < static_cast<int>(sizeof(COLORREF))) return 0;
    std::memcpy(out, &o->colour, sizeof(COLORREF));
    return sizeof(COLORREF);
}

BOOL DeleteObject(HGDIOBJ handle) { return vantrel::afx::FreeObject(handle) ? TRUE : FALSE; }

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
    }
}

CDC::CDC() : m_textColor(GetSysColor(COLOR_WINDOWTEXT)), m_bkColor(GetSysColor(COLOR_WINDOW)) {}
CDC::~CDC() = default;

COLORREF CDC::SetTextColor(COLORREF colour) {
    const COLORREF old = m_textColor;
    m_textColor = colour;
    return old;
}

COLORREF CDC::SetBkColor(COLORREF colour) {
    const COLORREF old = m_bkColor;
    m_bkColor = colour;
    return old;
}

int CDC::SetBkMode(int mode) {
    const int old = m_bkMode;
    m_bkMode = mode;
    return old;
}

CFont* CDC::SelectObject(CFont* font) {
    CFont* old = m_font ? CFont::FromHandle(m_font) : nullptr;
    m_font = font ? static_cast<HFONT>(font->m_hObject) : nullptr;
    return old;
}

CBrush* CDC::SelectObject(CBrush* brush) {
    CBrush* old = m_brush ? CBrush::FromHandle(m_brush) : nullptr;
    m_brush = brush ? static_cast<HBRUSH>(brush->m_hObject) : nullptr;
    return old;
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
    auto* p = static_cast<QPainter*>(m_painter);
    if (!p || !icon) return FALSE;
    p->drawPixmap(x, y, vantrel::afx::IconFromHandle(icon).pixmap(32, 32));
    return TRUE;
}

CPaintDC::CPaintDC(CWnd* wnd) {
    if (wnd && wnd->GetWidget()) m_painter = vantrel::afx::CurrentPainterFor(wnd->GetWidget());
}

CPaintDC::~CPaintDC() = default;
