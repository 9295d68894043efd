// CWnd and the plain controls: each wraps one widget and answers the classic messages by
// acting on it.
#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QRadioButton>
#include <QWindow>

#include <cstring>
#include <unordered_map>

#include "afx/AfxPrivate.h"

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)
IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CComboBox, CWnd)
IMPLEMENT_DYNAMIC(CRichEditCtrl, CWnd)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

namespace vantrel::afx {
namespace {

constexpr const char* kWndProperty = "afxWnd";
constexpr const char* kBigIconProperty = "afxBigIcon";
constexpr const char* kSmallIconProperty = "afxSmallIcon";

struct Frame {
    CWnd* wnd;
    UINT message;
    bool wantsDefault;
};

std::vector<Frame>& Frames() {
    static std::vector<Frame> frames;
    return frames;
}

bool g_lastWantsDefault = false;

std::unordered_map<const CWnd*, QMetaObject::Connection>& DestroyConnections() {
    static std::unordered_map<const CWnd*, QMetaObject::Connection> connections;
    return connections;
}

bool ValidUtf8(const char* s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    while (*p) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int extra = (*p & 0xE0) == 0xC0 ? 1 : (*p & 0xF0) == 0xE0 ? 2 : (*p & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || *p == 0xC0 || *p == 0xC1) return false;
        ++p;
        for (; extra > 0; --extra, ++p)
            if ((*p & 0xC0) != 0x80) return false;
    }
    return true;
}

int CopyOut(const QString& text, char* buffer, int maxCount) {
    if (!buffer || maxCount <= 0) return 0;
    const std::string s = ToText(text);
    const int n = static_cast<int>(std::min<size_t>(s.size(), static_cast<size_t>(maxCount - 1)));
    std::memcpy(buffer, s.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

void SetButtonChecked(QAbstractButton* b, bool on) {
    QButtonGroup* g = b->group();
    const bool exclusive = g && g->exclusive();
    if (exclusive) g->setExclusive(false);
    b->setChecked(on);
    if (exclusive) g->setExclusive(true);
}

}  // namespace

QString FromText(const char* text) {
    if (!text) return QString();
    return ValidUtf8(text) ? QString::fromUtf8(text) : QString::fromLatin1(text);
}

std::string ToText(const QString& text) { return text.toUtf8().toStdString(); }

int ControlIdOf(const QWidget* w) {
    if (!w) return 0;
    const QVariant v = w->property(kIdProperty);
    return v.isValid() ? v.toInt() : 0;
}

ControlKind ControlKindOf(const QWidget* w) {
    return static_cast<ControlKind>(w ? w->property(kKindProperty).toInt() : 0);
}

bool ControlHasStyle(const QWidget* w, const char* style) {
    return w && w->property(kStylesProperty).toStringList().contains(QLatin1String(style));
}

QWidget* ControlOf(QWidget* w) {
    for (QWidget* c = w; c; c = c->parentWidget()) {
        if (c->property(kIdProperty).isValid()) return c;
        if (c->isWindow()) break;
    }
    return nullptr;
}

CDialog* DialogOfWidget(const QWidget* w) {
    if (!w) return nullptr;
    auto* dw = dynamic_cast<const DialogWidget*>(w->window());
    return dw ? dw->Owner() : nullptr;
}

void RequestDefaultProcessing(CWnd* wnd, UINT message) {
    std::vector<Frame>& frames = Frames();
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
        if (it->wnd == wnd && it->message == message) {
            it->wantsDefault = true;
            return;
        }
    }
}

void ReportStdException(const std::exception& e) {
    const std::string text = std::string("An unexpected error occurred: ") + e.what();
    ShowMessageBox(text.c_str(), nullptr, MB_OK | MB_ICONSTOP);
}

LRESULT CallWindowProcSafe(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam, bool* wantsDefault) {
    g_lastWantsDefault = false;
    LRESULT r = 0;
    try {
        r = wnd->WindowProc(message, wParam, lParam);
    } catch (CException* e) {
        ReportUncaughtException(e);
    } catch (const std::exception& e) {
        ReportStdException(e);
    }
    if (wantsDefault) *wantsDefault = g_lastWantsDefault;
    return r;
}

}  // namespace vantrel::afx

