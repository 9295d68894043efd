// What a screen reader learns from the dialogs, read through the toolkit's accessibility
// interface on the real widgets of the program's own templates: roles, names, checked
// states and the status fields' texts.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QWidget>

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
    std::unique_ptr<harness::DialogDriver> driver;
};

Opened Open(UINT templateId) {
    Opened o;
    o.dialog = std::make_unique<TemplateDialog>(templateId);
    o.driver = std::make_unique<harness::DialogDriver>(*o.dialog);
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
                             // The console has no label: it carries its window's name.
                             ControlCase{kMainWindow, 1000, QAccessible::EditableText, "Vantrel version 1.0"},
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

}  // namespace
