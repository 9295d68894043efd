#pragma once
// The Measure References flow driven through the real main dialog: a bench folder with the
// simulated board and, when asked, the meter emulator on COM1; an operator script for the
// Measure References window; and what came out of it (message boxes, console, call log,
// EEPROM before and after).

#include "MeasureBench.h"

#include "AppTestAccess.h"
#include "DialogDriver.h"
#include "app/CMainTestDlg.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace measuretest {

// The true references on the bench terminals, and what the EEPROM holds before a run.
inline const std::vector<double> kTrueReferences = {4.9962, 2.4987, 1.2493, 0.6247, 0.0004, 7.5012, 9.9987};
inline const std::vector<double> kStoredBefore = {4.9011, 2.4022, 1.2033, 0.6044, 0.0055, 7.4066, 9.9077};

inline constexpr int kReferenceEdit0 = 1025;
inline constexpr int kEepromStatic = 1030;
inline constexpr int kKeepButton = 1024;

inline constexpr const char* kInstructionsCaption = "Instructions";
inline constexpr const char* kReadFailedText =
    "There was an Error with Reading the meter\n\nPlease Check that the null modem cable is "
    "connected\n\nIf error persists, refer to the proceedure or contact Zaltrice";
inline constexpr const char* kMeterFailedNotice =
    "Error Communicating with Meter; Check if null modem cables are connected";
inline constexpr const char* kOutOfToleranceNotice =
    "Error with Meter Reading; Check if the probes are attached to the Precise Voltage "
    "Reference Terminals +/- , or if the Meter is functioning properly";
inline constexpr const char* kMeterLogLine =
    "The voltmeter is being automatically read. The process may take up to 20 seconds.";

// What the Measure References window showed once it was up for the operator.
struct WindowSeen {
    bool shown = false;
    std::array<std::string, 5> edits;
    std::string eepromText;
    int focusId = 0;
};

struct FlowOutcome {
    WindowSeen window;
    vantrel::meter::MeasureResult result;  // what the run returned
    bool windowEnded = false;              // the operator script left it ended
    std::vector<vantrel::dialogdriver::MessageBoxRecord> boxes;
    std::vector<std::string> calls;    // driver calls from the press of the button on
    std::vector<double> eepromBefore;  // bqxGetReferenceVoltages, 8 values
    std::vector<double> eepromAfter;
    std::string console;
    std::vector<unsigned char> eepromDump;  // View EEPROM after the run, 128 bytes
    double handlerMs = 0.0;                 // press of the button to the window showing
};

struct FlowOptions {
    int boardType = 27;
    int voltmeter = 2;                        // VOLTMETER line: 0 Fluke, 1 HP, 2 None
    std::vector<std::string> meterArguments;  // empty: no meter on COM1
    std::vector<std::string> benchLines;
    double timeScale = 0.01;
    bool viewEepromAfter = false;
    // Answers to the message boxes after the button is pressed, in order; a box beyond them
    // gets the harness's default answer.
    std::vector<int> boxAnswers;
    // Called as each message box shows, before it is answered.
    std::function<void(const vantrel::dialogdriver::MessageBoxRecord&)> onBox;
    // Runs once the EEPROM holds kStoredBefore, right before the button is pressed.
    std::function<void()> beforePress;
    // Acts in the window once it is up; the window is cancelled when the script leaves it
    // open.
    std::function<void(vantrel::dialogdriver::DialogDriver&)> operatorScript;
};

class MeasureFlowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the main dialog: Initialize Board, the EEPROM set to kStoredBefore, then one
    // press of Measure References.
    FlowOutcome Run(const FlowOptions& options);

    MeasureBench& Bench() { return *m_bench; }

    // Calls whose name is one of these, in order.
    static std::vector<std::string> CallsNamed(const std::vector<std::string>& calls,
                                               const std::vector<std::string>& names);
    static std::string Joined(const std::vector<std::string>& lines);
    static std::string BoxList(const std::vector<vantrel::dialogdriver::MessageBoxRecord>& boxes);
    // The i-th reference as the EEPROM dump shows it.
    static double DumpReference(const std::vector<unsigned char>& dump, int i);

private:
    std::unique_ptr<MeasureBench> m_bench;
};

// Reads the five edits, the EEPROM text and the focus of a running window.
WindowSeen Look(vantrel::dialogdriver::DialogDriver& window);

}  // namespace measuretest
