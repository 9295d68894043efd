// Interrupt Test through the dialog on the simulated board, one case per verdict path.
#include "BoardDialogFixture.h"

#include "board/InterruptScan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>

namespace boardtest {
namespace {

// Targets with the multiplexer on: the bench's references 5.0, 2.5, 1.25 and -2.5 V.
constexpr const char* kTargets = "   16384    8192    4096   -8192\n";
constexpr const char* kTolerances =
    "\n Int TimeOut Tol 5000 ms, Int Time Tol 150 ms, Int A/D Tol 200 A/D LSB\n\n";

// The sample table when every sample equals its channel's value.
std::string SampleTable(const char* row) {
    std::string table = "Samples:\n";
    char line[64];
    for (int p = 0; p < 20480; p += 1280) {
        std::snprintf(line, sizeof line, "%s  :%04d\n", row, p);
        table += line;
    }
    return table;
}

const std::regex kProgressLine(R"( {0,6}\d{1,7} [0-9A-F]{2} [0-9A-F]{2}\n)");
const std::regex kTimeTaken(R"(Time taken: -?\d+ ms \(expected (\d+)\)\n)");

// Console text with the progress lines dropped and the measured time replaced by "T".
std::string Steady(std::string text) {
    text = std::regex_replace(text, kProgressLine, "");
    return std::regex_replace(text, kTimeTaken, "Time taken: T ms (expected $1)\n");
}

int CountProgressLines(const std::string& text) {
    return static_cast<int>(
        std::distance(std::sregex_iterator(text.begin(), text.end(), kProgressLine), std::sregex_iterator()));
}

class InterruptTest : public BoardDialogFixture {
protected:
    double m_testMs = 0.0;  // the press of Interrupt Test until it returned

