// Labels with keyboard mnemonics ("&Serial number:") name their text boxes and announce their
// verdicts as a person reads them: without the ampersand and the trailing colon.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QWidget>

#include "DialogDriver.h"

namespace {

constexpr UINT kMnemonicDialog = 950;
constexpr int kSerialEdit = 1001;
constexpr int kRunButton = 1003;
constexpr int kRunStatus = 1020;

void RegisterMnemonicTemplate() {
    static const bool done = [] {
        std::string error;
        const bool ok = vantrel::afx::AddDialogTemplates(R"(
950 DIALOG 0, 0, 200, 60
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "Mnemonics"
FONT 8, "MS Sans Serif"
BEGIN
    LTEXT           "&Serial number:", -1, 10, 10, 60, 8
    EDITTEXT        1001, 75, 8, 60, 12, ES_AUTOHSCROLL
    PUSHBUTTON      "&Run", 1003, 10, 30, 50, 14
    LTEXT           "", 1020, 75, 32, 60, 10
END
)",
                                                         &error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }();
    (void)done;
}

class MnemonicDialog : public CDialog {
public:
    MnemonicDialog() : CDialog(kMnemonicDialog) {}
};

TEST(MnemonicLabels, NameTheirBoxAndVerdictWithoutTheAmpersand) {
    RegisterMnemonicTemplate();
    MnemonicDialog dialog;
    vantrel::dialogdriver::DialogDriver driver(dialog);
    ASSERT_TRUE(driver.Start());
    QAccessibleInterface* edit = QAccessible::queryAccessibleInterface(driver.Control(kSerialEdit));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(QAccessible::Name).toStdString(), "Serial number");
    dialog.SetDlgItemText(kRunStatus, "PASSED");
    QWidget* window = driver.Control(kRunButton)->window();
    std::vector<std::string> spoken;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(child);
        if (a && a->role() == QAccessible::Notification)
            spoken.push_back(child->accessibleName().toStdString());
    }
    EXPECT_EQ(spoken, std::vector<std::string>{"Run: PASSED"});
    dialog.DestroyWindow();
}

}  // namespace