using vantrel::afx::FromText;

CWnd::CWnd() = default;

CWnd::~CWnd() { Detach(); }

BOOL CWnd::Attach(QWidget* widget) {
    if (!widget) return FALSE;
    CWnd* current = FromWidget(widget);
    if (current == this) return TRUE;
    if (current) return FALSE;
    Detach();
    m_pWidget = widget;
    m_hWnd = widget;
    widget->setProperty(vantrel::afx::kWndProperty,
                        QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(this)));
    vantrel::afx::DestroyConnections()[this] = QObject::connect(widget, &QObject::destroyed, [this]() {
        m_pWidget = nullptr;
        m_hWnd = nullptr;
        vantrel::afx::DestroyConnections().erase(this);
    });
    return TRUE;
}

QWidget* CWnd::Detach() {
    QWidget* w = m_pWidget;
    auto& conns = vantrel::afx::DestroyConnections();
    const auto it = conns.find(this);
    if (it != conns.end()) {
        QObject::disconnect(it->second);
        conns.erase(it);
    }
    if (w && FromWidget(w) == this) w->setProperty(vantrel::afx::kWndProperty, QVariant());
    m_pWidget = nullptr;
    m_hWnd = nullptr;
    return w;
}

CWnd* CWnd::FromWidget(const QWidget* widget) {
    if (!widget) return nullptr;
    const QVariant v = widget->property(vantrel::afx::kWndProperty);
    return v.isValid() ? reinterpret_cast<CWnd*>(v.value<quintptr>()) : nullptr;
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    auto* w = static_cast<QWidget*>(hwnd);
    if (!w) return nullptr;
    if (CWnd* bound = FromWidget(w)) return bound;
    CDialog* dlg = vantrel::afx::DialogOfWidget(w);
    if (dlg && vantrel::afx::ControlIdOf(w) != 0) return dlg->Private()->WrapperFor(w);
    return nullptr;
}

CWnd* CWnd::GetDlgItem(int id) const {
    const auto* dlg = dynamic_cast<const CDialog*>(this);
    if (!dlg || !dlg->Private()) return nullptr;
    QWidget* w = dlg->Private()->Control(id);
    return w ? FromHandle(w) : nullptr;
}

int CWnd::GetDlgCtrlID() const { return vantrel::afx::ControlIdOf(m_pWidget); }

void CWnd::SetWindowText(const char* text) {
    QWidget* w = m_pWidget;
    if (!w) return;
    const QString s = FromText(text);
    if (w->isWindow()) {
        w->setWindowTitle(s);
    } else if (auto* rich = dynamic_cast<vantrel::afx::RichEditWidget*>(w)) {
        rich->Clear();
        if (!s.isEmpty()) rich->ReplaceSel(s);
    } else if (auto* combo = dynamic_cast<QComboBox*>(w)) {
        if (combo->isEditable()) combo->setEditText(s);
    } else if (auto* edit = dynamic_cast<QLineEdit*>(w)) {
        edit->setText(s);
    } else if (auto* group = dynamic_cast<QGroupBox*>(w)) {
        group->setTitle(s);
    } else if (auto* button = dynamic_cast<QAbstractButton*>(w)) {
        button->setText(s);
    } else if (auto* label = dynamic_cast<QLabel*>(w)) {
        label->setText(s);
        vantrel::afx::AnnounceStatus(label, s);
    }
    if (w->isVisible()) w->repaint();
}

