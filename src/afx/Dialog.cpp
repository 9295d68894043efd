// Dialogs built from templates, the dialog manager's keyboard rules, focus notifications
// and the modal loop.
#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QPainter>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>

#include <algorithm>

#include "afx/AfxPrivate.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

namespace vantrel::afx {
namespace {

constexpr const char* kAlignProperty = "afxAlign";
constexpr const char* kGroupProperty = "afxGroup";

UINT VirtualKey(const QKeyEvent* e) {
    const int k = e->key();
    switch (k) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_F1: return VK_F1;
    default: break;
    }
    if ((k >= Qt::Key_0 && k <= Qt::Key_9) || (k >= Qt::Key_A && k <= Qt::Key_Z)) return static_cast<UINT>(k);
    return 0;
}

bool IsAltCharacter(const QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers();
    return (mods & Qt::AltModifier) && !(mods & Qt::ControlModifier) && !e->text().isEmpty() &&
           e->text().at(0).isPrint();
}

bool IsPushButton(const QWidget* w) { return dynamic_cast<const ButtonWidget*>(w) != nullptr; }

class DialogEventFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* obj, QEvent* ev) override {
        const QEvent::Type t = ev->type();
        if (t != QEvent::KeyPress && t != QEvent::FocusIn && t != QEvent::FocusOut &&
            t != QEvent::MouseButtonPress)
            return false;
        auto* w = qobject_cast<QWidget*>(obj);
        if (!w) return false;
        CDialog* dlg = DialogOfWidget(w);
        if (!dlg || !dlg->Private()) return false;
        CDialogPrivate* d = dlg->Private();
        switch (t) {
        case QEvent::KeyPress: {
            // Only the first delivery (to the focus widget, or the window when nothing has
            // the focus) counts; propagation to parents must not handle a key twice.
            QWidget* focus = QApplication::focusWidget();
            if (w != focus && !(focus == nullptr && w->isWindow())) return false;
            return d->HandleKey(w, static_cast<QKeyEvent*>(ev));
        }
        case QEvent::FocusIn: {
            const auto reason = static_cast<QFocusEvent*>(ev)->reason();
            if (reason == Qt::PopupFocusReason) return false;
            if (QWidget* c = ControlOf(w)) d->NoteFocus(c, true);
            return false;
        }
        case QEvent::FocusOut: {
            const auto reason = static_cast<QFocusEvent*>(ev)->reason();
            if (reason == Qt::PopupFocusReason) return false;
            if (QWidget* c = ControlOf(w)) d->NoteFocusLost(c);
            return false;
        }
        case QEvent::MouseButtonPress: {
            auto* me = static_cast<QMouseEvent*>(ev);
            if (me->button() != Qt::LeftButton) return false;
            QWidget* c = ControlOf(w);
            // A static text without click notification is transparent to the mouse, even
            // for a click delivered to it directly.
            if (c && c->testAttribute(Qt::WA_TransparentForMouseEvents)) return false;
            CWnd* bound = c ? CWnd::FromWidget(c) : nullptr;
            if (!bound || !bound->HasHandler(WM_LBUTTONDOWN)) return false;
            const QPoint p = w->mapTo(c, me->position().toPoint());
            bool wantsDefault = false;
            CallWindowProcSafe(bound, WM_LBUTTONDOWN, MK_LBUTTON,
                               MAKELPARAM(static_cast<WORD>(p.x()), static_cast<WORD>(p.y())), &wantsDefault);
            return !wantsDefault;
        }
        default: return false;
        }
    }
};

}  // namespace

std::vector<CDialog*>& RunningDialogs() {
    static std::vector<CDialog*> running;
    return running;
}

void InstallDialogEventFilter() {
    static QPointer<QCoreApplication> installedOn;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || installedOn == app) return;
    app->installEventFilter(new DialogEventFilter(app));
    installedOn = app;
}

// ---- widgets ----

DialogWidget::DialogWidget(CDialog* owner, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), m_owner(owner) {}

void DialogWidget::FinishModal(int result) {
    m_allowDone = true;
    QDialog::done(result);
    m_allowDone = false;
}

