// What the dialogs tell assistive technology (a screen reader through the desktop's
// accessibility bus): radio buttons as radio buttons with their checked state, text boxes
// named after and linked to the label that stands before them, controls held by the group
// box around them, single-line text read whole, and the verdict fields' changes spoken.
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "afx/AfxPrivate.h"

namespace vantrel::afx {

namespace {

// The layer keeps its radio buttons out of the toolkit's automatic exclusivity (the dialog
// groups them itself), and the toolkit then reports them as check boxes: this interface
// reports what they are.
class RadioButtonAccessible : public QAccessibleWidget {
public:
    explicit RadioButtonAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::RadioButton) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = Button()->isChecked();
        return s;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            QString name = Button()->text();
            name.remove(QRegularExpression(QStringLiteral("&(?!&)")));
            return name.replace(QStringLiteral("&&"), QStringLiteral("&"));
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override {
        return QStringList{pressAction(), toggleAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (!widget()->isEnabled()) return;
        if (action == pressAction() || action == toggleAction()) {
            Button()->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
};

// A single-line text box. The toolkit's own interface reports every attribute run of a line
// edit as empty (it starts and ends at the offset asked for), and a screen reader that
// gathers the runs before speaking then drops the last character ("30" for "300"). This
// interface reports the text as one run, and otherwise what the toolkit's does.
class LineEditAccessible : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface {
public:
    explicit LineEditAccessible(QLineEdit* w) : QAccessibleWidget(w, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        if (t == QAccessible::EditableTextInterface && !Edit()->isReadOnly())
            return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? Edit()->displayText() : QAccessibleWidget::text(t);
    }

    void setText(QAccessible::Text t, const QString& text) override {
        if (t == QAccessible::Value && !Edit()->isReadOnly()) Edit()->setText(text);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !Edit()->isReadOnly();
        s.readOnly = Edit()->isReadOnly();
        s.selectableText = true;
        s.passwordEdit = Edit()->echoMode() != QLineEdit::Normal;
        // A field whose focus goes to another control (the board list's own text field) is
        // part of that control, not a stop of its own.
        if (Edit()->focusProxy()) s.focusable = false;
        return s;
    }

    QString attributes(int /*offset*/, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        return QString();
    }

    QString text(int startOffset, int endOffset) const override {
        return Edit()->displayText().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(Edit()->displayText().size()); }
    int cursorPosition() const override { return Edit()->cursorPosition(); }
    void setCursorPosition(int position) override { Edit()->setCursorPosition(position); }
    int selectionCount() const override { return Edit()->hasSelectedText() ? 1 : 0; }
    void selection(int index, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (index != 0 || !Edit()->hasSelectedText()) return;
        *startOffset = Edit()->selectionStart();
        *endOffset = Edit()->selectionEnd();
    }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void setSelection(int /*index*/, int startOffset, int endOffset) override {
        Edit()->setSelection(startOffset, endOffset - startOffset);
    }
    void removeSelection(int /*index*/) override { Edit()->deselect(); }
    void scrollToSubstring(int startIndex, int /*endIndex*/) override {
        Edit()->setCursorPosition(startIndex);
    }
    int offsetAtPoint(const QPoint& point) const override {
        return Edit()->cursorPositionAt(Edit()->mapFromGlobal(point));
    }
    QRect characterRect(int offset) const override {
        const QFontMetrics metrics(Edit()->font());
        const QString shown = Edit()->displayText();
        const QRect contents = Edit()->contentsRect();
        const int x = contents.left() + metrics.horizontalAdvance(shown.left(offset));
        const QRect local(x, contents.top(), metrics.horizontalAdvance(shown.mid(offset, 1)),
                          contents.height());
        return QRect(Edit()->mapToGlobal(local.topLeft()), local.size());
    }

    void deleteText(int startOffset, int endOffset) override {
        replaceText(startOffset, endOffset, QString());
    }
    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
    void replaceText(int startOffset, int endOffset, const QString& text) override {
        const QString old = Edit()->text();
        Edit()->setText(old.left(startOffset) + text + old.mid(endOffset));
    }

private:
    QLineEdit* Edit() const { return static_cast<QLineEdit*>(widget()); }
};

// The object that speaks a verdict: a notification that shows with the verdict as its name.
class NoticeAccessible : public QAccessibleWidget {
public:
    explicit NoticeAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Notification) {}
};

constexpr const char* kNoticeProperty = "afxNotice";
constexpr const char* kAnnounceProperty = "afxAnnounce";
// A text pane no label names: the program's log.
constexpr const char* kConsoleName = "Log console";

QAccessibleInterface* LayerAccessibleFactory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    auto* w = static_cast<QWidget*>(object);
    if (className == QLatin1String("QRadioButton")) return new RadioButtonAccessible(w);
    if (className == QLatin1String("QLineEdit")) return new LineEditAccessible(static_cast<QLineEdit*>(w));
    if (className == QLatin1String("QWidget") && w->property(kNoticeProperty).toBool())
        return new NoticeAccessible(w);
    return nullptr;
}

// A rectangle in dialog units.
struct Box {
    int left, top, right, bottom;
    int CentreY() const { return (top + bottom) / 2; }
};

Box BoxOf(const ControlTemplate& c) {
    // A combo box's template height is that of its open list; on screen it is one line.
    const int height = c.kind == ControlKind::ComboBox ? std::min(c.cy, 14) : c.cy;
    return {c.x, c.y, c.x + c.cx, c.y + height};
}

// Static text that labels something: no control id of its own (a static with an id is a
// field the program writes to, such as a status field).
bool IsLabel(const ControlTemplate& c) {
    return c.kind == ControlKind::Static && c.id == -1 && !c.text.empty();
}

bool SameRow(const Box& a, const Box& b) {
    return (a.CentreY() >= b.top && a.CentreY() <= b.bottom) ||
           (b.CentreY() >= a.top && b.CentreY() <= a.bottom);
}

// "Base Address" from "Base &Address", "FPGA Revision" from "FPGA Revision: ".
std::string LabelText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        out.push_back(text[i]);
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == ':')) out.pop_back();
    return out;
}

