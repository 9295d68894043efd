#pragma once
// Runs the real main dialog offscreen, modally, in a fresh bench folder, on the simulated
// driver (or none), and lets a test act in it as the operator would, through the shared
// dialog driver.

#include "AppTestAccess.h"
#include "BenchFolder.h"
#include "DialogDriver.h"
#include "app/CMainTestDlg.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace apptest {

using ColourRun = vantrel::dialogdriver::ColourRun;

using MessageBoxRecord = vantrel::dialogdriver::MessageBoxRecord;

// Counts the paint events a widget receives: a repaint that happens before a handler
// returns shows up here without the event loop running.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget);
    ~PaintCounter() override;
    int Count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_widget;
    int m_count = 0;
};

class DialogFixture : public testing::Test {
protected:
    enum class Driver { Simulated, Missing };

    void SetUp() override;
    void TearDown() override;

    std::filesystem::path Folder() const { return m_bench->path(); }
    vantrel::dialogdriver::BenchFolder& Bench() { return *m_bench; }
    void WriteSettings(const std::string& content) const;

    // Runs the dialog modally; actions run once its loop is up. When the actions leave it
    // open, it is ended with Quit. Returns the dialog's result.
    INT_PTR Run(const std::function<void(CMainTestDlg&)>& actions, Driver driver = Driver::Simulated);

public:
    // Operator actions and readings on a running dialog; public for plain functions of case
    // tables too.
    static QWidget* Control(CMainTestDlg& dlg, int id);
    static void PressKey(CMainTestDlg& dlg, int qtKey);
    static void Click(CMainTestDlg& dlg, int id);
    static void Focus(CMainTestDlg& dlg, int id);
    // A control's background as painted now.
    static QColor Background(CMainTestDlg& dlg, int id);

protected:
    static void ChooseRow(CMainTestDlg& dlg, int row);
    static int FocusId(CMainTestDlg& dlg);
    static std::string Text(CMainTestDlg& dlg, int id);
    static std::string ConsoleText(CMainTestDlg& dlg);
    static std::vector<ColourRun> ConsoleRuns(CMainTestDlg& dlg);
    // Lines of the simulated driver's call log (kept after the dialog has ended).
    std::vector<std::string> CallLog() const;
    int CountCalls(const std::string& line) const;

    // Every message box so far, each answered with its first button.
    std::vector<MessageBoxRecord> m_messageBoxes;

private:
    std::unique_ptr<vantrel::dialogdriver::BenchFolder> m_bench;
    std::unique_ptr<vantrel::dialogdriver::MessageBoxScript> m_boxes;
};

// A control of the running dialog by its id, as the C++ object bound to it.
template <class Control>
Control& Item(CMainTestDlg& dlg, int id) {
    auto* control = dynamic_cast<Control*>(dlg.GetDlgItem(id));
    if (!control) throw std::logic_error("the main dialog has no such control " + std::to_string(id));
    return *control;
}

std::string Normalised(std::string text);
// Without the line ends at either side.
std::string Trimmed(const std::string& text);

}  // namespace apptest
