// Initialize Board and Free Board through the dialog on the simulated board.
#include "BoardDialogFixture.h"

#include "board/StartTime.h"
#include "platform/DriverLibrary.h"

#include "../../drivers/bqxsim/bqxsim_ext.h"

namespace boardtest {
namespace {

class InitializeBoard : public BoardDialogFixture {};

constexpr const char* kSuccessTranscript =
    "\nVantrel version 0.9\n\n"
    "bqxInitBoard: Board Initialized without error.\n"
    "Start Time: 2009-Mar-05 @ 13:07\n\n"
    "FPGA Revision Code Read: 0x1A3\n\n"
    "\n";

TEST_F(InitializeBoard, SuccessEmptiesConsoleLogsBannerAndEnablesBoardButtons) {
    WriteBench({"fpga_revision = 0x1A3"});
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        ClearCallLog();
        Click(dlg, IDC_INITIALIZE_BOARD);
        EXPECT_EQ(ConsoleText(dlg), kSuccessTranscript);
        EXPECT_EQ(Text(dlg, IDC_INIT_STATUS), "SUCCESS");
        EXPECT_EQ(Background(dlg, IDC_INIT_STATUS), QColor(0, 255, 0));
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "N/A");
        EXPECT_EQ(Text(dlg, IDC_FPGA_REVISION), "0x1a3");
        EXPECT_EQ(Text(dlg, IDC_INITIALIZE_BOARD), "Free Board");
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(Enabled(dlg, kBoardButtonIds[i])) << kBoardButtons[i];
        EXPECT_TRUE(boardInitialized);
        EXPECT_NE(CMainTestDlgAccess::BoardHandleOf(dlg), BQX_NO_BOARD);
        // Copies: the packed record's fields are not aligned for a reference.
        const std::uint32_t clockHz = CMainTestDlgAccess::BoardConfigOf(dlg).clockHz;
        const std::uint8_t clockEnable = CMainTestDlgAccess::BoardConfigOf(dlg).clockEnable;
        EXPECT_EQ(clockHz, 10000000u);
        EXPECT_EQ(clockEnable, 1);
        // Everything after the start is black text (an empty line carries no colour).
        for (const auto& run : ConsoleRuns(dlg))
            if (run.text.find_first_not_of('\n') != std::string::npos) {
                EXPECT_EQ(run.Shown(), QColor(0, 0, 0)) << "run \"" << run.text << "\"";
            }
    });
    EXPECT_EQ(Joined(CallLog()),
              "bqxInitBoard(27,base=768,irq=7)\n"
              "bqxGetFPGARev(0)\n"
              "bqxADSetSettings(0,17)\n"
              "bqxADScan(0,low=17,high=20)\n"
              "bqxDAConvert(0,0,2048)\n"
              "bqxDAConvert(0,1,2048)\n"
              "bqxDAConvert(0,2,2048)\n"
              "bqxDAConvert(0,3,2048)\n"
              "bqxADScan(0,low=17,high=20)\n"
              "bqxFree()\n");
}

TEST_F(InitializeBoard, FailureShowsDriverCodeAndKeepsButtonsDisabled) {
    WriteBench({"fail_init_board = 4"});
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        Click(dlg, IDC_INITIALIZE_BOARD);
        EXPECT_EQ(ConsoleText(dlg), "bqxInitBoard failed; BQXDRV error number returned: 4.\n");
        EXPECT_EQ(Text(dlg, IDC_INIT_STATUS), "FAILED");
        EXPECT_EQ(Background(dlg, IDC_INIT_STATUS), QColor(255, 0, 0));
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "N/A");
        EXPECT_EQ(Text(dlg, IDC_INITIALIZE_BOARD), "Initialize Board");
        EXPECT_EQ(Text(dlg, IDC_FPGA_REVISION), "");
        for (int i = 0; i < 5; ++i) EXPECT_FALSE(Enabled(dlg, kBoardButtonIds[i])) << kBoardButtons[i];
        EXPECT_FALSE(boardInitialized);
    });
    EXPECT_EQ(CallsNamed({"bqxGetFPGARev", "bqxDAConvert", "bqxADScan"}).size(), 0u);
}