// Nothing ends the dialog behind the framework's back: the toolkit's own ways to end it
// become the classic commands.
void DialogWidget::done(int result) {
    if (m_allowDone) {
        QDialog::done(result);
        return;
    }
    if (m_owner)
        CallWindowProcSafe(m_owner, WM_COMMAND,
                           MAKEWPARAM(static_cast<WORD>(result == Accepted ? IDOK : IDCANCEL), 0), 0);
}

void DialogWidget::accept() { done(Accepted); }
void DialogWidget::reject() { done(Rejected); }

void DialogWidget::closeEvent(QCloseEvent* e) {
    e->ignore();
    if (m_owner) CallWindowProcSafe(m_owner, WM_CLOSE, 0, 0);
}

void DialogWidget::keyPressEvent(QKeyEvent* e) { QWidget::keyPressEvent(e); }

void DialogWidget::paintEvent(QPaintEvent* e) {
    if (!m_owner || !m_owner->HasHandler(WM_PAINT)) {
        QDialog::paintEvent(e);
        return;
    }
    bool wantsDefault = false;
    {
        QPainter p(this);
        SetCurrentPainter(this, &p);
        CallWindowProcSafe(m_owner, WM_PAINT, 0, 0, &wantsDefault);
        SetCurrentPainter(this, nullptr);
    }
    if (wantsDefault) QDialog::paintEvent(e);
}

bool RequestCtlColor(QWidget* control, CDC* dc, UINT kind, HBRUSH* brush) {
    *brush = nullptr;
    CWnd* bound = CWnd::FromWidget(control);
    if (!bound || !bound->HasHandler(WM_REFLECT_BASE + WM_CTLCOLOR)) return false;
    const LRESULT r =
        CallWindowProcSafe(bound, WM_REFLECT_BASE + WM_CTLCOLOR, reinterpret_cast<WPARAM>(dc), kind);
    *brush = reinterpret_cast<HBRUSH>(r);
    return true;
}

bool PaintReflected(QWidget* control, const QString& text, int alignFlags, UINT kind) {
    CDC dc;
    dc.SetTextColor(GetSysColor(COLOR_WINDOWTEXT));
    dc.SetBkColor(GetSysColor(COLOR_BTNFACE));
    HBRUSH brush = nullptr;
    if (!RequestCtlColor(control, &dc, kind, &brush)) return false;
    QPainter p(control);
    const GdiObject* b = GdiFromHandle(brush);
    p.fillRect(control->rect(), b ? ToQColor(b->colour) : control->palette().color(QPalette::Window));
    const GdiObject* f = GdiFromHandle(dc.GetSelectedFont());
    p.setFont(f && f->kind == GdiObject::Font ? FontFromLogFont(f->font) : control->font());
    p.setPen(control->isEnabled() ? ToQColor(dc.GetTextColor())
                                  : control->palette().color(QPalette::Disabled, QPalette::WindowText));
    if (dc.GetBkMode() == OPAQUE) {
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(ToQColor(dc.GetBkColor()));
    }
    p.drawText(control->rect().adjusted(1, 0, -1, 0), alignFlags | Qt::TextExpandTabs, text);
    return true;
}

void StaticWidget::paintEvent(QPaintEvent* /*e*/) {
    const int align = property(kAlignProperty).toInt();
    if (PaintReflected(this, text(), align, CTLCOLOR_STATIC)) return;
    QPainter p(this);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(rect(), align | Qt::TextExpandTabs, text());
}

void GroupFrameWidget::paintEvent(QPaintEvent* /*e*/) {
    QPainter p(this);
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    // Etched: a dark line with a light one inside it.
    const QRect frame = rect().adjusted(0, top, -2, -2);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(frame);
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(frame.translated(1, 1));
    const QString text = title();
    if (text.isEmpty()) return;
    // The title interrupts the top line, on the dialog's own background.
    const int left = metrics.averageCharWidth();
    const QRect textRect(left, 0, metrics.horizontalAdvance(text) + 4, metrics.height());
    p.fillRect(textRect, palette().color(QPalette::Window));
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(textRect, Qt::AlignCenter, text);
}

void EditWidget::paintEvent(QPaintEvent* e) {
    if (isReadOnly() && PaintReflected(this, text(), static_cast<int>(alignment()), CTLCOLOR_STATIC)) return;
    QLineEdit::paintEvent(e);
}

