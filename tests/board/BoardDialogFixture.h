#pragma once
// The main dialog on the simulated board, set up for the board handlers: a bench file, the
// settings file, a fixed start time, and readings of the driver's call log.

#include "DialogFixture.h"

#include <QColor>

#include <ctime>
#include <string>
#include <vector>

namespace boardtest {

// 2009-03-05 13:07:42 UTC.
inline constexpr std::time_t kFixedStart = 1236258462;

class BoardDialogFixture : public apptest::DialogFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // "bench.ini" without noise, with steady references on channels 0 to 3 (16384, 8192,
    // 4096 and -8192 codes) and the given extra lines.
    void WriteBench(const std::vector<std::string>& extraLines = {});
    // "Vantrel.ini" selecting the board of this type code at base 0x300, interrupt 7.
    void WriteSettingsFor(int boardType);
    void WriteRate(const std::string& content);

    // Replaces the text of an edit box as typing would.
    static void Type(CMainTestDlg& dlg, int id, const std::string& text);
    static bool Enabled(CMainTestDlg& dlg, int id);

    void ClearCallLog() const;
    // Call-log lines that start with one of these names.
    std::vector<std::string> CallsNamed(const std::vector<std::string>& names) const;
    // Runs Initialize Board and expects it to succeed.
    void Initialize(CMainTestDlg& dlg);

    static std::string Joined(const std::vector<std::string>& lines);
    // Console text with each run's colour written before it: "[r,g,b]" or "[auto]". An
    // empty line carries no colour and joins the run before it.
    static std::string ColouredConsole(CMainTestDlg& dlg);

    static constexpr const char* kBoardButtons[5] = {"Interrupt Test", "View EEPROM", "Sample",
                                                     "Dump Registers", "Measure References"};
    static constexpr int kBoardButtonIds[5] = {IDC_INTERRUPT_TEST, IDC_VIEW_EEPROM, IDC_SAMPLE,
                                               IDC_DUMP_REGISTERS, IDC_MEASURE_REFERENCES};
};

}  // namespace boardtest