TEST_F(InitializeBoard, FreeKeepsLogAndReinitializationFreesNothingTwice) {
    WriteBench();
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        Initialize(dlg);
        ClearCallLog();
        Click(dlg, IDC_INITIALIZE_BOARD);
        EXPECT_EQ(ConsoleText(dlg), std::string(kSuccessTranscript) + "\nBoard freed.\n");
        EXPECT_EQ(Text(dlg, IDC_INITIALIZE_BOARD), "Initialize Board");
        EXPECT_EQ(Text(dlg, IDC_FPGA_REVISION), "");
        EXPECT_EQ(Text(dlg, IDC_INIT_STATUS), "N/A");
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "N/A");
        for (int i = 0; i < 5; ++i) EXPECT_FALSE(Enabled(dlg, kBoardButtonIds[i])) << kBoardButtons[i];
        EXPECT_FALSE(boardInitialized);
        EXPECT_EQ(CMainTestDlgAccess::BoardHandleOf(dlg), BQX_NO_BOARD);
        EXPECT_EQ(Joined(CallLog()), "bqxFreeBoard(0)\n");

        ClearCallLog();
        Click(dlg, IDC_INITIALIZE_BOARD);
        EXPECT_EQ(ConsoleText(dlg), kSuccessTranscript);
        EXPECT_EQ(CountCalls("bqxFreeBoard(0)"), 0) << Joined(CallLog());
        EXPECT_EQ(CallsNamed({"bqxInitBoard"}).size(), 1u);
        EXPECT_EQ(Text(dlg, IDC_INITIALIZE_BOARD), "Free Board");
    });
}

TEST_F(InitializeBoard, InitializingAgainAfterFailureWorks) {
    WriteBench({"fail_init_board = 5"});
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        Click(dlg, IDC_INITIALIZE_BOARD);
        EXPECT_EQ(Text(dlg, IDC_INIT_STATUS), "FAILED");
        auto configure =
            reinterpret_cast<BqxsimConfigureFn>(vantrel::platform::DriverSymbol("bqxsimConfigure"));
        ASSERT_NE(configure, nullptr);
        ASSERT_EQ(configure("fail_init_board = 0"), 0);
        Click(dlg, IDC_INITIALIZE_BOARD);
        EXPECT_EQ(ConsoleText(dlg), kSuccessTranscript);
        EXPECT_EQ(Text(dlg, IDC_INITIALIZE_BOARD), "Free Board");
    });
}

struct BaseAddressCase {
    const char* name;
    const char* typed;
    const char* interruptTyped;
    const char* expectedCall;
};

class BaseAddressParsing : public BoardDialogFixture, public testing::WithParamInterface<BaseAddressCase> {};

TEST_P(BaseAddressParsing, BoxesReachTheDriverAsScanfReadsThem) {
    const BaseAddressCase& c = GetParam();
    WriteBench();
    Run([&](CMainTestDlg& dlg) {
        ChooseRow(dlg, 0);
        Type(dlg, IDC_BASE_ADDRESS, c.typed);
        Type(dlg, IDC_INTERRUPT, c.interruptTyped);
        ClearCallLog();
        Click(dlg, IDC_INITIALIZE_BOARD);
    });
    const auto calls = CallsNamed({"bqxInitBoard"});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], c.expectedCall) << "typed \"" << c.typed << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BaseAddressParsing,
    testing::Values(BaseAddressCase{"Plain", "300", "7", "bqxInitBoard(27,base=768,irq=7)"},
                    BaseAddressCase{"Prefixed", "0x300", "7", "bqxInitBoard(27,base=768,irq=7)"},
                    BaseAddressCase{"Suffixed", "300h", "5", "bqxInitBoard(27,base=768,irq=5)"},
                    BaseAddressCase{"LowSixteenBits", "12345", "7", "bqxInitBoard(27,base=9029,irq=7)"},
                    // Nothing was ever stored: base 0 and interrupt 0 from the zeroed record.
                    BaseAddressCase{"EmptyAtFirstClick", "", "", "bqxInitBoard(27,base=0,irq=0)"}),
    [](const testing::TestParamInfo<BaseAddressCase>& p) { return std::string(p.param.name); });