void ButtonWidget::paintEvent(QPaintEvent* e) {
    if (!m_multiLine && !m_default) {
        QPushButton::paintEvent(e);
        return;
    }
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    if (m_default) opt.features |= QStyleOptionButton::DefaultButton;
    if (!m_multiLine) {
        p.drawControl(QStyle::CE_PushButton, opt);
        return;
    }
    const QString caption = opt.text;
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButton, opt);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignCenter | Qt::TextWordWrap, caption);
}

// ---- dialog manager ----

QWidget* CDialogPrivate::Control(int id) const {
    for (const auto& [cid, w] : controls)
        if (cid == id && w) return w.data();
    return nullptr;
}

CWnd* CDialogPrivate::WrapperFor(QWidget* control) {
    const int id = ControlIdOf(control);
    auto it = wrappers.find(id);
    if (it != wrappers.end() && it->second->GetWidget() == control) return it->second.get();
    std::unique_ptr<CWnd> w;
    switch (ControlKindOf(control)) {
    case ControlKind::PushButton:
    case ControlKind::RadioButton:
    case ControlKind::CheckBox:
    case ControlKind::GroupBox: w = std::make_unique<CButton>(); break;
    case ControlKind::Edit: w = std::make_unique<CEdit>(); break;
    case ControlKind::RichEdit: w = std::make_unique<CRichEditCtrl>(); break;
    case ControlKind::ComboBox: w = std::make_unique<CComboBox>(); break;
    case ControlKind::Static: w = std::make_unique<CStatic>(); break;
    }
    if (!w->Attach(control)) return nullptr;
    CWnd* raw = w.get();
    if (it != wrappers.end()) retired.push_back(std::move(it->second));
    wrappers[id] = std::move(w);
    return raw;
}

void CDialogPrivate::SendCommand(int id, UINT code, QWidget* from) {
    // A dialog takes no button presses before it is up (a nested box of its start-up lets an
    // accessibility client press its still hidden buttons) nor once it has ended.
    if (code == BN_CLICKED && (owner->m_starting || owner->m_ended)) return;
    CallWindowProcSafe(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), static_cast<WORD>(code)),
                       reinterpret_cast<LPARAM>(from));
}

void CDialogPrivate::NoteFocus(QWidget* control, bool /*fromToolkit*/) {
    const int id = ControlIdOf(control);
    if (id == focusId) return;
    focusId = id;
    switch (ControlKindOf(control)) {
    case ControlKind::Edit: SendCommand(id, EN_SETFOCUS, control); break;
    case ControlKind::ComboBox: SendCommand(id, CBN_SETFOCUS, control); break;
    default: break;
    }
}

void CDialogPrivate::NoteFocusLost(QWidget* control) {
    const int id = ControlIdOf(control);
    if (id != focusId) return;
    focusId = 0;
    switch (ControlKindOf(control)) {
    case ControlKind::Edit: SendCommand(id, EN_KILLFOCUS, control); break;
    case ControlKind::ComboBox: SendCommand(id, CBN_KILLFOCUS, control); break;
    default: break;
    }
}

std::vector<QWidget*> CDialogPrivate::TabStops() const {
    std::vector<QWidget*> stops;
    for (const auto& [id, w] : controls)
        if (w && ControlHasStyle(w, "WS_TABSTOP") && w->isEnabled() && w->isVisibleTo(widget.data()))
            stops.push_back(w.data());
    return stops;
}

QWidget* CDialogPrivate::DefaultButton() const { return defId ? Control(defId) : nullptr; }