int CWnd::GetWindowText(char* buffer, int maxCount) const {
    QWidget* w = m_pWidget;
    if (!w) {
        if (buffer && maxCount > 0) buffer[0] = '\0';
        return 0;
    }
    QString s;
    if (w->isWindow()) {
        s = w->windowTitle();
    } else if (auto* rich = dynamic_cast<QPlainTextEdit*>(w)) {
        s = rich->toPlainText();
    } else if (auto* combo = dynamic_cast<QComboBox*>(w)) {
        s = combo->currentText();
    } else if (auto* edit = dynamic_cast<QLineEdit*>(w)) {
        s = edit->text();
    } else if (auto* group = dynamic_cast<QGroupBox*>(w)) {
        s = group->title();
    } else if (auto* button = dynamic_cast<QAbstractButton*>(w)) {
        s = button->text();
    } else if (auto* label = dynamic_cast<QLabel*>(w)) {
        s = label->text();
    }
    return vantrel::afx::CopyOut(s, buffer, maxCount);
}

int CWnd::GetWindowTextLength() const {
    if (auto* rich = dynamic_cast<vantrel::afx::RichEditWidget*>(m_pWidget))
        return static_cast<int>(rich->Length());
    std::string s(1 << 16, '\0');
    return GetWindowText(s.data(), static_cast<int>(s.size()));
}

void CWnd::SetDlgItemText(int id, const char* text) {
    if (CWnd* c = GetDlgItem(id)) c->SetWindowText(text);
}

BOOL CWnd::EnableWindow(BOOL enable) {
    if (!m_pWidget) return FALSE;
    const BOOL wasDisabled = !m_pWidget->isEnabled();
    m_pWidget->setEnabled(enable != FALSE);
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const { return m_pWidget && m_pWidget->isEnabled(); }

CWnd* CWnd::SetFocus() {
    CWnd* previous = GetFocus();
    if (!m_pWidget) return previous;
    if (auto* dlg = dynamic_cast<CDialog*>(this)) {
        // Focusing a dialog puts the focus on its first tab stop.
        const std::vector<QWidget*> stops = dlg->Private()->TabStops();
        if (!stops.empty()) {
            stops.front()->setFocus(Qt::OtherFocusReason);
            dlg->Private()->NoteFocus(stops.front(), false);
        }
        return previous;
    }
    m_pWidget->setFocus(Qt::OtherFocusReason);
    if (CDialog* dlg = vantrel::afx::DialogOfWidget(m_pWidget)) dlg->Private()->NoteFocus(m_pWidget, false);
    return previous;
}

CWnd* CWnd::GetFocus() {
    if (QWidget* f = QApplication::focusWidget()) {
        QWidget* control = vantrel::afx::ControlOf(f);
        if (control) return FromHandle(control);
        if (CWnd* w = FromWidget(f)) return w;
    }
    std::vector<CDialog*>& running = vantrel::afx::RunningDialogs();
    if (!running.empty()) {
        CDialog* dlg = running.back();
        if (dlg->Private() && dlg->Private()->focusId != 0)
            if (QWidget* c = dlg->Private()->Control(dlg->Private()->focusId)) return FromHandle(c);
    }
    return nullptr;
}

BOOL CWnd::RedrawWindow(const RECT* rect, void* /*region*/, UINT flags) {
    QWidget* w = m_pWidget;
    if (!w) return FALSE;
    QWidget* target = w;
    if (auto* rich = dynamic_cast<vantrel::afx::RichEditWidget*>(w)) target = rich->viewport();
    if (flags & RDW_INVALIDATE) {
        if (rect)
            target->update(QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top));
        else
            target->update();
    }
    if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) {
        if (target != w) w->repaint();
        if (rect)
            target->repaint(QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top));
        else
            target->repaint();
    }
    return TRUE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return vantrel::afx::CallWindowProcSafe(this, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    std::vector<vantrel::afx::Frame>& frames = vantrel::afx::Frames();
    frames.push_back({this, message, false});
    struct Pop {
        std::vector<vantrel::afx::Frame>& f;
        ~Pop() {
            vantrel::afx::g_lastWantsDefault = f.back().wantsDefault;
            f.pop_back();
        }
    } pop{frames};
    LRESULT result = 0;
    if (!DispatchMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
}

LRESULT CWnd::Default() {
    std::vector<vantrel::afx::Frame>& frames = vantrel::afx::Frames();
    for (auto it = frames.rbegin(); it != frames.rend(); ++it)
        if (it->wnd == this) return DefWindowProc(it->message, 0, 0);
    return 0;
}

void CWnd::DoDataExchange(CDataExchange* /*dx*/) {}

void CWnd::OnClose() { Default(); }
void CWnd::OnPaint() { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return nullptr; }
void CWnd::OnLButtonDown(UINT /*flags*/, CPoint /*point*/) { Default(); }

BOOL CWnd::PreTranslateMessage(MSG* /*msg*/) { return FALSE; }

BOOL CWnd::DestroyWindow() {
    ++m_destroyCount;
    QWidget* w = Detach();
    if (!w) return FALSE;
    w->hide();
    w->deleteLater();
    return TRUE;
}

void CWnd::CheckRadioButton(int firstId, int lastId, int checkId) {
    for (int id = firstId; id <= lastId; ++id) {
        CWnd* c = GetDlgItem(id);
        if (auto* b = c ? dynamic_cast<QAbstractButton*>(c->GetWidget()) : nullptr)
            vantrel::afx::SetButtonChecked(b, id == checkId);
    }
}

int CWnd::GetCheckedRadioButton(int firstId, int lastId) {
    for (int id = firstId; id <= lastId; ++id) {
        CWnd* c = GetDlgItem(id);
        auto* b = c ? dynamic_cast<QAbstractButton*>(c->GetWidget()) : nullptr;
        if (b && b->isChecked()) return id;
    }
    return 0;
}

UINT CWnd::IsDlgButtonChecked(int id) const {
    CWnd* c = GetDlgItem(id);
    return c ? static_cast<UINT>(c->SendMessage(BM_GETCHECK)) : 0;
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
    if (!m_pWidget) return nullptr;
    QWidget* win = m_pWidget->window();
    const char* prop = bigIcon ? vantrel::afx::kBigIconProperty : vantrel::afx::kSmallIconProperty;
    auto* previous = reinterpret_cast<HICON>(win->property(prop).value<quintptr>());
    win->setProperty(prop, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(icon)));
    // One window icon serves both sizes here; the big one wins when both are set.
    HICON big = reinterpret_cast<HICON>(win->property(vantrel::afx::kBigIconProperty).value<quintptr>());
    win->setWindowIcon(vantrel::afx::IconFromHandle(big ? big : icon));
    return previous;
}

