// What a screen reader learns from the dialogs, read through the toolkit's accessibility
// interface on the real widgets of the program's own templates: roles, names, checked
// states, the status fields' texts, labels linked to their controls, groups holding their
// controls, single-line text read whole and verdicts announced.
#include <gtest/gtest.h>

#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <memory>
#include <ostream>
#include <string>

#include "DialogDriver.h"

namespace {

constexpr UINT kMainWindow = 102;
constexpr UINT kMeasureReferences = 103;

// A dialog on one of the program's templates, with nothing of the program's handlers.
class TemplateDialog : public CDialog {
public:
    explicit TemplateDialog(UINT id) : CDialog(id) {}
};

struct Opened {
    std::unique_ptr<TemplateDialog> dialog;
    std::unique_ptr<vantrel::dialogdriver::DialogDriver> driver;
};

Opened Open(UINT templateId) {
    Opened o;
    o.dialog = std::make_unique<TemplateDialog>(templateId);
    o.driver = std::make_unique<vantrel::dialogdriver::DialogDriver>(*o.dialog);
    EXPECT_TRUE(o.driver->Start()) << "template " << templateId;
    return o;
}

QAccessibleInterface* Accessible(const Opened& o, int id) {
    QWidget* w = o.driver->Control(id);
    EXPECT_NE(w, nullptr) << "control " << id;
    return w ? QAccessible::queryAccessibleInterface(w) : nullptr;
}

struct ControlCase {
    UINT dialog;
    int id;
    QAccessible::Role role;
    const char* name;  // what a screen reader announces
};

void PrintTo(const ControlCase& c, std::ostream* os) { *os << c.dialog << "/" << c.id; }

class ControlAccessibility : public testing::TestWithParam<ControlCase> {};

TEST_P(ControlAccessibility, ReportsRoleAndName) {
    const ControlCase& c = GetParam();
    const Opened o = Open(c.dialog);
    QAccessibleInterface* a = Accessible(o, c.id);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), c.role) << "control " << c.id;
    EXPECT_EQ(a->text(QAccessible::Name).toStdString(), c.name) << "control " << c.id;
    o.dialog->DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(Templates, ControlAccessibility,
                         testing::Values(
                             // Each label stands before its box on screen, though after it in the template.
                             ControlCase{kMainWindow, 1001, QAccessible::EditableText, "Base Address"},
                             ControlCase{kMainWindow, 1002, QAccessible::EditableText, "Interrupt"},
                             ControlCase{kMainWindow, 1068, QAccessible::ComboBox, "Board Type Macro"},
                             ControlCase{kMainWindow, 1031, QAccessible::EditableText, "FPGA Revision"},
                             // The console has no label: it is named for what it is.
                             ControlCase{kMainWindow, 1000, QAccessible::EditableText, "Log console"},
                             ControlCase{kMainWindow, 1062, QAccessible::RadioButton, "Fluke 45"},
                             ControlCase{kMainWindow, 1063, QAccessible::RadioButton, "HP 34401A"},
                             ControlCase{kMainWindow, 1064, QAccessible::RadioButton, "None"},
                             ControlCase{kMainWindow, 1003, QAccessible::Button, "Initialize Board"},
                             // The reference edits by channel: the row label after them under its heading.
                             ControlCase{kMeasureReferences, 1025, QAccessible::EditableText, "Ch 0"},
                             ControlCase{kMeasureReferences, 1026, QAccessible::EditableText, "Ch 1"},
                             ControlCase{kMeasureReferences, 1027, QAccessible::EditableText, "Ch 2"},
                             ControlCase{kMeasureReferences, 1028, QAccessible::EditableText, "Ch 3"},
                             ControlCase{kMeasureReferences, 1029, QAccessible::EditableText, "Ch 4"}),
                         [](const testing::TestParamInfo<ControlCase>& row) {
                             return std::to_string(row.param.dialog) + "_" + std::to_string(row.param.id);
                         });

bool Checked(const Opened& o, int id) {
    QAccessibleInterface* a = Accessible(o, id);
    return a && a->state().checkable && a->state().checked;
}