// Tab and Shift+Tab walk the tab stops in template order. Entering a group of radio
// buttons lands on its checked button.
void CDialogPrivate::MoveFocus(bool forward) {
    const int n = static_cast<int>(controls.size());
    if (n == 0) return;
    int current = -1;
    QWidget* focus = focusId ? Control(focusId) : nullptr;
    for (int i = 0; i < n; ++i)
        if (controls[static_cast<size_t>(i)].second == focus) current = i;
    const int currentGroup = focus ? focus->property(kGroupProperty).toInt() : -1;
    for (int step = 1; step <= n; ++step) {
        const int i = ((forward ? current + step : current - step) % n + n) % n;
        QWidget* w = controls[static_cast<size_t>(i)].second;
        if (!w || !ControlHasStyle(w, "WS_TABSTOP") || !w->isEnabled() || !w->isVisibleTo(widget.data()))
            continue;
        QWidget* target = w;
        if (ControlKindOf(w) == ControlKind::RadioButton) {
            const int group = w->property(kGroupProperty).toInt();
            if (group == currentGroup && focus && ControlKindOf(focus) == ControlKind::RadioButton &&
                step < n)
                continue;
            for (const auto& [id, other] : controls) {
                auto* rb = qobject_cast<QRadioButton*>(other.data());
                if (rb && rb->isChecked() && rb->property(kGroupProperty).toInt() == group && rb->isEnabled())
                    target = rb;
            }
        }
        target->setFocus(Qt::TabFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(target)) edit->selectAll();
        NoteFocus(target, false);
        return;
    }
}

bool CDialogPrivate::HandleKey(QWidget* receiver, QKeyEvent* e) {
    // A combo box with its list open keeps its keys: Enter or Esc only close the list.
    for (const auto& [id, w] : controls) {
        auto* combo = qobject_cast<QComboBox*>(w.data());
        if (combo && combo->view() && combo->view()->isVisible()) return false;
    }
    // Alt with a character is a mnemonic, never typing: one that no control answered does
    // nothing (the toolkit's text boxes would type the character).
    if (IsAltCharacter(e)) return true;
    QWidget* control = ControlOf(receiver);
    const UINT original = VirtualKey(e);
    MSG msg{};
    msg.hwnd = control ? static_cast<HWND>(control) : static_cast<HWND>(receiver);
    msg.message = WM_KEYDOWN;
    msg.wParam = original;
    msg.lParam = 0;
    BOOL handled = FALSE;
    try {
        handled = owner->PreTranslateMessage(&msg);
    } catch (CException* ex) {
        ReportUncaughtException(ex);
        return true;
    }
    if (handled) return true;
    const bool shift = e->modifiers() & Qt::ShiftModifier || e->key() == Qt::Key_Backtab;
    switch (msg.wParam) {
    case VK_TAB: MoveFocus(!shift); return true;
    case VK_RETURN: {
        if (control && IsPushButton(control)) {
            if (control->isEnabled()) static_cast<QPushButton*>(control)->click();
            return true;
        }
        if (QWidget* def = DefaultButton()) {
            if (def->isEnabled()) static_cast<QPushButton*>(def)->click();
            return true;
        }
        SendCommand(IDOK, BN_CLICKED, nullptr);
        return true;
    }
    case VK_ESCAPE: SendCommand(IDCANCEL, BN_CLICKED, nullptr); return true;
    default: return false;
    }
}

}  // namespace vantrel::afx

using vantrel::afx::CDialogPrivate;
using vantrel::afx::ControlKind;
using vantrel::afx::ControlTemplate;

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_nIDTemplate(templateId), m_pParentWnd(parent), m_d(std::make_unique<CDialogPrivate>()) {
    m_d->owner = this;
}

CDialog::CDialog() : m_d(std::make_unique<CDialogPrivate>()) { m_d->owner = this; }

CDialog::~CDialog() {
    auto& running = vantrel::afx::RunningDialogs();
    running.erase(std::remove(running.begin(), running.end(), this), running.end());
    if (vantrel::afx::DialogWidget* dw = m_d->widget.data()) {
        dw->Detach();
        m_d->wrappers.clear();
        Detach();
        dw->hide();
        dw->deleteLater();
    }
}

