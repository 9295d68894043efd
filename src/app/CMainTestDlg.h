#pragma once
// The main window: every control, the board handle and driver record, the log console and
// the handlers of every test and diagnostic.

#include "afx/afx.h"
#include "board/RunContext.h"
#include "board/RunResults.h"
#include "console/CStatusLabel.h"
#include "console/LogConsole.h"
#include "meter/MeasureReferences.h"
#include "metrology/MeterOnLine.h"
#include "platform/bqxdrv.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vantrel::app {

class RecordAdapter;

}  // namespace vantrel::app

// Dialog template and control identifiers of the main window.
enum : int {
    IDD_VANTREL_DIALOG = 102,
    IDR_MAINFRAME = 128,
    IDC_CONSOLE = 1000,
    IDC_BASE_ADDRESS = 1001,
    IDC_INTERRUPT = 1002,
    IDC_INITIALIZE_BOARD = 1003,
    IDC_INTERRUPT_TEST = 1005,
    IDC_VIEW_EEPROM = 1011,
    IDC_INIT_STATUS = 1014,
    IDC_INTERRUPT_STATUS = 1016,
    IDC_FPGA_REVISION = 1031,
    IDC_DUMP_REGISTERS = 1032,
    IDC_SAMPLE = 1037,
    IDC_QUIT = 1040,
    IDC_WRITE_LOG = 1041,
    IDC_FLUKE45 = 1062,
    IDC_HP34401A = 1063,
    IDC_METER_NONE = 1064,
    IDC_MEASURE_REFERENCES = 1066,
    IDC_BOARD_TYPE = 1068,
};

namespace vantrel::app {

// What the last press of each button found, as the runs returned it.
struct LastRunResults {
    board::InitResult init;
    board::InterruptResult interrupt;
    board::EepromResult eeprom;
    board::RegisterDumpResult registers;
    board::SampleResult sample;
    meter::MeasureResult measure;
};

}  // namespace vantrel::app

class CMainTestDlg : public CDialog {
public:
    explicit CMainTestDlg(CWnd* pParent = nullptr);
    ~CMainTestDlg() override;

    BOOL DestroyWindow() override;

    // Log console operations.
    void LogPrintf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void SetLogColor(COLORREF colour);

    // Returns both test fields to "N/A" and disables the buttons that need an open board.
    void ResetTestStates();

    // The serial number of the board under test from now on, for its production records
    // (given on the unattended session's command line; the window asks at Initialize Board
    // only when the bench's records settings say so).
    void SetBoardSerialNumber(std::string serial);
    // The serial number of the reference meter on the bench from now on, in place of the
    // metrology settings' meter_serial (given on the unattended session's command line).
    void SetMeterSerial(std::string serial) { m_meterSerial = std::move(serial); }
    // Production records lost at Quit because the operator chose to quit anyway.
    std::size_t RecordsDroppedAtQuit() const { return m_recordsDropped; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnInitDialog() override;

    // Message handlers.
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnInitializeBoard();
    void OnClose();
    void OnInterruptTest();
    void OnViewEeprom();
    void OnDumpRegisters();
    void OnSample();
    void OnQuit();
    void OnWriteLog();
    void OnFluke45();
    void OnMeasureReferences();
    void OnBoardTypeEditChange();
    void OnBoardTypeSelChange();
    DECLARE_MESSAGE_MAP()

private:
    // Reads what the window holds for the tests (tests/harness/AppTestAccess.h).
    friend struct CMainTestDlgAccess;

    // Starts the driver and reports the outcome in the console.
    void StartDriver();
    void LoadSettings();
    // What the runs of the buttons may touch.
    vantrel::board::RunContext Context();
    void EnableBoardButtons(bool enable);
    // Opens the bench's production records; without them the window works as before.
    void OpenRecords();
    // The serial-number box at Initialize Board, when the records settings switch it on;
    // false when the operator aborted it.
    bool AskSerialNumber();
    // Tells the operator once when a record could not be written and where it waits.
    void TellRecordsNotice();
    // Before the window ends: records held only in memory are saved, or the operator
    // chooses to lose them.
    void KeepRecordsAtQuit();
    // Before Measure References reads a meter: which meter it is and, when the register says
    // it cannot be relied on, the operator's Yes or No. False ends the press.
    bool ConfirmMeterOnLine(MeterType meter);

    // Controls, in binding order.
    CButton m_flukeRadio;
    CButton m_sampleButton;
    CButton m_quitButton;
    CButton m_dumpButton;
    CStatusLabel m_interruptStatus;
    CStatusLabel m_initStatus;
    CButton m_eepromButton;
    CButton m_initButton;
    CButton m_interruptButton;
    CEdit m_baseAddressEdit;
    CEdit m_interruptEdit;
    CComboBox m_boardTypeCombo;
    CStatusLabel m_fpgaRevision;
    CButton m_measureButton;
    CRichEditCtrl m_console;
    vantrel::console::LogConsole m_log{m_console};

    HICON m_appIcon = nullptr;
    BoardHandle m_boardHandle = BQX_NO_BOARD;
    BoardConfig m_boardConfig{};

    std::int32_t m_baseAddressSetting = 0;
    std::int32_t m_interruptSetting = 0;
    std::int32_t m_voltmeterSetting = 0;

    // Interrupt test tolerances.
    int m_intTimeoutTolMs = 0;
    int m_intTimeTolMs = 0;
    int m_intAdTolLsb = 0;

    bool m_driverFreed = false;
    vantrel::app::LastRunResults m_lastResults;

    // Production records of the board actions; null when they could not be opened.
    std::unique_ptr<vantrel::app::RecordAdapter> m_records;
    std::size_t m_recordsDropped = 0;

    // The reference meter of the last Measure References as the register judged it; none
    // when no meter was read or no register is configured.
    std::optional<vantrel::metrology::MeterOnLine> m_meterOnLine;
    std::optional<std::string> m_meterSerial;
};