HICON CWnd::GetIcon(BOOL bigIcon) const {
    if (!m_pWidget) return nullptr;
    return reinterpret_cast<HICON>(
        m_pWidget->window()
            ->property(bigIcon ? vantrel::afx::kBigIconProperty : vantrel::afx::kSmallIconProperty)
            .value<quintptr>());
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
    return vantrel::afx::ShowMessageBox(text, caption, type);
}

BOOL CWnd::IsIconic() const { return m_pWidget && m_pWidget->window()->isMinimized(); }

void CWnd::GetClientRect(RECT* rect) const {
    if (!rect) return;
    *rect = RECT{0, 0, m_pWidget ? m_pWidget->width() : 0, m_pWidget ? m_pWidget->height() : 0};
}

// The classic control messages, answered by acting on the widget.
namespace {

// The messages of each kind of control, as the control itself answers them.
LRESULT ButtonMessage(QAbstractButton* b, UINT message, WPARAM wParam) {
    switch (message) {
    case BM_GETCHECK: return b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK: vantrel::afx::SetButtonChecked(b, wParam == BST_CHECKED); return 0;
    case BM_CLICK: b->click(); return 0;
    default: return 0;
    }
}

LRESULT ComboMessage(QComboBox* combo, UINT message, WPARAM wParam, LPARAM lParam) {
    const int index = static_cast<int>(static_cast<LONG_PTR>(wParam));
    switch (message) {
    case CB_GETCOUNT: return combo->count();
    case CB_GETCURSEL: return combo->currentIndex() < 0 ? CB_ERR : combo->currentIndex();
    case CB_SETCURSEL:
        if (index < 0 || index >= combo->count()) {
            combo->setCurrentIndex(-1);
            if (combo->isEditable()) combo->setEditText(QString());
            return CB_ERR;
        }
        combo->setCurrentIndex(index);
        return index;
    case CB_GETLBTEXT:
        if (index < 0 || index >= combo->count()) return CB_ERR;
        return vantrel::afx::CopyOut(combo->itemText(index), reinterpret_cast<char*>(lParam), 1 << 20);
    case CB_GETLBTEXTLEN:
        if (index < 0 || index >= combo->count()) return CB_ERR;
        return static_cast<LRESULT>(vantrel::afx::ToText(combo->itemText(index)).size());
    case CB_ADDSTRING:
        combo->addItem(FromText(reinterpret_cast<const char*>(lParam)));
        return combo->count() - 1;
    case CB_RESETCONTENT: combo->clear(); return 0;
    case CB_FINDSTRINGEXACT: {
        const QString s = FromText(reinterpret_cast<const char*>(lParam));
        for (int k = 0; k < combo->count(); ++k) {
            const int i = (index + 1 + k) % combo->count();
            if (combo->itemText(i).compare(s, Qt::CaseInsensitive) == 0) return i;
        }
        return CB_ERR;
    }
    case CB_SHOWDROPDOWN:
        if (wParam)
            combo->showPopup();
        else
            combo->hidePopup();
        return TRUE;
    case CB_GETDROPPEDSTATE: return combo->view() && combo->view()->isVisible();
    default: return 0;
    }
}

LRESULT RichEditMessage(vantrel::afx::RichEditWidget* rich, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case EM_SETSEL:
        rich->SetSel(static_cast<long>(static_cast<LONG_PTR>(wParam)), static_cast<long>(lParam));
        return 0;
    case EM_EXSETSEL: {
        const auto* range = reinterpret_cast<const CHARRANGE*>(lParam);
        if (range) rich->SetSel(range->cpMin, range->cpMax);
        return 0;
    }
    case EM_GETSEL: {
        long s = 0, e = 0;
        rich->GetSel(s, e);
        return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(s), static_cast<WORD>(e)));
    }
    case EM_REPLACESEL: rich->ReplaceSel(FromText(reinterpret_cast<const char*>(lParam))); return 0;
    case EM_SCROLLCARET: rich->ensureCursorVisible(); return 0;
    case EM_LIMITTEXT: rich->SetLimit(static_cast<long>(wParam)); return 0;
    case EM_EXLIMITTEXT: rich->SetLimit(static_cast<long>(lParam)); return 0;
    case EM_SETREADONLY: rich->setReadOnly(wParam != 0); return TRUE;
    case EM_GETLINECOUNT: return rich->document()->blockCount();
    case EM_STREAMOUT: {
        auto* stream = reinterpret_cast<EDITSTREAM*>(lParam);
        return stream ? rich->StreamOut(static_cast<int>(wParam), *stream) : 0;
    }
    case EM_SETCHARFORMAT: {
        const auto* cf = reinterpret_cast<const CHARFORMAT*>(lParam);
        if (!cf) return FALSE;
        if (wParam & SCF_SELECTION)
            rich->SetSelectionFormat(*cf);
        else
            rich->SetDefaultFormat(*cf);
        return TRUE;
    }
    case EM_GETCHARFORMAT: {
        auto* cf = reinterpret_cast<CHARFORMAT*>(lParam);
        if (!cf) return 0;
        if (wParam & SCF_SELECTION)
            rich->GetSelectionFormat(*cf);
        else
            rich->GetDefaultFormat(*cf);
        return static_cast<LRESULT>(cf->dwMask);
    }
    default: return 0;
    }
}