namespace {

// One kind of control each, built as its template says.
QWidget* CreatePushButton(const ControlTemplate& c, const QString& text, QWidget* parent, CDialogPrivate* d) {
    auto* b = new vantrel::afx::ButtonWidget(parent, c.Has("BS_MULTILINE"));
    b->setText(text);
    b->setAutoDefault(false);
    b->setDefault(false);
    if (c.Has("BS_DEFPUSHBUTTON")) {
        d->defId = c.id;
        b->SetDefault(true);
    }
    const int id = c.id;
    QObject::connect(b, &QPushButton::clicked, b, [d, id, b]() { d->SendCommand(id, BN_CLICKED, b); });
    return b;
}

QWidget* CreateCheckable(const ControlTemplate& c, const QString& text, QWidget* parent, CDialogPrivate* d) {
    QAbstractButton* b = c.kind == ControlKind::RadioButton
                             ? static_cast<QAbstractButton*>(new QRadioButton(text, parent))
                             : new QCheckBox(text, parent);
    b->setAutoExclusive(false);
    const int id = c.id;
    QObject::connect(b, &QAbstractButton::clicked, b, [d, id, b]() { d->SendCommand(id, BN_CLICKED, b); });
    return b;
}

QWidget* CreateEdit(const ControlTemplate& c, const QString& text, QWidget* parent, CDialogPrivate* d) {
    auto* e = new vantrel::afx::EditWidget(parent);
    e->setFrame(c.Has("WS_BORDER"));
    e->setReadOnly(c.Has("ES_READONLY"));
    if (c.Has("ES_CENTER"))
        e->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    else if (c.Has("ES_RIGHT"))
        e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (c.Has("ES_NUMBER"))
        e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
    if (c.Has("ES_UPPERCASE")) {
        QObject::connect(e, &QLineEdit::textEdited, e, [e](const QString& s) {
            const QString upper = s.toUpper();
            if (upper == s) return;
            const int pos = e->cursorPosition();
            e->setText(upper);
            e->setCursorPosition(pos);
        });
    }
    const int id = c.id;
    QObject::connect(e, &QLineEdit::textChanged, e, [d, id, e]() { d->SendCommand(id, EN_CHANGE, e); });
    e->setText(text);
    return e;
}

QWidget* CreateRichEdit(const ControlTemplate& c, const QString& text, QWidget* parent,
                        CDialogPrivate* /*d*/) {
    auto* r = new vantrel::afx::RichEditWidget(parent);
    r->setReadOnly(c.Has("ES_READONLY"));
    if (!c.Has("WS_BORDER")) r->setFrameShape(QFrame::NoFrame);
    r->setVerticalScrollBarPolicy(c.Has("WS_VSCROLL") ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    r->setHorizontalScrollBarPolicy(c.Has("WS_HSCROLL") ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    r->setLineWrapMode(c.Has("WS_HSCROLL") || c.Has("ES_AUTOHSCROLL") ? QPlainTextEdit::NoWrap
                                                                      : QPlainTextEdit::WidgetWidth);
    if (c.Has("ES_READONLY"))
        r->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (!text.isEmpty()) r->ReplaceSel(text);
    return r;
}

QWidget* CreateStatic(const ControlTemplate& c, const QString& text, QWidget* parent, CDialogPrivate* /*d*/) {
    auto* s = new vantrel::afx::StaticWidget(parent);
    s->setText(text);
    int align = c.Has("SS_CENTER") ? Qt::AlignHCenter : c.Has("SS_RIGHT") ? Qt::AlignRight : Qt::AlignLeft;
    align |= c.Has("SS_CENTERIMAGE") ? Qt::AlignVCenter : Qt::AlignTop;
    if (!c.Has("SS_LEFTNOWORDWRAP") && !c.Has("SS_CENTERIMAGE")) align |= Qt::TextWordWrap;
    s->setProperty(vantrel::afx::kAlignProperty, align);
    s->setFocusPolicy(Qt::NoFocus);
    // Static text without click notification lets clicks through, as the classic one.
    if (!c.Has("SS_NOTIFY")) s->setAttribute(Qt::WA_TransparentForMouseEvents);
    return s;
}

// The group box holds the controls inside its frame (they take their clicks themselves), so
// that assistive technology presents them as one group under its title.
QWidget* CreateGroupBox(const ControlTemplate& /*c*/, const QString& text, QWidget* parent,
                        CDialogPrivate* /*d*/) {
    auto* g = new vantrel::afx::GroupFrameWidget(text, parent);
    g->setFocusPolicy(Qt::NoFocus);
    return g;
}

QWidget* CreateComboBox(const ControlTemplate& c, const QString& /*text*/, QWidget* parent,
                        CDialogPrivate* d) {
    auto* cb = new QComboBox(parent);
    cb->setEditable(!c.Has("CBS_DROPDOWNLIST"));
    cb->setInsertPolicy(QComboBox::NoInsert);
    if (cb->isEditable()) cb->setCompleter(nullptr);
    for (const std::string& item : c.listItems) cb->addItem(vantrel::afx::FromText(item.c_str()));
    cb->setCurrentIndex(-1);
    if (cb->isEditable()) cb->setEditText(QString());
    const int id = c.id;
    QObject::connect(cb, &QComboBox::activated, cb, [d, id, cb]() { d->SendCommand(id, CBN_SELCHANGE, cb); });
    if (cb->lineEdit())
        QObject::connect(cb->lineEdit(), &QLineEdit::textEdited, cb,
                         [d, id, cb]() { d->SendCommand(id, CBN_EDITCHANGE, cb); });
    return cb;
}

QWidget* CreateControl(const ControlTemplate& c, QWidget* parent, CDialogPrivate* d) {
    using Create = QWidget* (*)(const ControlTemplate&, const QString&, QWidget*, CDialogPrivate*);
    Create create = nullptr;
    switch (c.kind) {
    case ControlKind::PushButton: create = CreatePushButton; break;
    case ControlKind::RadioButton:
    case ControlKind::CheckBox: create = CreateCheckable; break;
    case ControlKind::Edit: create = CreateEdit; break;
    case ControlKind::RichEdit: create = CreateRichEdit; break;
    case ControlKind::Static: create = CreateStatic; break;
    case ControlKind::GroupBox: create = CreateGroupBox; break;
    case ControlKind::ComboBox: create = CreateComboBox; break;
    }
    QWidget* w = create(c, vantrel::afx::FromText(c.text.c_str()), parent, d);
    if (c.Has("WS_DISABLED")) w->setEnabled(false);
    return w;
}

// The window a new dialog belongs to: its parent's, or the innermost running dialog's.
QWidget* DialogParentFor(CWnd* parentWnd) {
    if (parentWnd && parentWnd->GetWidget()) return parentWnd->GetWidget()->window();
    if (!vantrel::afx::RunningDialogs().empty() && vantrel::afx::RunningDialogs().back()->GetWidget())
        return vantrel::afx::RunningDialogs().back()->GetWidget();
    return nullptr;
}

// What the layer reads back from a control's widget: its id, kind, styles and tab group.
void MarkControl(QWidget* w, const ControlTemplate& c, int group) {
    w->setProperty(vantrel::afx::kIdProperty, c.id);
    w->setProperty(vantrel::afx::kKindProperty, static_cast<int>(c.kind));
    QStringList styles;
    for (const std::string& s : c.styles) styles << QString::fromStdString(s);
    w->setProperty(vantrel::afx::kStylesProperty, styles);
    w->setProperty(vantrel::afx::kGroupProperty, group);
}

// The control's rectangle from dialog units, relative to its parent (the dialog or a group
// box), at the same place in the window either way.
void PlaceControl(QWidget* w, const ControlTemplate& c, int baseX, int baseY, const QFont& font) {
    const QPoint origin = w->parentWidget()->isWindow() ? QPoint() : w->parentWidget()->pos();
    const int x = vantrel::afx::MulDiv(c.x, baseX, 4) - origin.x();
    const int y = vantrel::afx::MulDiv(c.y, baseY, 8) - origin.y();
    const int cx = vantrel::afx::MulDiv(c.cx, baseX, 4);
    int cy = vantrel::afx::MulDiv(c.cy, baseY, 8);
    if (c.kind == ControlKind::ComboBox) {
        // The template height of a drop-down combo is that of its open list.
        auto* cb = static_cast<QComboBox*>(w);
        const int listHeight = cy;
        cy = cb->sizeHint().height();
        const int row = std::max(1, QFontMetrics(font).height() + 2);
        cb->setMaxVisibleItems(std::max(1, (listHeight - cy) / row));
    }
    w->setGeometry(x, y, cx, cy);
}

// The controls in template order. Group boxes come first so that each control inside one is
// built as its child; the tab groups and radio groups follow the template.
std::vector<QWidget*> BuildControls(const vantrel::afx::DialogTemplate& t, QWidget* dw, const QFont& font,
                                    CDialogPrivate* d) {
    const std::vector<int> holders = vantrel::afx::EnclosingGroupBoxes(t);
    std::vector<QWidget*> widgets(t.controls.size(), nullptr);
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        if (t.controls[i].kind != ControlKind::GroupBox) continue;
        widgets[i] = CreateControl(t.controls[i], dw, d);
        PlaceControl(widgets[i], t.controls[i], d->baseX, d->baseY, font);
    }
    int group = 0;
    std::map<int, QButtonGroup*> radioGroups;
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        const ControlTemplate& c = t.controls[i];
        if (c.Has("WS_GROUP") && i > 0) ++group;
        QWidget* parent = holders[i] >= 0 ? widgets[static_cast<std::size_t>(holders[i])] : dw;
        if (!widgets[i]) {
            widgets[i] = CreateControl(c, parent, d);
            PlaceControl(widgets[i], c, d->baseX, d->baseY, font);
        }
        MarkControl(widgets[i], c, group);
        if (c.kind == ControlKind::RadioButton) {
            QButtonGroup*& g = radioGroups[group];
            if (!g) {
                g = new QButtonGroup(dw);
                g->setExclusive(true);
            }
            g->addButton(static_cast<QAbstractButton*>(widgets[i]));
        }
    }
    for (QWidget* w : widgets)
        if (vantrel::afx::ControlKindOf(w) == ControlKind::GroupBox) w->lower();
    return widgets;
}

}  // namespace