bool Encloses(const Box& outer, const Box& inner) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

// How far above a box its label may stand, in dialog units.
constexpr int kLabelAboveGap = 6;

// The label that names a text box: the nearest label before it on its row, in reading
// order; failing that, a row label after it on its row, with the heading at the top of that
// label's column ("Ch" over "0", "1", ...); failing that, a label just above it at its left
// edge.
struct Naming {
    const ControlTemplate* label = nullptr;    // linked to the box
    const ControlTemplate* heading = nullptr;  // only part of the name
};

const ControlTemplate* HeadingOver(const DialogTemplate& t, const ControlTemplate& rowLabel) {
    const Box row = BoxOf(rowLabel);
    const ControlTemplate* heading = nullptr;
    for (const ControlTemplate& c : t.controls) {
        if (!IsLabel(c) || &c == &rowLabel) continue;
        const Box label = BoxOf(c);
        const bool overlaps = label.left < row.right && row.left < label.right;
        if (overlaps && label.bottom <= row.top && (!heading || label.top < BoxOf(*heading).top))
            heading = &c;
    }
    return heading;
}

// The nearest control before the box on its row (and the nearest after it) that passes a test.
template <typename Test>
std::pair<const ControlTemplate*, const ControlTemplate*> RowNeighbours(const DialogTemplate& t,
                                                                        const Box& box, Test test) {
    const ControlTemplate* before = nullptr;
    const ControlTemplate* after = nullptr;
    for (const ControlTemplate& c : t.controls) {
        if (!test(c)) continue;
        const Box label = BoxOf(c);
        if (!SameRow(label, box)) continue;
        if (label.right <= box.left + 2 && (!before || label.right > BoxOf(*before).right)) before = &c;
        if (label.left >= box.right - 2 && (!after || label.left < BoxOf(*after).left)) after = &c;
    }
    return {before, after};
}

Naming NamingOf(const DialogTemplate& t, const ControlTemplate& control) {
    const Box box = BoxOf(control);
    const auto [before, after] = RowNeighbours(t, box, IsLabel);
    if (before) return {before, nullptr};
    if (after) return {after, HeadingOver(t, *after)};
    for (const ControlTemplate& c : t.controls) {
        const Box label = BoxOf(c);
        if (IsLabel(c) && std::abs(label.left - box.left) <= 2 && label.bottom <= box.top &&
            box.top - label.bottom <= kLabelAboveGap)
            return {&c, nullptr};
    }
    return {};
}