    // Opens the board, clears the console's start and runs the test once.
    void RunInterruptTest(const std::function<void(CMainTestDlg&)>& check) {
        WriteSettingsFor(27);
        Run([&](CMainTestDlg& dlg) {
            Initialize(dlg);
            apptest::Item<CRichEditCtrl>(dlg, IDC_CONSOLE).SetWindowText("");
            ClearCallLog();
            const auto start = std::chrono::steady_clock::now();
            Click(dlg, IDC_INTERRUPT_TEST);
            m_testMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            check(dlg);
        });
    }
};

TEST_F(InterruptTest, CleanScanSucceeds) {
    WriteBench();
    WriteRate("20000\n");
    RunInterruptTest([&](CMainTestDlg& dlg) {
        const std::string text = ConsoleText(dlg);
        EXPECT_EQ(Steady(text), std::string("Using Hertz value from file.\n"
                                            "Testing interrupts...\n"
                                            "Expected time: 256 ms\n"
                                            "Targets: \n") +
                                    kTargets + SampleTable("   16384    8192    4096   -8192") +
                                    "Time taken: T ms (expected 256)\n"
                                    "FIFO overflows: 0\n"
                                    "There were 0 errors.\n"
                                    "SUCCESS\n" +
                                    kTolerances);
        EXPECT_GE(CountProgressLines(text), 1) << text;
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "SUCCESS");
        EXPECT_EQ(Background(dlg, IDC_INTERRUPT_STATUS), QColor(0, 255, 0));

        const std::string coloured = Steady(ColouredConsole(dlg));
        EXPECT_NE(coloured.find("[0,164,0]Time taken: T ms (expected 256)\nFIFO overflows: 0\n"
                                "[0,0,0]There were 0 errors.\n[0,164,0]SUCCESS\n\n[0,0,0] Int TimeOut"),
                  std::string::npos)
            << coloured;

        const auto log = CallLog();
        ASSERT_GE(log.size(), 8u);
        EXPECT_EQ(log[0], "bqxADSetSettings(0,0)");
        EXPECT_EQ(log[1], "bqxSetCalMux(0,1)");
        EXPECT_EQ(log[2], "bqxADScan(0,low=0,high=3)");
        EXPECT_EQ(log[3], "bqxADScanInt(0,count=20480,rate=20000,low=0,high=3)");
        EXPECT_EQ(log[4], "bqxGetTime()");
        // Each poll: status, driver clock, registers 9 and 7 at the base address.
        std::size_t i = 5;
        int polls = 0;
        while (i + 3 < log.size() && log[i] == "bqxGetStatus(0)") {
            EXPECT_EQ(log[i + 1], "bqxGetTime()");
            EXPECT_EQ(log[i + 2], "bqxRegisterRead(0,777)");
            EXPECT_EQ(log[i + 3], "bqxRegisterRead(0,775)");
            i += 4;
            ++polls;
        }
        EXPECT_GE(polls, 1);
        const std::vector<std::string> closing(log.begin() + static_cast<long>(i), log.end());
        EXPECT_EQ(Joined(closing), "bqxCancelOp(0)\nbqxSetCalMux(0,0)\nbqxRegisterWrite(0,7,2)\n");
    });
}

struct RateCase {
    const char* name;
    const char* file;  // nullptr: no file
    const char* expectedLines;
};

class RateFromFile : public InterruptTest, public testing::WithParamInterface<RateCase> {};

// The scan start is refused, so each case runs in moments; the rate shows in the
// expected time and in the request.
TEST_P(RateFromFile, ExpectedTimeFollowsTheRate) {
    const RateCase& c = GetParam();
    WriteBench({"fail_scan_int = 9"});
    if (c.file) WriteRate(c.file);
    RunInterruptTest([&](CMainTestDlg& dlg) {
        EXPECT_EQ(ConsoleText(dlg), std::string(c.expectedLines) + "Targets: \n" + kTargets +
                                        "Error 9 when beginning scan\n"
                                        "There were 1 errors.\n"
                                        "FAILED\n" +
                                        kTolerances);
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "FAILED");
        EXPECT_EQ(Background(dlg, IDC_INTERRUPT_STATUS), QColor(255, 0, 0));
        const std::string coloured = ColouredConsole(dlg);
        EXPECT_NE(coloured.find("[255,0,0]Error 9 when beginning scan\n[0,0,0]There were 1 errors.\n"
                                "[255,0,0]FAILED\n\n[0,0,0] Int TimeOut"),
                  std::string::npos)
            << coloured;
        EXPECT_EQ(CountCalls("bqxGetStatus(0)"), 0);
        EXPECT_EQ(Joined(CallsNamed({"bqxCancelOp", "bqxSetCalMux", "bqxRegisterWrite"})),
                  "bqxSetCalMux(0,1)\nbqxCancelOp(0)\nbqxSetCalMux(0,0)\nbqxRegisterWrite(0,7,2)\n");
    });
}

INSTANTIATE_TEST_SUITE_P(
    Files, RateFromFile,
    testing::Values(RateCase{"Absent", nullptr, "Testing interrupts...\nExpected time: 2560 ms\n"},
                    RateCase{"Twice", "4000\n",
                             "Using Hertz value from file.\nTesting interrupts...\nExpected time: 1280 ms\n"},
                    RateCase{"Truncated", "3000",
                             "Using Hertz value from file.\nTesting interrupts...\nExpected time: 1706 ms\n"},
                    RateCase{"NoNumber", "fast\n",
                             "Using Hertz value from file.\nTesting interrupts...\nExpected time: 2560 ms\n"},
                    RateCase{"Empty", "",
                             "Using Hertz value from file.\nTesting interrupts...\nExpected time: 2560 ms\n"},
                    RateCase{
                        "AtTimeOut", "1024",
                        "Using Hertz value from file.\nTesting interrupts...\nExpected time: 5000 ms\n"}),
    [](const testing::TestParamInfo<RateCase>& p) { return std::string(p.param.name); });

TEST_F(InterruptTest, RateReachesTheDriverRequest) {
    WriteBench({"fail_scan_int = 9"});
    WriteRate("3000");
    RunInterruptTest([&](CMainTestDlg&) {
        EXPECT_EQ(CountCalls("bqxADScanInt(0,count=20480,rate=3000,low=0,high=3)"), 1) << Joined(CallLog());
    });
}