TEST(WindowAccessibility, MeterButtonsReportTheirCheckedState) {
    const Opened o = Open(kMainWindow);
    o.dialog->CheckRadioButton(1062, 1064, 1063);
    EXPECT_FALSE(Checked(o, 1062));
    EXPECT_TRUE(Checked(o, 1063));
    EXPECT_FALSE(Checked(o, 1064));
    EXPECT_TRUE(Accessible(o, 1062)->state().checkable);

    o.driver->Click(1064);  // the operator's choice
    EXPECT_FALSE(Checked(o, 1063));
    EXPECT_TRUE(Checked(o, 1064));

    // A screen reader's press action chooses the button as a click does.
    QAccessibleInterface* fluke = Accessible(o, 1062);
    ASSERT_NE(fluke->actionInterface(), nullptr);
    fluke->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(Checked(o, 1062));
    EXPECT_FALSE(Checked(o, 1064));
    o.dialog->DestroyWindow();
}

TEST(WindowAccessibility, StatusFieldsReportTheirText) {
    const Opened o = Open(kMainWindow);
    o.dialog->SetDlgItemText(1014, "SUCCESS");
    o.dialog->SetDlgItemText(1016, "FAILED");
    o.dialog->SetDlgItemText(1031, "7");
    EXPECT_EQ(Accessible(o, 1014)->role(), QAccessible::StaticText);
    EXPECT_EQ(Accessible(o, 1014)->text(QAccessible::Name).toStdString(), "SUCCESS");
    EXPECT_EQ(Accessible(o, 1016)->text(QAccessible::Name).toStdString(), "FAILED");
    EXPECT_EQ(Accessible(o, 1031)->text(QAccessible::Value).toStdString(), "7");
    o.dialog->SetDlgItemText(1014, "Testing...");
    EXPECT_EQ(Accessible(o, 1014)->text(QAccessible::Name).toStdString(), "Testing...");
    o.dialog->DestroyWindow();
}

// ---- labels linked to their controls ----

constexpr UINT kSerialNumber = 104;

struct LinkCase {
    UINT dialog;
    int id;
    const char* label;  // the text of the label or group box the control is linked to
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.dialog << "/" << c.id; }

// The text a relation target shows: a label's text or a group box's title.
std::string ShownText(QAccessibleInterface* target) {
    if (auto* label = qobject_cast<QLabel*>(target->object())) return label->text().toStdString();
    return target->text(QAccessible::Name).toStdString();
}

std::vector<std::string> RelatedTexts(QAccessibleInterface* a, QAccessible::Relation relation) {
    std::vector<std::string> texts;
    for (const auto& [target, kind] : a->relations(relation)) texts.push_back(ShownText(target));
    return texts;
}

bool Has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

class LabelLinks : public testing::TestWithParam<LinkCase> {};

