#pragma once
// Internals shared by the layer's sources: the Qt widgets that stand for the classic
// controls, handles, and the bookkeeping of dialogs. Not for the system's own code.

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextCharFormat>

#include <map>
#include <memory>
#include <vector>

#include "afx/DialogTemplate.h"
#include "afx/afxwin.h"

namespace vantrel::afx {

// Property names kept on the widgets of a dialog.
inline constexpr const char* kIdProperty = "afxId";
inline constexpr const char* kKindProperty = "afxKind";
inline constexpr const char* kStylesProperty = "afxStyles";

// Texts of the classic interface are bytes: UTF-8 when they decode as such, else Latin-1.
QString FromText(const char* text);
std::string ToText(const QString& text);

int ControlIdOf(const QWidget* w);
ControlKind ControlKindOf(const QWidget* w);
bool ControlHasStyle(const QWidget* w, const char* style);
// The control a widget belongs to (a combo box for its inner line edit, a rich edit for
// its viewport), or null.
QWidget* ControlOf(QWidget* w);
CDialog* DialogOfWidget(const QWidget* w);

QColor ToQColor(COLORREF c);
COLORREF FromQColor(const QColor& c);

// Font faces of the classic templates mapped to fonts present here.
QString SubstituteFace(const QString& face);
QFont FontFromLogFont(const LOGFONT& lf);
void InstallFontSubstitutions();
// The dialog font of a template and its base units (horizontal, vertical) in pixels.
QFont DialogFont(const DialogTemplate& t);
void DialogBaseUnits(const QFont& f, int& baseX, int& baseY);
int MulDiv(int a, int b, int c);

// Drawing-object handles.
struct GdiObject {
    enum Kind { Brush, Font } kind;
    COLORREF colour = 0;
    LOGFONT font{};
    bool stock = false;
};
GdiObject* GdiFromHandle(HGDIOBJ h);

struct IconData {
    QIcon icon;
};
HICON IconHandle(const QIcon& icon);
QIcon IconFromHandle(HICON h);

// The painter of the widget being painted, for CPaintDC.
QPainter* CurrentPainterFor(const QWidget* w);
void SetCurrentPainter(const QWidget* w, QPainter* p);

// Runs a message through a window, reporting an exception that escapes the handler.
// *wantsDefault tells whether the handler (or the missing handler) asked for the
// toolkit's own processing.
LRESULT CallWindowProcSafe(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam,
                           bool* wantsDefault = nullptr);
// Marks the message being handled as wanting the toolkit's own processing.
void RequestDefaultProcessing(CWnd* wnd, UINT message);

// Asks the object bound to a control for its colours (the reflected colour request).
// False when nobody answers; then dc is unchanged and *brush null.
bool RequestCtlColor(QWidget* control, CDC* dc, UINT kind, HBRUSH* brush);
// Paints the background and the text of a static or read-only edit the way the colour
// request asked for. False when no bound object answers the request.
bool PaintReflected(QWidget* control, const QString& text, int alignFlags, UINT kind);

class DialogWidget : public QDialog {
public:
    DialogWidget(CDialog* owner, QWidget* parent, Qt::WindowFlags flags);
    CDialog* Owner() const { return m_owner; }
    void Detach() { m_owner = nullptr; }
    void FinishModal(int result);
    void done(int result) override;
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    CDialog* m_owner;
    bool m_allowDone = false;
};

class StaticWidget : public QLabel {
public:
    explicit StaticWidget(QWidget* parent) : QLabel(parent) {}

protected:
    void paintEvent(QPaintEvent* e) override;
};

// A group box as the classic dialogs draw it: an etched frame whose top line runs through
// the middle of the title.
class GroupFrameWidget : public QGroupBox {
public:
    GroupFrameWidget(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

protected:
    void paintEvent(QPaintEvent* e) override;
};

class EditWidget : public QLineEdit {
public:
    explicit EditWidget(QWidget* parent) : QLineEdit(parent) {}

protected:
    void paintEvent(QPaintEvent* e) override;
};

class ButtonWidget : public QPushButton {
public:
    ButtonWidget(QWidget* parent, bool multiLine) : QPushButton(parent), m_multiLine(multiLine) {}
    bool IsDefault() const { return m_default; }
    void SetDefault(bool on) {
        m_default = on;
        update();
    }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    bool m_multiLine;
    bool m_default = false;
};

// The rich edit: a read-only text pane whose selection is the widget's selection, with
// the insertion format of an empty selection kept apart as the classic control does.
class RichEditWidget : public QPlainTextEdit {
public:
    explicit RichEditWidget(QWidget* parent);