struct BadRateCase {
    const char* name;
    const char* file;
    const char* line;
};

class RateNotPositive : public InterruptTest, public testing::WithParamInterface<BadRateCase> {};

TEST_P(RateNotPositive, CountsOneErrorAndStartsNoScan) {
    WriteBench();
    WriteRate(GetParam().file);
    RunInterruptTest([&](CMainTestDlg& dlg) {
        EXPECT_EQ(ConsoleText(dlg), std::string("Using Hertz value from file.\n"
                                                "Testing interrupts...\n") +
                                        GetParam().line +
                                        "There were 1 errors.\n"
                                        "FAILED\n" +
                                        kTolerances);
        EXPECT_NE(ColouredConsole(dlg).find(std::string("[255,0,0]") + GetParam().line), std::string::npos);
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "FAILED");
        EXPECT_EQ(CallsNamed({"bqxADScanInt", "bqxADScan"}).size(), 0u);
        EXPECT_EQ(Joined(CallsNamed({"bqxCancelOp", "bqxSetCalMux", "bqxRegisterWrite"})),
                  "bqxCancelOp(0)\nbqxSetCalMux(0,0)\nbqxRegisterWrite(0,7,2)\n");
    });
}

INSTANTIATE_TEST_SUITE_P(
    Rates, RateNotPositive,
    testing::Values(BadRateCase{"Zero", "0\n",
                                "Scan rate 0 Hz from hertz.cfg is not positive; scan not started\n"},
                    BadRateCase{"Negative", "-2000",
                                "Scan rate -2000 Hz from hertz.cfg is not positive; scan not started\n"}),
    [](const testing::TestParamInfo<BadRateCase>& p) { return std::string(p.param.name); });

void* RefuseAllocation(std::size_t) { return nullptr; }

TEST_F(InterruptTest, HeapRefusingTheBufferFailsWithoutScanning) {
    WriteBench();
    WriteRate("20000");
    vantrel::board::g_allocateSampleBuffer = &RefuseAllocation;
    RunInterruptTest([&](CMainTestDlg& dlg) {
        EXPECT_EQ(ConsoleText(dlg), std::string("Using Hertz value from file.\n"
                                                "Testing interrupts...\n"
                                                "Expected time: 256 ms\n"
                                                "Targets: \n") +
                                        kTargets +
                                        "No memory for the sample buffer (40960 bytes); scan not started\n"
                                        "There were 1 errors.\n"
                                        "FAILED\n" +
                                        kTolerances);
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "FAILED");
        EXPECT_EQ(CallsNamed({"bqxADScanInt"}).size(), 0u);
        EXPECT_EQ(CountCalls("bqxSetCalMux(0,0)"), 1);
    });
    vantrel::board::g_allocateSampleBuffer = [](std::size_t bytes) { return std::malloc(bytes); };
}

TEST_F(InterruptTest, ScanThatNeverEndsTimesOutByDriverClock) {
    WriteBench({"scan_never_ends = 1"});
    WriteRate("20000");
    RunInterruptTest([&](CMainTestDlg& dlg) {
        const std::string text = ConsoleText(dlg);
        EXPECT_EQ(Steady(text), std::string("Using Hertz value from file.\n"
                                            "Testing interrupts...\n"
                                            "Expected time: 256 ms\n"
                                            "Targets: \n") +
                                    kTargets +
                                    "INTERRUPT TIMEOUT\n"
                                    "There were 1 errors.\n"
                                    "FAILED\n" +
                                    kTolerances);
        EXPECT_NE(ColouredConsole(dlg).find("[255,0,0]INTERRUPT TIMEOUT\n[0,0,0]"), std::string::npos);
        EXPECT_EQ(CountCalls("bqxCancelOp(0)"), 2);
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "FAILED");
        // The wait ended only once more than 5000 ms had passed on the driver clock.
        const auto log = CallLog();
        const auto last = std::find(log.rbegin(), log.rend(), "bqxGetStatus(0)");
        ASSERT_NE(last, log.rend());
        EXPECT_EQ(*(last - 1), "bqxGetTime()");
        EXPECT_EQ(*(last - 2), "bqxCancelOp(0)") << "no register read after the time-out";
    });
    // Given up once the 5000 ms time-out has passed, not much later.
    EXPECT_GE(m_testMs, 5000.0);
    EXPECT_LT(m_testMs, 5000.0 + 256.0 + 2500.0);
}