// Both ways: the control is labelled by the label, and the label is the label for it.
TEST_P(LabelLinks, ControlIsLabelledByItsLabelAndTheLabelPointsBack) {
    const LinkCase& c = GetParam();
    const Opened o = Open(c.dialog);
    QAccessibleInterface* a = Accessible(o, c.id);
    ASSERT_NE(a, nullptr);
    const std::vector<std::string> labels = RelatedTexts(a, QAccessible::Label);
    EXPECT_TRUE(Has(labels, c.label)) << "control " << c.id << " is not labelled by \"" << c.label << "\"";
    bool pointsBack = false;
    for (const auto& [target, kind] : a->relations(QAccessible::Label)) {
        if (ShownText(target) != c.label) continue;
        for (const auto& [back, backKind] : target->relations(QAccessible::Labelled))
            pointsBack = pointsBack || back->object() == a->object();
    }
    EXPECT_TRUE(pointsBack) << "\"" << c.label << "\" is not the label for control " << c.id;
    o.dialog->DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(
    Templates, LabelLinks,
    testing::Values(LinkCase{kMainWindow, 1001, "Base Address"}, LinkCase{kMainWindow, 1002, "Interrupt"},
                    LinkCase{kMainWindow, 1068, "Board Type Macro"},
                    LinkCase{kMainWindow, 1031, "FPGA Revision: "},
                    // The meter buttons are labelled by their group.
                    LinkCase{kMainWindow, 1062, "Voltage Meter"},
                    LinkCase{kMainWindow, 1063, "Voltage Meter"},
                    LinkCase{kMainWindow, 1064, "Voltage Meter"}, LinkCase{kMeasureReferences, 1025, "0"},
                    LinkCase{kMeasureReferences, 1026, "1"}, LinkCase{kMeasureReferences, 1027, "2"},
                    LinkCase{kMeasureReferences, 1028, "3"}, LinkCase{kMeasureReferences, 1029, "4"},
                    // A label above its box.
                    LinkCase{kSerialNumber, 1070, "Scan or type the serial number of the board:"}),
    [](const testing::TestParamInfo<LinkCase>& row) {
        return std::to_string(row.param.dialog) + "_" + std::to_string(row.param.id);
    });

// ---- groups holding their controls ----

struct GroupCase {
    UINT dialog;
    int id;
    const char* group;  // the title of the group the control belongs to, "" for none
};

void PrintTo(const GroupCase& c, std::ostream* os) { *os << c.dialog << "/" << c.id; }

class GroupHolding : public testing::TestWithParam<GroupCase> {};

TEST_P(GroupHolding, ControlSitsInTheGroupAroundIt) {
    const GroupCase& c = GetParam();
    const Opened o = Open(c.dialog);
    QAccessibleInterface* a = Accessible(o, c.id);
    ASSERT_NE(a, nullptr);
    QAccessibleInterface* parent = a->parent();
    ASSERT_NE(parent, nullptr);
    if (*c.group) {
        EXPECT_EQ(parent->role(), QAccessible::Grouping) << "control " << c.id;
        EXPECT_EQ(parent->text(QAccessible::Name).toStdString(), c.group) << "control " << c.id;
    } else {
        EXPECT_EQ(parent->object(), o.driver->window()) << "control " << c.id;
    }
    o.dialog->DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(Templates, GroupHolding,
                         testing::Values(GroupCase{kMainWindow, 1062, "Voltage Meter"},
                                         GroupCase{kMainWindow, 1064, "Voltage Meter"},
                                         GroupCase{kMainWindow, 1001, "Configuration"},
                                         GroupCase{kMainWindow, 1068, "Configuration"},
                                         GroupCase{kMainWindow, 1003, "Tests"},
                                         GroupCase{kMainWindow, 1014, "Tests"},
                                         GroupCase{kMainWindow, 1066, "Debugging and Other Functions"},
                                         GroupCase{kMeasureReferences, 1025, "User References:"},
                                         GroupCase{kMeasureReferences, 1030, "Current EEPROM References:"},
                                         // Outside every frame: the console, the FPGA field, Cancel.
                                         GroupCase{kMainWindow, 1000, ""}, GroupCase{kMainWindow, 1031, ""},
                                         GroupCase{kMeasureReferences, 2, ""}),
                         [](const testing::TestParamInfo<GroupCase>& row) {
                             return std::to_string(row.param.dialog) + "_" + std::to_string(row.param.id);
                         });

TEST(WindowAccessibility, BoardListTextFieldIsNoSecondUnnamedStop) {
    const Opened o = Open(kMainWindow);
    auto* combo = qobject_cast<QComboBox*>(o.driver->Control(1068));
    ASSERT_NE(combo, nullptr);
    ASSERT_NE(combo->lineEdit(), nullptr);
    QAccessibleInterface* inner = QAccessible::queryAccessibleInterface(combo->lineEdit());
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->text(QAccessible::Name).toStdString(), "Board Type Macro");
    EXPECT_FALSE(inner->state().focusable);
    EXPECT_TRUE(Accessible(o, 1068)->state().focusable);
    // Typing still reaches the list's text through the list itself.
    o.driver->EditComboText(1068, "Corvit");
    EXPECT_EQ(o.driver->Text(1068), "Corvit");
    o.dialog->DestroyWindow();
}

// ---- single-line text read whole ----

// The text as a screen reader speaks it: from the attribute runs it gathers, walking the
// offsets and joining neighbouring runs that share a language.
std::string TextFromRuns(QAccessibleTextInterface* text) {
    int joinedStart = -1, joinedEnd = -1;
    for (int offset = 0; offset < text->characterCount();) {
        int start = 0, end = 0;
        text->attributes(offset, &start, &end);
        if (joinedStart < 0) joinedStart = std::max(start, offset);
        joinedEnd = end;
        offset = std::max(end, offset + 1);
    }
    return joinedStart < 0 ? std::string() : text->text(joinedStart, joinedEnd).toStdString();
}

TEST(WindowAccessibility, SingleLineTextIsReadWhole) {
    const Opened o = Open(kMainWindow);
    for (const char* value : {"300", "0x1a3", "7", "0", "", "Corvel 2"}) {
        o.driver->SetText(1002, value);
        o.driver->SetText(1031, value);
        for (int id : {1002, 1031}) {
            QAccessibleTextInterface* text = Accessible(o, id)->textInterface();
            ASSERT_NE(text, nullptr) << "control " << id;
            const std::string shown = o.driver->Text(id);
            EXPECT_EQ(TextFromRuns(text), shown) << "control " << id << " holding \"" << shown << "\"";
            EXPECT_EQ(text->text(0, text->characterCount()).toStdString(), shown) << "control " << id;
        }
    }
    o.dialog->DestroyWindow();
}

TEST(WindowAccessibility, TextInterfaceFollowsCaretAndSelection) {
    const Opened o = Open(kMainWindow);
    o.driver->SetText(1001, "1A3");
    QAccessibleInterface* a = Accessible(o, 1001);
    QAccessibleTextInterface* text = a->textInterface();
    ASSERT_NE(text, nullptr);
    ASSERT_NE(a->editableTextInterface(), nullptr);
    text->setSelection(0, 1, 3);
    int start = -1, end = -1;
    text->selection(0, &start, &end);
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(1, 3));
    EXPECT_EQ(text->selectionCount(), 1);
    text->setCursorPosition(2);
    EXPECT_EQ(text->cursorPosition(), 2);
    a->editableTextInterface()->insertText(3, "F");
    EXPECT_EQ(o.driver->Text(1001), "1A3F");
    a->editableTextInterface()->deleteText(0, 1);
    EXPECT_EQ(o.driver->Text(1001), "A3F");
    // The read-only FPGA field offers no editing.
    EXPECT_EQ(Accessible(o, 1031)->editableTextInterface(), nullptr);
    EXPECT_TRUE(Accessible(o, 1031)->state().readOnly);
    o.dialog->DestroyWindow();
}

