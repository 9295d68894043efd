// What the dialogs tell assistive technology (a screen reader through the desktop's
// accessibility bus): radio buttons as radio buttons with their checked state, and text
// boxes named after the label that stands before them.
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QRadioButton>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

#include "afx/AfxPrivate.h"

namespace afx {

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

QAccessibleInterface* LayerAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QRadioButton") && object && object->isWidgetType())
        return new RadioButtonAccessible(static_cast<QWidget*>(object));
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

// The label that names a text box: the nearest label before it on its row, in reading
// order; failing that, a row label after it on its row, with the heading at the top of that
// label's column ("Ch" over "0", "1", ...).
std::optional<std::string> LabelFor(const DialogTemplate& t, const ControlTemplate& control) {
    const Box box = BoxOf(control);
    const ControlTemplate* before = nullptr;
    const ControlTemplate* after = nullptr;
    for (const ControlTemplate& c : t.controls) {
        if (!IsLabel(c)) continue;
        const Box label = BoxOf(c);
        if (!SameRow(label, box)) continue;
        if (label.right <= box.left + 2 && (!before || label.right > BoxOf(*before).right)) before = &c;
        if (label.left >= box.right - 2 && (!after || label.left < BoxOf(*after).left)) after = &c;
    }
    if (before) return LabelText(before->text);
    if (!after) return std::nullopt;
    const Box rowLabel = BoxOf(*after);
    const ControlTemplate* heading = nullptr;
    for (const ControlTemplate& c : t.controls) {
        if (!IsLabel(c) || &c == after) continue;
        const Box label = BoxOf(c);
        const bool overlaps = label.left < rowLabel.right && rowLabel.left < label.right;
        if (overlaps && label.bottom <= rowLabel.top && (!heading || label.top < BoxOf(*heading).top))
            heading = &c;
    }
    const std::string row = LabelText(after->text);
    return heading ? LabelText(heading->text) + " " + row : row;
}

}  // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(LayerAccessibleFactory);
}

void NameControlsFromLabels(const DialogTemplate& t, const std::vector<QWidget*>& widgets) {
    for (std::size_t i = 0; i < t.controls.size() && i < widgets.size(); ++i) {
        const ControlTemplate& c = t.controls[i];
        QWidget* w = widgets[i];
        if (!w || (c.kind != ControlKind::Edit && c.kind != ControlKind::RichEdit &&
                   c.kind != ControlKind::ComboBox))
            continue;
        // A text box no label names (the log console) takes the name of its dialog.
        const auto label = LabelFor(t, c);
        w->setAccessibleName(FromText(label ? label->c_str() : t.caption.c_str()));
    }
}

}  // namespace afx