TEST_F(InterruptTest, UnwrittenBufferFailsEverySampleFarFromMinus258) {
    WriteBench({"scan_skip_writes = 1"});
    WriteRate("20000");
    RunInterruptTest([&](CMainTestDlg& dlg) {
        const std::string text = Steady(ConsoleText(dlg));
        EXPECT_NE(text.find(SampleTable("    -258    -258    -258    -258")), std::string::npos) << text;
        EXPECT_NE(text.find("There were 20480 errors.\nFAILED\n"), std::string::npos) << text;
    });
}

TEST_F(InterruptTest, OneOverflowFails) {
    WriteBench({"scan_overflows = 1"});
    WriteRate("20000");
    RunInterruptTest([&](CMainTestDlg& dlg) {
        const std::string coloured = Steady(ColouredConsole(dlg));
        EXPECT_NE(coloured.find("[0,164,0]Time taken: T ms (expected 256)\n[255,0,0]FIFO overflows: 1\n"
                                "[0,0,0]There were 1 errors.\n[255,0,0]FAILED\n"),
                  std::string::npos)
            << coloured;
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "FAILED");
    });
}

TEST_F(InterruptTest, SlowScanFailsTheTimeCheck) {
    WriteBench({"scan_slow_percent = 200"});
    WriteRate("20000");
    RunInterruptTest([&](CMainTestDlg& dlg) {
        const std::string coloured = Steady(ColouredConsole(dlg));
        EXPECT_NE(coloured.find("[255,0,0]Time taken: T ms (expected 256)\n[0,164,0]FIFO overflows: 0\n"
                                "[0,0,0]There were 1 errors.\n[255,0,0]FAILED\n"),
                  std::string::npos)
            << coloured;
        std::smatch m;
        const std::string text = ConsoleText(dlg);
        ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(Time taken: (\d+) ms)")));
        EXPECT_GT(std::stoi(m[1]), 256 + 150);
    });
}

// Twice as long: 256 ms beyond the expected 256 ms, outside the 150 ms tolerance with room to
// spare. The tool reads its start time after the driver has started the scan, so on a loaded
// machine the time it measures can come out shorter than the scan took.
TEST_F(InterruptTest, ScanLateByMoreThanTheToleranceFails) {
    WriteBench({"scan_slow_percent = 100"});
    WriteRate("20000");
    RunInterruptTest([&](CMainTestDlg& dlg) {
        const std::string text = Steady(ConsoleText(dlg));
        EXPECT_NE(text.find("There were 1 errors.\nFAILED\n"), std::string::npos) << text;
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "FAILED");
    });
}

struct OffsetCase {
    const char* name;
    const char* offset;
    const char* errors;
};

class ChannelOffset : public InterruptTest, public testing::WithParamInterface<OffsetCase> {};

TEST_P(ChannelOffset, SamplesBeyondTheToleranceFail) {
    WriteBench({std::string("scan_channel_offset = ") + GetParam().offset});
    WriteRate("20000");
    RunInterruptTest([&](CMainTestDlg& dlg) {
        const std::string text = ConsoleText(dlg);
        EXPECT_NE(text.find(GetParam().errors), std::string::npos) << text;
    });
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, ChannelOffset,
    testing::Values(OffsetCase{"AtTolerance", "2:200", "There were 0 errors.\nSUCCESS\n"},
                    OffsetCase{"OneBeyond", "2:201", "There were 5120 errors.\nFAILED\n"},
                    OffsetCase{"NegativeOneBeyond", "0:-201", "There were 5120 errors.\nFAILED\n"}),
    [](const testing::TestParamInfo<OffsetCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace boardtest
