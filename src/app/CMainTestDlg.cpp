// The main dialog: construction, control binding, message map, start-up and closing.
#include "app/CMainTestDlg.h"

#include "app/CSerialNumberDlg.h"
#include "app/DriverVersionText.h"
#include "app/RecordAdapter.h"
#include "console/LogColours.h"

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <initializer_list>

CMainTestDlg::CMainTestDlg(CWnd* pParent) : CDialog(IDD_VANTREL_DIALOG, pParent) {
    if (CWinApp* app = AfxGetApp()) m_appIcon = app->LoadIcon(IDR_MAINFRAME);
}

CMainTestDlg::~CMainTestDlg() = default;

void CMainTestDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_FLUKE45, m_flukeRadio);
    DDX_Control(pDX, IDC_SAMPLE, m_sampleButton);
    DDX_Control(pDX, IDC_QUIT, m_quitButton);
    DDX_Control(pDX, IDC_DUMP_REGISTERS, m_dumpButton);
    DDX_Control(pDX, IDC_INTERRUPT_STATUS, m_interruptStatus);
    DDX_Control(pDX, IDC_INIT_STATUS, m_initStatus);
    DDX_Control(pDX, IDC_VIEW_EEPROM, m_eepromButton);
    DDX_Control(pDX, IDC_INITIALIZE_BOARD, m_initButton);
    DDX_Control(pDX, IDC_INTERRUPT_TEST, m_interruptButton);
    DDX_Control(pDX, IDC_BASE_ADDRESS, m_baseAddressEdit);
    DDX_Control(pDX, IDC_INTERRUPT, m_interruptEdit);
    DDX_Control(pDX, IDC_BOARD_TYPE, m_boardTypeCombo);
    DDX_Control(pDX, IDC_FPGA_REVISION, m_fpgaRevision);
    DDX_Control(pDX, IDC_MEASURE_REFERENCES, m_measureButton);
    DDX_Control(pDX, IDC_CONSOLE, m_console);
}

BEGIN_MESSAGE_MAP(CMainTestDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_INITIALIZE_BOARD, OnInitializeBoard)
    ON_WM_CLOSE()
    ON_BN_CLICKED(IDC_INTERRUPT_TEST, OnInterruptTest)
    ON_BN_CLICKED(IDC_VIEW_EEPROM, OnViewEeprom)
    ON_BN_CLICKED(IDC_DUMP_REGISTERS, OnDumpRegisters)
    ON_BN_CLICKED(IDC_SAMPLE, OnSample)
    ON_BN_CLICKED(IDC_QUIT, OnQuit)
    ON_BN_CLICKED(IDC_WRITE_LOG, OnWriteLog)
    ON_BN_CLICKED(IDC_FLUKE45, OnFluke45)
    ON_BN_CLICKED(IDC_MEASURE_REFERENCES, OnMeasureReferences)
    ON_CBN_EDITCHANGE(IDC_BOARD_TYPE, OnBoardTypeEditChange)
    ON_CBN_SELCHANGE(IDC_BOARD_TYPE, OnBoardTypeSelChange)
END_MESSAGE_MAP()

BOOL CMainTestDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    m_boardHandle = BQX_NO_BOARD;
    m_boardConfig.boardType = 0;
    m_fpgaRevision.SetText("");

    StartDriver();

    SetIcon(m_appIcon, TRUE);
    SetIcon(m_appIcon, FALSE);

    ResetTestStates();
    m_log.SetUp();

    std::snprintf(g_textBuf, kTextBufSize, "\nVantrel\n\n");
    m_log.Append(g_textBuf);

    CheckRadioButton(IDC_FLUKE45, IDC_METER_NONE, IDC_FLUKE45);
    LoadSettings();
    OpenRecords();
    TellRecordsNotice();
    m_baseAddressEdit.SetFocus();

    // The focus is set above.
    return FALSE;
}

void CMainTestDlg::StartDriver() {
    const int code = bqxInit(BQX_REQUIRED_VERSION) & 0xFF;
    const std::string version = vantrel::app::DriverVersionText(BQX_REQUIRED_VERSION);
    if (code != 0) {
        SetLogColor(vantrel::console::kLogRed);
        std::snprintf(g_textBuf, kTextBufSize, "Failed to initialize the driver (error %d)\n", code);
        m_log.Append(g_textBuf);
        std::snprintf(g_textBuf, kTextBufSize,
                      "\nThis application requires BQXDRV.DLL version %s to run.Please copy "
                      "the required file in the current folder\n",
                      version.c_str());
        m_log.Append(g_textBuf);
        SetLogColor(vantrel::console::kLogBlack);
    } else {
        std::snprintf(g_textBuf, kTextBufSize, "\nOrvane Driver version %s initialized...\n",
                      version.c_str());
        m_log.Append(g_textBuf);
    }
}

