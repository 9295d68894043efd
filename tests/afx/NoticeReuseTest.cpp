// A window announces every verdict through one notification object of its own, however many
// verdicts a shift brings: the window does not grow with each, and a screen reader finds one
// notification, named after the latest verdict.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QWidget>

#include <memory>

#include "DialogDriver.h"

namespace {

constexpr UINT kMainWindow = 102;
constexpr int kInitStatus = 1014;
constexpr int kInterruptStatus = 1016;

class TemplateDialog : public CDialog {
public:
    TemplateDialog() : CDialog(kMainWindow) {}
};

std::vector<QWidget*> Notifications(QWidget* window) {
    std::vector<QWidget*> found;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(child);
        if (a && a->role() == QAccessible::Notification) found.push_back(child);
    }
    return found;
}

TEST(NoticeReuse, ManyVerdictsShareOneNotification) {
    TemplateDialog dialog;
    vantrel::dialogdriver::DialogDriver driver(dialog);
    ASSERT_TRUE(driver.Start());
    QWidget* window = driver.Control(kInitStatus)->window();
    const int children = static_cast<int>(window->findChildren<QWidget*>().size());
    for (int i = 0; i < 50; ++i) {
        dialog.SetDlgItemText(kInitStatus, i % 2 ? "SUCCESS" : "Testing...");
        dialog.SetDlgItemText(kInterruptStatus, "FAILED");
    }
    const auto notices = Notifications(window);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0]->accessibleName().toStdString(), "Interrupt Test: FAILED");
    EXPECT_LE(static_cast<int>(window->findChildren<QWidget*>().size()), children + 1);
    dialog.DestroyWindow();
}

}  // namespace