    long Length() const;
    void SetSel(long start, long end);
    void GetSel(long& start, long& end) const;
    void ReplaceSel(const QString& text);
    void SetSelectionFormat(const CHARFORMAT& cf);
    void SetDefaultFormat(const CHARFORMAT& cf);
    void GetSelectionFormat(CHARFORMAT& cf) const;
    void GetDefaultFormat(CHARFORMAT& cf) const;
    void SetLimit(long limit) { m_limit = limit > 0 ? limit : 64000; }
    long Limit() const { return m_limit; }
    long StreamOut(int format, EDITSTREAM& stream);
    void Clear();
    void RepaintNow();

private:
    QTextCharFormat InsertionFormat() const;

    QString m_faceName;
    long m_limit = 32767;
    bool m_pendingValid = false;
    long m_pendingPos = 0;
    QTextCharFormat m_pendingFormat;
};

// Dialog-side state: the template, the controls by id, wrappers of unbound controls,
// radio groups, the focus as the dialog sees it, the default button.
struct CDialogPrivate {
    CDialog* owner = nullptr;
    const DialogTemplate* tmpl = nullptr;
    QPointer<DialogWidget> widget;
    std::vector<std::pair<int, QPointer<QWidget>>> controls;  // template order
    std::map<int, std::unique_ptr<CWnd>> wrappers;
    std::vector<std::unique_ptr<CWnd>> retired;  // wrappers replaced by bound objects
    std::vector<CWnd*> bound;
    int focusId = 0;
    int defId = 0;
    int baseX = 6;
    int baseY = 13;

    QWidget* Control(int id) const;
    CWnd* WrapperFor(QWidget* control);
    void NoteFocus(QWidget* control, bool fromToolkit);
    void NoteFocusLost(QWidget* control);
    // Keyboard handling of the dialog manager; true when the key was consumed.
    bool HandleKey(QWidget* receiver, QKeyEvent* e);
    void MoveFocus(bool forward);
    std::vector<QWidget*> TabStops() const;
    QWidget* DefaultButton() const;
    void SendCommand(int id, UINT code, QWidget* from);
};

void CallModalHook(CDialog& dialog);
// The title used for message boxes without a caption of their own.
std::string AppTitle();
// Installs the application-wide filter that gives dialogs their keyboard, focus and
// mouse handling (once per application object).
void InstallDialogEventFilter();

// Assistive technology: radio buttons report their role and checked state and line edits
// their text as one run (installed once per process); the text boxes of a dialog take their
// names from their labels and are linked to them; widgets[i] is the widget of t.controls[i].
void InstallAccessibility();
void DescribeControls(const DialogTemplate& t, const std::vector<QWidget*>& widgets);
// For each control, the index of the smallest group box whose frame holds it, or -1.
std::vector<int> EnclosingGroupBoxes(const DialogTemplate& t);
// Speaks "<subject>: <text>" when a field the program writes to, beside a label or button
// that says what it is about, takes a new text (a verdict).
void AnnounceStatus(QWidget* field, const QString& text);

// Dialogs running (modal loop or shown modeless), innermost last.
std::vector<CDialog*>& RunningDialogs();

}  // namespace vantrel::afx