// ---- verdicts announced ----

struct Shown {
    QAccessible::Role role;
    std::string name;
};

std::vector<Shown>* g_shown = nullptr;

void RecordShows(QAccessibleEvent* event) {
    if (!g_shown || event->type() != QAccessible::ObjectShow) return;
    if (QAccessibleInterface* a = event->accessibleInterface())
        g_shown->push_back({a->role(), a->text(QAccessible::Name).toStdString()});
}

// Collects the objects that show while it lives, as a screen reader hears of them.
class ShowRecorder {
public:
    ShowRecorder() {
        g_shown = &m_shown;
        // The toolkit sends accessibility events only while assistive technology listens.
        QPlatformAccessibility* platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
        if (platform) platform->setActive(true);
        QAccessible::installUpdateHandler(RecordShows);
    }
    ~ShowRecorder() {
        QAccessible::installUpdateHandler(nullptr);
        if (QPlatformAccessibility* platform = QGuiApplicationPrivate::platformIntegration()->accessibility())
            platform->setActive(false);
        g_shown = nullptr;
    }
    std::vector<std::string> Notifications() const {
        std::vector<std::string> names;
        for (const Shown& s : m_shown)
            if (s.role == QAccessible::Notification) names.push_back(s.name);
        return names;
    }

private:
    std::vector<Shown> m_shown;
};

struct VerdictCase {
    UINT dialog;
    int id;
    const char* text;
    const char* spoken;  // "" when nothing is to be announced
};

void PrintTo(const VerdictCase& c, std::ostream* os) { *os << c.dialog << "/" << c.id << " " << c.text; }

class VerdictAnnouncement : public testing::TestWithParam<VerdictCase> {};

TEST_P(VerdictAnnouncement, NewTextOfAFieldShowsANotification) {
    const VerdictCase& c = GetParam();
    const Opened o = Open(c.dialog);
    ShowRecorder recorder;
    o.dialog->SetDlgItemText(c.id, c.text);
    o.dialog->SetDlgItemText(c.id, c.text);  // the same verdict again is news again
    const std::vector<std::string> expected =
        *c.spoken ? std::vector<std::string>{c.spoken, c.spoken} : std::vector<std::string>{};
    EXPECT_EQ(recorder.Notifications(), expected);
    o.dialog->DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(
    Templates, VerdictAnnouncement,
    testing::Values(VerdictCase{kMainWindow, 1014, "SUCCESS", "Initialize Board: SUCCESS"},
                    VerdictCase{kMainWindow, 1014, "Testing...", "Initialize Board: Testing..."},
                    VerdictCase{kMainWindow, 1016, "FAILED", "Interrupt Test: FAILED"},
                    // A field cleared, a label and a field with nothing before it say nothing.
                    VerdictCase{kMainWindow, 1014, "", ""}, VerdictCase{kMainWindow, 1003, "Free Board", ""},
                    VerdictCase{kMeasureReferences, 1030, "Ch 0: 5.0000 V", ""}),
    [](const testing::TestParamInfo<VerdictCase>& row) {
        std::string name = std::to_string(row.param.dialog) + "_" + std::to_string(row.param.id) + "_";
        for (const char* p = row.param.text; *p; ++p)
            if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
        return name;
    });

}  // namespace