BOOL CMainTestDlg::PreTranslateMessage(MSG* pMsg) {
    // Enter in the two boxes moves on to the next tab stop instead of ending the dialog.
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN) {
        CWnd* focus = CWnd::GetFocus();
        const int id = focus ? focus->GetDlgCtrlID() : 0;
        if (id == IDC_BASE_ADDRESS || id == IDC_INTERRUPT) pMsg->wParam = VK_TAB;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

void CMainTestDlg::OnClose() {
    KeepRecordsAtQuit();
    if (m_boardHandle != BQX_NO_BOARD) {
        bqxFreeBoard(m_boardHandle);
        m_boardHandle = BQX_NO_BOARD;
        boardInitialized = false;
    }
    CDialog::OnClose();
}

void CMainTestDlg::OnQuit() {
    KeepRecordsAtQuit();
    EndDialog(0);
}

void CMainTestDlg::KeepRecordsAtQuit() {
    while (m_records && m_records->MemoryOnlyCount() > 0 && !m_records->RetrySaving()) {
        const std::size_t count = m_records->MemoryOnlyCount();
        const std::string text = std::to_string(count) +
                                 " production record(s) could be saved neither in the record database nor "
                                 "in the pending folder and exist only in this program's memory. Quitting "
                                 "now loses them.\n\nRetry: try to save them again (free the disk first).\n"
                                 "Cancel: quit anyway and lose them.";
        if (MessageBox(text.c_str(), "Production Records", MB_RETRYCANCEL | MB_ICONWARNING) != IDRETRY) {
            m_recordsDropped = count;
            return;
        }
    }
}

BOOL CMainTestDlg::DestroyWindow() {
    // The driver is released once, however the dialog ended.
    if (!m_driverFreed) {
        m_driverFreed = true;
        bqxFree();
    }
    return CDialog::DestroyWindow();
}

void CMainTestDlg::OnPaint() {
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        const int iconWidth = GetSystemMetrics(SM_CXICON);
        const int iconHeight = GetSystemMetrics(SM_CYICON);
        CRect rect;
        GetClientRect(&rect);
        const int x = (rect.Width() - iconWidth + 1) / 2;
        const int y = (rect.Height() - iconHeight + 1) / 2;
        dc.DrawIcon(x, y, m_appIcon);
    } else {
        CDialog::OnPaint();
    }
}

HCURSOR CMainTestDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_appIcon); }

void CMainTestDlg::OnFluke45() {}

void CMainTestDlg::LogPrintf(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    m_log.VPrintf(format, args);
    va_end(args);
}

void CMainTestDlg::SetLogColor(COLORREF colour) { m_log.SetColor(colour); }

void CMainTestDlg::OnWriteLog() { m_log.SaveRtf(); }

void CMainTestDlg::ResetTestStates() {
    vantrel::board::RunContext context = Context();
    vantrel::board::ResetTestStates(context);
}

vantrel::board::RunContext CMainTestDlg::Context() {
    return vantrel::board::RunContext{m_log,
                                      {m_initStatus, m_interruptStatus, m_fpgaRevision},
                                      m_boardHandle,
                                      m_boardConfig,
                                      [this](bool enable) { EnableBoardButtons(enable); }};
}

void CMainTestDlg::EnableBoardButtons(bool enable) {
    for (CButton* button :
         {&m_interruptButton, &m_eepromButton, &m_sampleButton, &m_dumpButton, &m_measureButton})
        button->EnableWindow(enable ? TRUE : FALSE);
}

void CMainTestDlg::OnBoardTypeEditChange() {}

void CMainTestDlg::OpenRecords() {
    std::error_code error;
    const std::string benchFolder = std::filesystem::current_path(error).string();
    try {
        m_records = std::make_unique<vantrel::app::RecordAdapter>(
            error ? std::string(".") : benchFolder, vantrel::app::DriverVersionText(BQX_REQUIRED_VERSION));
    } catch (const std::exception&) {
        // The window works without records; nothing of its own behaviour depends on them.
        m_records.reset();
    }
}

void CMainTestDlg::SetBoardSerialNumber(std::string serial) {
    if (m_records) m_records->SetSerialNumber(std::move(serial));
}

bool CMainTestDlg::AskSerialNumber() {
    if (!m_records || !m_records->serialPrompt()) return true;
    CSerialNumberDlg dlg(this,
                         [this](const std::string& serial) { return m_records->SerialProblem(serial); });
    // Cancel, Esc and the close box abort the press: the board stays as it was.
    if (dlg.DoModal() != IDOK) return false;
    m_records->SetSerialNumber(dlg.SerialNumber());
    return true;
}

void CMainTestDlg::TellRecordsNotice() {
    if (!m_records) return;
    const std::string notice = m_records->TakeOperatorNotice();
    if (!notice.empty()) MessageBox(notice.c_str(), "Production Records", MB_OK | MB_ICONWARNING);
}