bool IsNamedByLabel(ControlKind kind) {
    return kind == ControlKind::Edit || kind == ControlKind::RichEdit || kind == ControlKind::ComboBox;
}

// What a field the program writes to is about: the label or button before it on its row
// ("Initialize Board" for the verdict beside that button).
std::optional<std::string> SubjectOf(const DialogTemplate& t, const ControlTemplate& field) {
    const auto isSubject = [](const ControlTemplate& c) {
        return IsLabel(c) || c.kind == ControlKind::PushButton;
    };
    const ControlTemplate* before = RowNeighbours(t, BoxOf(field), isSubject).first;
    if (!before) return std::nullopt;
    return LabelText(before->text);
}

QWidget* WidgetOf(const DialogTemplate& t, const std::vector<QWidget*>& widgets, const ControlTemplate* c) {
    if (!c) return nullptr;
    const auto i = static_cast<std::size_t>(c - t.controls.data());
    return i < widgets.size() ? widgets[i] : nullptr;
}

// Names a text box or list after its label and links the two, so that a screen reader finds
// the label through the box's relations and the box through the label's.
void NameAfterLabel(const DialogTemplate& t, const std::vector<QWidget*>& widgets, std::size_t i) {
    const ControlTemplate& c = t.controls[i];
    QWidget* w = widgets[i];
    const Naming naming = NamingOf(t, c);
    std::string name;
    if (naming.label)
        name = (naming.heading ? LabelText(naming.heading->text) + " " : std::string()) +
               LabelText(naming.label->text);
    else if (c.kind == ControlKind::RichEdit)
        name = kConsoleName;
    else
        name = t.caption;
    w->setAccessibleName(FromText(name.c_str()));
    if (auto* label = dynamic_cast<QLabel*>(WidgetOf(t, widgets, naming.label))) label->setBuddy(w);
    if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->lineEdit()) {
        // The list's text field is part of the list: it carries the list's name.
        combo->lineEdit()->setAccessibleName(w->accessibleName());
    }
}

QWidget* NoticeOf(QWidget* window) {
    for (QWidget* child : window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->property(kNoticeProperty).toBool()) return child;
    auto* notice = new QWidget(window);
    notice->setProperty(kNoticeProperty, true);
    notice->setAttribute(Qt::WA_TransparentForMouseEvents);
    notice->setFocusPolicy(Qt::NoFocus);
    notice->setGeometry(0, 0, 1, 1);
    return notice;
}

}  // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(LayerAccessibleFactory);
}

std::vector<int> EnclosingGroupBoxes(const DialogTemplate& t) {
    std::vector<int> holders(t.controls.size(), -1);
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        if (t.controls[i].kind == ControlKind::GroupBox) continue;
        const Box box = BoxOf(t.controls[i]);
        for (std::size_t g = 0; g < t.controls.size(); ++g) {
            const ControlTemplate& group = t.controls[g];
            if (group.kind != ControlKind::GroupBox || !Encloses(BoxOf(group), box)) continue;
            const auto area = [](const Box& b) { return (b.right - b.left) * (b.bottom - b.top); };
            if (holders[i] < 0 ||
                area(BoxOf(group)) < area(BoxOf(t.controls[static_cast<std::size_t>(holders[i])])))
                holders[i] = static_cast<int>(g);
        }
    }
    return holders;
}

void DescribeControls(const DialogTemplate& t, const std::vector<QWidget*>& widgets) {
    for (std::size_t i = 0; i < t.controls.size() && i < widgets.size(); ++i) {
        const ControlTemplate& c = t.controls[i];
        if (!widgets[i]) continue;
        if (IsNamedByLabel(c.kind)) NameAfterLabel(t, widgets, i);
        if (c.kind == ControlKind::Static && c.id != -1)
            if (const auto subject = SubjectOf(t, c))
                widgets[i]->setProperty(kAnnounceProperty, FromText(subject->c_str()));
    }
}

void AnnounceStatus(QWidget* field, const QString& text) {
    const QString subject = field->property(kAnnounceProperty).toString();
    if (subject.isEmpty() || text.isEmpty()) return;
    QWidget* notice = NoticeOf(field->window());
    // Each verdict shows the notice anew: a screen reader speaks a notification as it shows.
    notice->hide();
    notice->setAccessibleName(subject + QStringLiteral(": ") + text);
    notice->show();
}

}  // namespace vantrel::afx