LRESULT LineEditMessage(QLineEdit* edit, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case EM_SETSEL: {
        const int len = static_cast<int>(edit->text().size());
        int s = static_cast<int>(static_cast<LONG_PTR>(wParam));
        int e = static_cast<int>(lParam);
        if (s < 0) {
            edit->deselect();
            return 0;
        }
        if (e < 0 || e > len) e = len;
        if (s > len) s = len;
        edit->setSelection(s, e - s);
        return 0;
    }
    case EM_GETSEL: {
        const int s = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
        const int e = edit->hasSelectedText() ? edit->selectionEnd() : edit->cursorPosition();
        return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(s), static_cast<WORD>(e)));
    }
    case EM_REPLACESEL: edit->insert(FromText(reinterpret_cast<const char*>(lParam))); return 0;
    case EM_LIMITTEXT: edit->setMaxLength(wParam ? static_cast<int>(wParam) : 32767); return 0;
    case EM_SETREADONLY: edit->setReadOnly(wParam != 0); return TRUE;
    default: return 0;
    }
}

}  // namespace

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    QWidget* w = m_pWidget;
    switch (message) {
    case WM_CLOSE: DestroyWindow(); return 0;
    case WM_PAINT:
    case WM_LBUTTONDOWN:
    case WM_ERASEBKGND: vantrel::afx::RequestDefaultProcessing(this, message); return 0;
    case WM_SETICON:
        return reinterpret_cast<LRESULT>(SetIcon(reinterpret_cast<HICON>(lParam), wParam == ICON_BIG));
    case WM_SETTEXT: SetWindowText(reinterpret_cast<const char*>(lParam)); return TRUE;
    case WM_GETTEXT: return GetWindowText(reinterpret_cast<char*>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH: return GetWindowTextLength();
    default: break;
    }
    if (!w) return 0;

    if (auto* b = dynamic_cast<QAbstractButton*>(w)) return ButtonMessage(b, message, wParam);
    if (auto* combo = dynamic_cast<QComboBox*>(w)) return ComboMessage(combo, message, wParam, lParam);
    if (auto* rich = dynamic_cast<vantrel::afx::RichEditWidget*>(w))
        return RichEditMessage(rich, message, wParam, lParam);
    if (auto* edit = dynamic_cast<QLineEdit*>(w)) return LineEditMessage(edit, message, wParam, lParam);
    return 0;
}

