// What each board run returns as a plain value, against what the same press printed and
// showed: the figures a record of the run would keep.
#include "BoardDialogFixture.h"

#include <string>
#include <vector>

namespace boardtest {
namespace {

struct InterruptCase {
    const char* name;
    std::vector<std::string> bench;
    const char* rate;
    bool started;
    bool passed;
    int overflows;
    int sampleErrors;
    int errors;
    const char* failure;
};

const InterruptCase kInterruptCases[] = {
    {"Clean", {}, "20000", true, true, 0, 0, 0, ""},
    {"Overflow", {"scan_overflows = 1"}, "20000", true, false, 1, 0, 1, ""},
    {"ChannelOff", {"scan_channel_offset = 1:500"}, "20000", true, false, 0, 5120, 5120, ""},
    {"DriverRefuses", {"fail_scan_int = 9"}, "20000", false, false, 0, 0, 1, "Error 9 when beginning scan"},
    {"RateNotPositive",
     {},
     "0",
     false,
     false,
     0,
     0,
     1,
     "Scan rate 0 Hz from hertz.cfg is not positive; scan not started"},
};

class InterruptResultOf : public BoardDialogFixture, public testing::WithParamInterface<InterruptCase> {};

TEST_P(InterruptResultOf, HoldsTheVerdictAndFiguresOfTheRun) {
    const InterruptCase& c = GetParam();
    WriteBench(c.bench);
    WriteSettingsFor(27);
    WriteRate(c.rate);
    Run([&](CMainTestDlg& dlg) {
        Initialize(dlg);
        Click(dlg, IDC_INTERRUPT_TEST);
        const vantrel::board::InterruptResult& r = CMainTestDlgAccess::LastResultsOf(dlg).interrupt;
        EXPECT_EQ(r.passed, c.passed);
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), c.passed ? "SUCCESS" : "FAILED");
        EXPECT_EQ(r.started, c.started);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.overflows, c.overflows);
        EXPECT_EQ(r.sampleErrors, c.sampleErrors);
        EXPECT_EQ(r.errors, c.errors);
        EXPECT_NE(ConsoleText(dlg).find("There were " + std::to_string(r.errors) + " errors."),
                  std::string::npos);
        EXPECT_EQ(r.failure, c.failure);
        EXPECT_EQ(r.rateHz, std::stoi(c.rate));
        EXPECT_TRUE(r.rateFromFile);
        EXPECT_EQ(r.timeoutTolMs, 5000);
        EXPECT_EQ(r.timeTolMs, 150);
        EXPECT_EQ(r.adTolLsb, 200);
        if (c.started) {
            EXPECT_EQ(r.expectedMs, 256);
            EXPECT_NE(
                ConsoleText(dlg).find("Time taken: " + std::to_string(r.measuredMs) + " ms (expected 256)"),
                std::string::npos);
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Faults, InterruptResultOf, testing::ValuesIn(kInterruptCases),
                         [](const testing::TestParamInfo<InterruptCase>& p) {
                             return std::string(p.param.name);
                         });

class RunResults : public BoardDialogFixture {};

TEST_F(RunResults, InitializeBoardKeepsWhatItAskedForAndWhatTheBoardAnswered) {
    WriteBench();
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        Initialize(dlg);
        const vantrel::board::InitResult& r = CMainTestDlgAccess::LastResultsOf(dlg).init;
        EXPECT_TRUE(r.opened);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.boardType, 27);
        EXPECT_EQ(r.baseAddress, 0x300);
        EXPECT_EQ(r.interruptLevel, 7u);
        EXPECT_EQ(r.fpgaRevision, 0x1A3u);
        EXPECT_EQ(r.startTime, kFixedStart);
    });
}

TEST_F(RunResults, FailedInitializeBoardKeepsTheDriversCode) {
    WriteBench({"fail_init_board = 5"});
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        Click(dlg, IDC_INITIALIZE_BOARD);
        EXPECT_FALSE(CMainTestDlgAccess::LastResultsOf(dlg).init.opened);
        EXPECT_EQ(CMainTestDlgAccess::LastResultsOf(dlg).init.code, 5);
    });
}

TEST_F(RunResults, DiagnosticsKeepWhatTheyPrinted) {
    WriteBench({"fail_sample_from = 4"});
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        Initialize(dlg);
        Click(dlg, IDC_VIEW_EEPROM);
        char firstLine[64];
        const vantrel::board::EepromResult& eeprom = CMainTestDlgAccess::LastResultsOf(dlg).eeprom;
        std::snprintf(firstLine, sizeof firstLine, "0:\t%02X %02X %02X %02X    %02X %02X %02X %02X",
                      eeprom.bytes[0], eeprom.bytes[1], eeprom.bytes[2], eeprom.bytes[3], eeprom.bytes[4],
                      eeprom.bytes[5], eeprom.bytes[6], eeprom.bytes[7]);
        EXPECT_NE(ConsoleText(dlg).find(firstLine), std::string::npos) << firstLine;

        Click(dlg, IDC_DUMP_REGISTERS);
        const vantrel::board::RegisterDumpResult& registers =
            CMainTestDlgAccess::LastResultsOf(dlg).registers;
        EXPECT_EQ(registers.typeCode, 27);
        char lastLine[16];
        std::snprintf(lastLine, sizeof lastLine, "15: %02X\n", registers.registers[15]);
        EXPECT_NE(ConsoleText(dlg).find(lastLine), std::string::npos) << lastLine;

        Click(dlg, IDC_SAMPLE);
        const vantrel::board::SampleResult& sample = CMainTestDlgAccess::LastResultsOf(dlg).sample;
        EXPECT_EQ(sample.channelsAnnounced, 32);
        ASSERT_EQ(sample.codes.size(), 4u);
        EXPECT_EQ(sample.failedCall, "bqxADSample");
        EXPECT_NE(ConsoleText(dlg).find("Channel 3, AD Code " + std::to_string(sample.codes[3]) + "\n"),
                  std::string::npos);
    });
}

}  // namespace
}  // namespace boardtest