TEST_F(InitializeBoard, UnparsableTextKeepsTheValueStoredBefore) {
    WriteBench();
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        Initialize(dlg);
        Click(dlg, IDC_INITIALIZE_BOARD);  // free
        Type(dlg, IDC_BASE_ADDRESS, "");
        Type(dlg, IDC_INTERRUPT, "");
        ClearCallLog();
        Click(dlg, IDC_INITIALIZE_BOARD);
        EXPECT_EQ(Joined(CallsNamed({"bqxInitBoard"})), "bqxInitBoard(27,base=768,irq=7)\n");
    });
}

TEST_F(InitializeBoard, NoSelectedRowPassesTypeCodeZero) {
    WriteBench();
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        apptest::Item<CComboBox>(dlg, IDC_BOARD_TYPE).SetCurSel(-1);
        ASSERT_EQ(apptest::Item<CComboBox>(dlg, IDC_BOARD_TYPE).GetCurSel(), CB_ERR);
        ClearCallLog();
        Click(dlg, IDC_INITIALIZE_BOARD);
        EXPECT_EQ(Joined(CallsNamed({"bqxInitBoard"})), "bqxInitBoard(0,base=768,irq=7)\n");
    });
}

struct RevisionCase {
    const char* bench;
    const char* logged;
    const char* shown;
};

class FpgaRevision : public BoardDialogFixture, public testing::WithParamInterface<RevisionCase> {};

TEST_P(FpgaRevision, LoggedUpperCaseShownLowerCase) {
    const RevisionCase& c = GetParam();
    WriteBench({std::string("fpga_revision = ") + c.bench});
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        Initialize(dlg);
        EXPECT_NE(ConsoleText(dlg).find(std::string("FPGA Revision Code Read: ") + c.logged + "\n\n"),
                  std::string::npos)
            << ConsoleText(dlg);
        EXPECT_EQ(Text(dlg, IDC_FPGA_REVISION), c.shown);
    });
}

INSTANTIATE_TEST_SUITE_P(Revisions, FpgaRevision,
                         testing::Values(RevisionCase{"0x1A3", "0x1A3", "0x1a3"},
                                         RevisionCase{"5", "0x5", "0x5"},
                                         // Only the low 16 bits are the revision.
                                         RevisionCase{"0x12BCDEF", "0xCDEF", "0xcdef"}));

struct ClockCase {
    std::time_t when;
    const char* line;
};

class StartTimeLine : public BoardDialogFixture, public testing::WithParamInterface<ClockCase> {};

std::time_t g_clockCaseTime = 0;
std::time_t ClockCaseTime() { return g_clockCaseTime; }

TEST_P(StartTimeLine, TwoDigitTwentyFourHourClock) {
    g_clockCaseTime = GetParam().when;
    vantrel::board::g_calendarClock = &ClockCaseTime;
    WriteBench();
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        Initialize(dlg);
        EXPECT_NE(ConsoleText(dlg).find(GetParam().line), std::string::npos) << ConsoleText(dlg);
    });
}

INSTANTIATE_TEST_SUITE_P(Times, StartTimeLine,
                         testing::Values(ClockCase{1236211500, "Start Time: 2009-Mar-05 @ 00:05\n\n"},
                                         ClockCase{1236258462, "Start Time: 2009-Mar-05 @ 13:07\n\n"},
                                         ClockCase{1704067199, "Start Time: 2023-Dec-31 @ 23:59\n\n"}));

}  // namespace
}  // namespace boardtest