BOOL CDialog::BuildWindow() {
    vantrel::afx::EnsureApplication();
    const vantrel::afx::DialogTemplate* t = vantrel::afx::FindDialogTemplate(static_cast<int>(m_nIDTemplate));
    if (!t) {
        const std::string text =
            "The dialog template " + std::to_string(m_nIDTemplate) + " is missing from the program.";
        vantrel::afx::ShowMessageBox(text.c_str(), nullptr, MB_OK | MB_ICONSTOP);
        return FALSE;
    }
    m_d->tmpl = t;
    m_d->controls.clear();
    m_d->wrappers.clear();
    m_d->bound.clear();
    m_d->focusId = 0;
    m_d->defId = 0;

    QWidget* parent = DialogParentFor(m_pParentWnd);
    Qt::WindowFlags flags = (parent ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint |
                            Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (t->Has("WS_MINIMIZEBOX")) flags |= Qt::WindowMinimizeButtonHint;
    if (t->Has("WS_MAXIMIZEBOX")) flags |= Qt::WindowMaximizeButtonHint;
    auto* dw = new vantrel::afx::DialogWidget(this, parent, flags);
    m_d->widget = dw;
    const QFont font = vantrel::afx::DialogFont(*t);
    dw->setFont(font);
    vantrel::afx::DialogBaseUnits(font, m_d->baseX, m_d->baseY);
    dw->setWindowTitle(vantrel::afx::FromText(t->caption.c_str()));
    dw->setFixedSize(vantrel::afx::MulDiv(t->cx, m_d->baseX, 4), vantrel::afx::MulDiv(t->cy, m_d->baseY, 8));
    Attach(dw);

    const std::vector<QWidget*> widgets = BuildControls(*t, dw, font, m_d.get());
    for (std::size_t i = 0; i < widgets.size(); ++i)
        m_d->controls.emplace_back(t->controls[i].id, widgets[i]);
    vantrel::afx::DescribeControls(*t, widgets);
    return TRUE;
}

BOOL CDialog::RunInitDialog() {
    struct Starting {
        BOOL& flag;
        explicit Starting(BOOL& f) : flag(f) { flag = TRUE; }
        ~Starting() { flag = FALSE; }
    } starting(m_starting);
    try {
        return OnInitDialog();
    } catch (CException* e) {
        vantrel::afx::ReportUncaughtException(e);
    } catch (const std::exception& e) {
        const std::string text = std::string("An unexpected error occurred: ") + e.what();
        vantrel::afx::ShowMessageBox(text.c_str(), nullptr, MB_OK | MB_ICONSTOP);
    }
    return FALSE;
}

INT_PTR CDialog::DoModal() {
    m_ended = FALSE;
    m_result = -1;
    m_modeless = FALSE;
    if (!BuildWindow()) return -1;
    vantrel::afx::RunningDialogs().push_back(this);
    const BOOL focusFirst = RunInitDialog();
    if (!m_ended) {
        if (focusFirst) NextDlgCtrlFromStart();
        QPointer<vantrel::afx::DialogWidget> dw = m_d->widget;
        QTimer::singleShot(0, dw.data(), [this, dw]() {
            if (dw && !m_ended) vantrel::afx::CallModalHook(*this);
        });
        m_inModalLoop = TRUE;
        const int r = dw->exec();
        m_inModalLoop = FALSE;
        if (!m_ended) {
            m_ended = TRUE;
            m_result = r == QDialog::Accepted ? IDOK : IDCANCEL;
        }
    }
    auto& running = vantrel::afx::RunningDialogs();
    running.erase(std::remove(running.begin(), running.end(), this), running.end());
    DestroyWindow();
    return m_result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    if (templateId) m_nIDTemplate = templateId;
    if (parent) m_pParentWnd = parent;
    m_ended = FALSE;
    m_result = -1;
    m_modeless = TRUE;
    if (!BuildWindow()) return FALSE;
    vantrel::afx::RunningDialogs().push_back(this);
    const BOOL focusFirst = RunInitDialog();
    if (!m_ended && m_d->widget) {
        m_d->widget->show();
        m_d->widget->activateWindow();
        if (focusFirst) NextDlgCtrlFromStart();
    }
    return TRUE;
}

void CDialog::NextDlgCtrlFromStart() {
    const std::vector<QWidget*> stops = m_d->TabStops();
    if (stops.empty()) return;
    QWidget* w = stops.front();
    w->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
    m_d->NoteFocus(w, false);
}

void CDialog::EndDialog(int result) {
    m_result = result;
    m_ended = TRUE;
    vantrel::afx::DialogWidget* dw = m_d->widget.data();
    if (!dw) return;
    if (m_inModalLoop) {
        dw->FinishModal(result);
    } else if (m_modeless) {
        dw->hide();
        auto& running = vantrel::afx::RunningDialogs();
        running.erase(std::remove(running.begin(), running.end(), this), running.end());
        // The window goes once the handler that ended it has returned.
        QTimer::singleShot(0, dw, [this]() {
            if (m_d->widget) DestroyWindow();
        });
    }
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::GotoDlgCtrl(CWnd* control) {
    if (!control || !control->GetWidget()) return;
    control->SetFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(control->GetWidget())) edit->selectAll();
}

DWORD CDialog::GetDefID() const { return m_d->defId ? MAKELONG(static_cast<WORD>(m_d->defId), 0x534B) : 0; }

BOOL CDialog::PreTranslateMessage(MSG* msg) { return CWnd::PreTranslateMessage(msg); }

int CDialog::GetFocusControlId() const {
    QWidget* f = QApplication::focusWidget();
    if (f && m_d->widget && f->window() == m_d->widget.data())
        if (QWidget* c = vantrel::afx::ControlOf(f)) return vantrel::afx::ControlIdOf(c);
    return m_d->focusId;
}

BOOL CDialog::DestroyWindow() {
    auto& running = vantrel::afx::RunningDialogs();
    running.erase(std::remove(running.begin(), running.end(), this), running.end());
    vantrel::afx::DialogWidget* dw = m_d->widget.data();
    if (dw) {
        for (CWnd* b : m_d->bound)
            if (b->GetWidget() && b->GetWidget()->window() == dw) b->Detach();
        m_d->bound.clear();
        for (auto& [id, w] : m_d->wrappers) w->Detach();
        dw->Detach();
    }
    m_d->widget = nullptr;
    return CWnd::DestroyWindow();
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        // The close box of a dialog is its Cancel command.
        return SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    case WM_COMMAND: {
        // Commands the dialog does not handle go on to the application.
        LRESULT r = 0;
        if (CWinApp* app = AfxGetApp()) app->DispatchMsg(message, wParam, lParam, &r);
        return r;
    }
    default: return CWnd::DefWindowProc(message, wParam, lParam);
    }
}
