// View EEPROM, Dump Registers and Sample through the dialog on the simulated board.
#include "BoardDialogFixture.h"

#include <QComboBox>

#include <regex>
#include <sstream>

namespace boardtest {
namespace {

class Diagnostics : public BoardDialogFixture {
protected:
    // Opens the board of this type code, empties the console and the call log, then acts.
    void WithOpenBoard(int boardType, const std::function<void(CMainTestDlg&)>& actions,
                       const std::vector<std::string>& bench = {}) {
        WriteBench(bench);
        WriteSettingsFor(boardType);
        Run([&](CMainTestDlg& dlg) {
            Initialize(dlg);
            apptest::Item<CRichEditCtrl>(dlg, IDC_CONSOLE).SetWindowText("");
            ClearCallLog();
            actions(dlg);
        });
    }

    // Leaves the list with no row selected, as editing its text does.
    static void EditListText(CMainTestDlg& dlg) {
        auto* combo = qobject_cast<QComboBox*>(Control(dlg, IDC_BOARD_TYPE));
        ASSERT_NE(combo, nullptr);
        combo->setCurrentIndex(-1);
        if (combo->isEditable()) combo->setEditText("My board");
        ASSERT_EQ(apptest::Item<CComboBox>(dlg, IDC_BOARD_TYPE).GetCurSel(), CB_ERR);
    }
};

// The dump as it should read, built from the bytes the driver reports.
std::string ExpectedEepromDump(BoardHandle handle) {
    std::ostringstream out;
    for (int a = 0; a < 128; ++a) {
        std::uint8_t value = 0;
        bqxGetEEPROM(handle, static_cast<std::uint8_t>(a), &value);
        if (a % 8 == 0) out << a << ":\t";
        static const char* digits = "0123456789ABCDEF";
        out << digits[value >> 4] << digits[value & 15] << ' ';
        if (a % 4 == 3) out << "   ";
        if (a % 8 == 7) out << '\n';
    }
    return out.str();
}

TEST_F(Diagnostics, EepromDumpIsSixteenLinesOfEightBytes) {
    WithOpenBoard(27, [&](CMainTestDlg& dlg) {
        Click(dlg, IDC_VIEW_EEPROM);
        const std::string text = ConsoleText(dlg);
        const auto reads = CallsNamed({"bqxGetEEPROM"});
        const std::string expected = ExpectedEepromDump(CMainTestDlgAccess::BoardHandleOf(dlg));
        EXPECT_EQ(text, "\n\nEEPROM Dump:\n\n" + expected);
        EXPECT_EQ(expected.size(), 561u);
        const std::regex line(R"((\d{1,3}):\t(([0-9A-F]{2} ){4}   ){2}\n)");
        int lines = 0;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator();
             ++it) {
            EXPECT_EQ(std::stoi((*it)[1]), lines * 8);
            ++lines;
        }
        EXPECT_EQ(lines, 16) << text;
        ASSERT_EQ(reads.size(), 128u);
        EXPECT_EQ(reads.front(), "bqxGetEEPROM(0,0)");
        EXPECT_EQ(reads.back(), "bqxGetEEPROM(0,127)");
    });
}

struct PageCase {
    const char* name;
    int boardType;
    const char* portCalls;
    const char* register0;  // the type code read back from register 0 on page 0
};

class RegisterDump : public Diagnostics, public testing::WithParamInterface<PageCase> {};

TEST_P(RegisterDump, SelectsPageZeroByModelThenPrintsSixteenRegisters) {
    const PageCase& c = GetParam();
    WithOpenBoard(c.boardType, [&](CMainTestDlg& dlg) {
        Click(dlg, IDC_DUMP_REGISTERS);
        const std::string text = ConsoleText(dlg);
        const std::regex shape(
            R"(Setting register page to 0 \.\.\.\nRegister dump:\n( \d|1[0-5]): [0-9A-F]{2}\n(( \d|1[0-5]): [0-9A-F]{2}\n){15})");
        EXPECT_TRUE(std::regex_match(text, shape)) << text;
        EXPECT_NE(text.find(std::string("Register dump:\n 0: ") + c.register0 + "\n"), std::string::npos)
            << text;
        std::string expectedCalls = c.portCalls;
        for (int r = 0; r < 16; ++r) expectedCalls += "bqxRegisterRead(0," + std::to_string(768 + r) + ")\n";
        EXPECT_EQ(Joined(CallsNamed({"bqxInp", "bqxOutp", "bqxRegisterRead"})), expectedCalls);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Models, RegisterDump,
    testing::Values(PageCase{"Corvel", 27, "bqxOutp(776,0)\n", "1B"},
                    // Its page register is register 0 itself, so register 0 reads the page just written.
                    PageCase{"Harlun", 20, "bqxOutp(768,0)\n", "00"},
                    // Reads 0xFF at power-up; bits 3 to 7 cleared gives 0x07.
                    PageCase{"Tamsel", 33, "bqxInp(771)\nbqxOutp(771,7)\n", "21"},
                    PageCase{"Corvan", 15, "", "0F"},
                    // Reads 0x13 at power-up; bit 4 cleared gives 0x03.
                    PageCase{"Corvit", 0, "bqxInp(778)\nbqxOutp(778,3)\n", "00"},
                    PageCase{"Corvix", 12, "bqxOutp(776,0)\n", "0C"}),
    [](const testing::TestParamInfo<PageCase>& p) { return std::string(p.param.name); });

TEST_F(Diagnostics, RegisterPageRuleFollowsTheRowSelectedAtThePress) {
    WithOpenBoard(27, [&](CMainTestDlg& dlg) {
        ChooseRow(dlg, 6);  // Corvan: no port access
        ClearCallLog();
        Click(dlg, IDC_DUMP_REGISTERS);
        EXPECT_EQ(CallsNamed({"bqxInp", "bqxOutp"}).size(), 0u) << Joined(CallLog());
        ChooseRow(dlg, 3);  // Harlun: port base + 0
        ClearCallLog();
        Click(dlg, IDC_DUMP_REGISTERS);
        EXPECT_EQ(Joined(CallsNamed({"bqxInp", "bqxOutp"})), "bqxOutp(768,0)\n");
    });
}

TEST_F(Diagnostics, NoSelectedRowCountsAsModelCodeZero) {
    WithOpenBoard(27, [&](CMainTestDlg& dlg) {
        EditListText(dlg);
        std::uint8_t before = 0;
        bqxInp(778, &before);
        ClearCallLog();
        Click(dlg, IDC_DUMP_REGISTERS);
        EXPECT_EQ(Joined(CallsNamed({"bqxInp", "bqxOutp"})),
                  "bqxInp(778)\nbqxOutp(778," + std::to_string(before & 0xEF) + ")\n");
        apptest::Item<CRichEditCtrl>(dlg, IDC_CONSOLE).SetWindowText("");
        Click(dlg, IDC_SAMPLE);
        const std::string text = ConsoleText(dlg);
        EXPECT_NE(text.find("\nSampling All Channels (16):\n\n"), std::string::npos) << text;
        EXPECT_NE(text.find("Channel 15, AD Code"), std::string::npos);
        EXPECT_EQ(text.find("Channel 16,"), std::string::npos);
    });
}

// Channel c reads D/A output c mod 4 with the multiplexer off.
std::string ExpectedSampleLines(int channels, int lowCode, int highCode) {
    std::string lines;
    for (int c = 0; c < channels; ++c)
        lines += "Channel " + std::to_string(c) + ", AD Code " +
                 std::to_string(c % 4 < 2 ? lowCode : highCode) + "\n";
    return lines;
}

struct SampleCase {
    const char* name;
    int boardType;
    int channels;
};

class SampleChannels : public Diagnostics, public testing::WithParamInterface<SampleCase> {};

TEST_P(SampleChannels, PrintsOneReadingPerChannelOfTheModel) {
    const SampleCase& c = GetParam();
    WithOpenBoard(c.boardType, [&](CMainTestDlg& dlg) {
        Click(dlg, IDC_SAMPLE);
        const std::string text = ConsoleText(dlg);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(
            text, m,
            std::regex(
                R"(Channel 0, AD Code (-?\d+)\nChannel 1, AD Code -?\d+\nChannel 2, AD Code (-?\d+)\n)")))
            << text;
        const int low = std::stoi(m[1]);
        const int high = std::stoi(m[2]);
        EXPECT_LT(low, -30000) << "D/A code 5 reads near the bottom, with a minus sign";
        EXPECT_GT(high, 30000);
        EXPECT_EQ(text,
                  "\nSetting 10V Bipolar mode; using EEPROM calibration settings :\n"
                  "\nSampling All Channels (" +
                      std::to_string(c.channels) + "):\n\n" + ExpectedSampleLines(c.channels, low, high) +
                      "\n");

        const auto log = CallLog();
        ASSERT_GE(log.size(), 5u);
        EXPECT_EQ(Joined({log.begin(), log.begin() + 5}),
                  "bqxDAConvert(0,0,5)\nbqxDAConvert(0,1,5)\nbqxDAConvert(0,2,4091)\n"
                  "bqxDAConvert(0,3,4091)\nbqxADSetSettings(0,0)\n");
        std::string perChannel;
        for (int ch = 0; ch < c.channels; ++ch)
            perChannel +=
                "bqxADSetChannel(0," + std::to_string(ch) + "," + std::to_string(ch) + ")\nbqxADSample(0)\n";
        EXPECT_EQ(Joined({log.begin() + 5, log.end()}), perChannel);
    });
}

INSTANTIATE_TEST_SUITE_P(Models, SampleChannels,
                         testing::Values(SampleCase{"Corvel", 27, 32}, SampleCase{"Tamsel", 33, 16},
                                         SampleCase{"Corvan", 15, 16}, SampleCase{"Corvit", 0, 16},
                                         SampleCase{"Corvix", 12, 32}),
                         [](const testing::TestParamInfo<SampleCase>& p) {
                             return std::string(p.param.name);
                         });

TEST_F(Diagnostics, SampleChannelCountFollowsTheRowSelectedAtThePress) {
    WithOpenBoard(27, [&](CMainTestDlg& dlg) {
        ChooseRow(dlg, 2);  // Tamsel, 16 channels, without reopening the board
        Click(dlg, IDC_SAMPLE);
        EXPECT_NE(ConsoleText(dlg).find("\nSampling All Channels (16):\n\n"), std::string::npos);
        EXPECT_EQ(CallsNamed({"bqxADSample"}).size(), 16u);
    });
}

struct SampleFailureCase {
    const char* name;
    const char* bench;
    const char* error;
    int readings;
};

class SampleFailure : public Diagnostics, public testing::WithParamInterface<SampleFailureCase> {};

TEST_P(SampleFailure, StopsAtTheFirstFailingChannel) {
    const SampleFailureCase& c = GetParam();
    WithOpenBoard(
        27,
        [&](CMainTestDlg& dlg) {
            Click(dlg, IDC_SAMPLE);
            const std::string text = ConsoleText(dlg);
            std::smatch m;
            ASSERT_TRUE(std::regex_search(
                text, m,
                std::regex(
                    R"(Channel 0, AD Code (-?\d+)\nChannel 1, AD Code -?\d+\nChannel 2, AD Code (-?\d+)\n)")))
                << text;
            EXPECT_EQ(text,
                      "\nSetting 10V Bipolar mode; using EEPROM calibration settings :\n"
                      "\nSampling All Channels (32):\n\n" +
                          ExpectedSampleLines(c.readings, std::stoi(m[1]), std::stoi(m[2])) + c.error + "\n");
        },
        {c.bench});
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SampleFailure,
    testing::Values(SampleFailureCase{"Conversion", "fail_sample_from = 5", "Error in bqxADSample\n", 5},
                    SampleFailureCase{"Selection", "fail_set_channel_from = 3:12",
                                      "Error in bqxADSetChannel\n", 3}),
    [](const testing::TestParamInfo<SampleFailureCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace boardtest