void CButton::SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }

void CEdit::SetSel(int start, int end, BOOL /*noScroll*/) {
    SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end);
}

void CEdit::GetSel(int& start, int& end) const {
    const LRESULT r = const_cast<CEdit*>(this)->SendMessage(EM_GETSEL);
    start = LOWORD(static_cast<DWORD_PTR>(r));
    end = HIWORD(static_cast<DWORD_PTR>(r));
}

void CEdit::ReplaceSel(const char* text, BOOL canUndo) {
    SendMessage(EM_REPLACESEL, static_cast<WPARAM>(canUndo), reinterpret_cast<LPARAM>(text));
}

void CEdit::LimitText(int maxChars) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(maxChars)); }
int CComboBox::GetCount() const {
    return static_cast<int>(const_cast<CComboBox*>(this)->SendMessage(CB_GETCOUNT));
}
int CComboBox::GetCurSel() const {
    return static_cast<int>(const_cast<CComboBox*>(this)->SendMessage(CB_GETCURSEL));
}
int CComboBox::SetCurSel(int index) {
    return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
}

int CComboBox::GetLBText(int index, char* buffer) const {
    return static_cast<int>(const_cast<CComboBox*>(this)->SendMessage(
        CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
}

int CComboBox::GetLBTextLen(int index) const {
    return static_cast<int>(
        const_cast<CComboBox*>(this)->SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
}

void CDataExchange::Fail() {}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (!dx) return;
    auto* dlg = dynamic_cast<CDialog*>(dx->m_pDlgWnd);
    if (!dlg || !dlg->Private()) return;
    vantrel::afx::CDialogPrivate* d = dlg->Private();
    QWidget* w = d->Control(id);
    if (!w || control.GetWidget() == w) return;
    // A wrapper handed out by GetDlgItem before the binding gives way to the bound object.
    const auto it = d->wrappers.find(id);
    if (it != d->wrappers.end()) {
        it->second->Detach();
        d->retired.push_back(std::move(it->second));
        d->wrappers.erase(it);
    }
    if (control.Attach(w)) d->bound.push_back(&control);
}
