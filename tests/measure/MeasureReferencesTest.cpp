// Measure References end to end: the main dialog's button, the Measure References window,
// the meter emulator on COM1 reading the simulated board's reference terminals, and the
// board's EEPROM.
#include "MeasureFlowFixture.h"

#include "SmallTmpfs.h"
#include "meter/ReferenceTable.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace measuretest {
namespace {

std::string Volts(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", v);
    return text;
}

std::string EepromText(const std::vector<double>& values) {
    std::string text;
    for (int i = 0; i < 5; ++i)
        text += "Ch " + std::to_string(i) + ":\t" + Volts(values[static_cast<std::size_t>(i)]) + "\n";
    return text;
}

std::string SetReferencesCall(const std::vector<double>& values) {
    std::string call = "bqxSetReferenceVoltages(0";
    for (double v : values) call += "," + Volts(v);
    return call + ")";
}

const std::vector<std::string> kFlowCalls = {"bqxSetCalMux", "bqxGetReferenceVoltages", "bqxSleep",
                                             "bqxADSetChannel", "bqxSetReferenceVoltages"};

void ClickOk(vantrel::dialogdriver::DialogDriver& window) { window.Click(IDOK); }

// Fluke 45 run: each reading is what the terminals carry, at the meter's resolution.
TEST_F(MeasureFlowTest, Fluke45RunWritesTheMeasuredReferencesToEeprom) {
    FlowOptions options;
    options.boardType = 27;  // Corvel, seven references
    options.voltmeter = 0;
    options.meterArguments = {"--meter", "fluke45"};
    options.viewEepromAfter = true;
    options.operatorScript = ClickOk;
    const FlowOutcome out = Run(options);

    ASSERT_TRUE(out.window.shown) << BoxList(out.boxes);
    ASSERT_EQ(out.boxes.size(), 1u) << BoxList(out.boxes);
    EXPECT_EQ(out.boxes[0].caption, kInstructionsCaption);
    EXPECT_EQ(out.boxes[0].text,
              "Power ON your voltmeter, then\nattach the null modem cable from the back of the "
              "voltmeter to your COM1 port.\n\nNext, attach your voltmeter probes to the Precise "
              "Reference Voltage Terminals +(red)/-(black) (check manual).\n\nPress OK when ready.");
    EXPECT_EQ(out.boxes[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OK));
    EXPECT_NE(out.console.find(kMeterLogLine), std::string::npos) << out.console;

    EXPECT_EQ(out.window.eepromText, EepromText(kStoredBefore));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(out.window.edits[static_cast<std::size_t>(i)],
                  Volts(kTrueReferences[static_cast<std::size_t>(i)]))
            << "edit of channel " << i;
    EXPECT_EQ(out.window.focusId, IDOK);

    // Settles 2000 then 2150 ms, each after its channel's selection; the multiplexer on
    // around the window only; entries 5 and 6 keep what the EEPROM held.
    std::vector<double> written(kTrueReferences.begin(), kTrueReferences.begin() + 5);
    written.push_back(kStoredBefore[5]);
    written.push_back(kStoredBefore[6]);
    written.push_back(0.0);
    EXPECT_EQ(Joined(CallsNamed(out.calls, kFlowCalls)),
              "bqxSetCalMux(0,1)\nbqxGetReferenceVoltages(0)\nbqxSleep(200)\n"
              "bqxADSetChannel(0,0,0)\nbqxSleep(2000)\nbqxADSetChannel(0,1,1)\nbqxSleep(2150)\n"
              "bqxADSetChannel(0,2,2)\nbqxSleep(2150)\nbqxADSetChannel(0,3,3)\nbqxSleep(2150)\n"
              "bqxADSetChannel(0,4,4)\nbqxSleep(2150)\nbqxSetCalMux(0,0)\n" +
                  SetReferencesCall(written) + "\n");

    ASSERT_EQ(out.eepromAfter.size(), 8u);
    for (int i = 0; i < 5; ++i) {
        const auto at = static_cast<std::size_t>(i);
        EXPECT_DOUBLE_EQ(out.eepromAfter[at], static_cast<double>(static_cast<float>(kTrueReferences[at])))
            << "EEPROM reference " << i;
        EXPECT_DOUBLE_EQ(DumpReference(out.eepromDump, i), out.eepromAfter[at])
            << "View EEPROM, reference " << i;
    }
    EXPECT_EQ(out.eepromAfter[5], kStoredBefore[5]);
    EXPECT_EQ(out.eepromAfter[6], kStoredBefore[6]);
    EXPECT_EQ(out.eepromDump.size(), 128u);
    EXPECT_EQ(DumpReference(out.eepromDump, 6), kStoredBefore[6]);

    const std::string received = Bench().MeterReceived();
    EXPECT_EQ(received.substr(0, 5), "AUTO\n") << received;
}

TEST_F(MeasureFlowTest, Hp34401ARunWritesTheMeasuredReferencesToEeprom) {
    FlowOptions options;
    options.boardType = 36;  // Nessov, seven references
    options.voltmeter = 1;
    options.meterArguments = {"--meter", "hp34401a"};
    options.viewEepromAfter = true;
    options.operatorScript = ClickOk;
    const FlowOutcome out = Run(options);

    ASSERT_TRUE(out.window.shown) << BoxList(out.boxes);
    for (int i = 0; i < 5; ++i) {
        const auto at = static_cast<std::size_t>(i);
        EXPECT_EQ(out.window.edits[at], Volts(kTrueReferences[at])) << "edit of channel " << i;
        EXPECT_DOUBLE_EQ(out.eepromAfter[at], static_cast<double>(static_cast<float>(kTrueReferences[at])))
            << "EEPROM reference " << i;
        EXPECT_DOUBLE_EQ(DumpReference(out.eepromDump, i), out.eepromAfter[at])
            << "View EEPROM, reference " << i;
    }
    EXPECT_EQ(out.eepromAfter[5], kStoredBefore[5]);
    EXPECT_EQ(out.eepromAfter[6], kStoredBefore[6]);

    const std::string received = Bench().MeterReceived();
    EXPECT_EQ(received.find("AUTO"), std::string::npos) << received;
    EXPECT_EQ(received.substr(0, 18), "*RST\n\rINIT\n\rFETC?\n") << received;
}

TEST_F(MeasureFlowTest, MeterNoneLetsTheOperatorTypeTheValues) {
    FlowOptions options;
    options.boardType = 27;
    options.voltmeter = 2;
    // A meter is on COM1, but with "None" nobody talks to it.
    options.meterArguments = {"--meter", "fluke45"};
    options.operatorScript = [&](vantrel::dialogdriver::DialogDriver& window) {
        window.TypeText(kReferenceEdit0, "4.0963");
        window.TypeText(kReferenceEdit0 + 1, "2.5");
        window.TypeText(kReferenceEdit0 + 2, "1.25");
        window.TypeText(kReferenceEdit0 + 3, "0.625");
        window.TypeText(kReferenceEdit0 + 4, "0.001");
        window.Click(IDOK);
    };
    const FlowOutcome out = Run(options);

    // 4.0963 lies outside the window of channel 0: the operator confirms it.
    ASSERT_EQ(out.boxes.size(), 1u) << BoxList(out.boxes);
    EXPECT_EQ(out.boxes[0].caption, "Confirm");
    EXPECT_EQ(out.boxes[0].text,
              "Channel 0: Got 4.096300V, exceeds tolerance of 5.2-4.5 V\n\n"
              "Store this value in the board's EEPROM anyway?");
    EXPECT_EQ(out.console.find(kMeterLogLine), std::string::npos) << out.console;
    ASSERT_TRUE(out.window.shown);
    for (const std::string& edit : out.window.edits) EXPECT_EQ(edit, "0");
    EXPECT_EQ(out.window.focusId, IDOK);
    EXPECT_EQ(Bench().MeterReceived(), "");

    // Channel 0 is selected on the way to the OK button; typing selects each channel.
    const std::vector<std::string> flow = CallsNamed(out.calls, kFlowCalls);
    ASSERT_GE(flow.size(), 4u) << Joined(out.calls);
    EXPECT_EQ(Joined({flow.begin(), flow.begin() + 4}),
              "bqxSetCalMux(0,1)\nbqxGetReferenceVoltages(0)\nbqxSleep(200)\n"
              "bqxADSetChannel(0,0,0)\n");
    EXPECT_EQ(flow.back(), SetReferencesCall(
                               {4.0963f, 2.5, 1.25, 0.625, 0.001f, kStoredBefore[5], kStoredBefore[6], 0.0}));
    EXPECT_EQ(flow[flow.size() - 2], "bqxSetCalMux(0,0)");
    EXPECT_EQ(out.eepromAfter[0], 4.096300125122070);
    EXPECT_EQ(out.eepromAfter[4], static_cast<double>(0.001f));
}

TEST_F(MeasureFlowTest, EditFocusSelectsItsChannel) {
    FlowOptions options;
    options.boardType = 27;
    std::vector<std::string> selections;
    options.operatorScript = [&](vantrel::dialogdriver::DialogDriver& window) {
        vantrel::dialogdriver::ClearDriverCallLog();
        for (int i : {3, 1, 4}) window.dialog().GotoDlgCtrl(window.dialog().GetDlgItem(kReferenceEdit0 + i));
        selections = CallsNamed(vantrel::dialogdriver::DriverCallLog(), {"bqxADSetChannel"});
    };
    Run(options);
    EXPECT_EQ(Joined(selections), "bqxADSetChannel(0,3,3)\nbqxADSetChannel(0,1,1)\nbqxADSetChannel(0,4,4)\n");
}

TEST_F(MeasureFlowTest, FourReferenceBoardMeasuresChannelsZeroToThree) {
    FlowOptions options;
    options.boardType = 20;  // Harlun
    options.voltmeter = 0;
    options.meterArguments = {"--meter", "fluke45"};
    options.operatorScript = ClickOk;
    const FlowOutcome out = Run(options);

    ASSERT_TRUE(out.window.shown) << BoxList(out.boxes);
    EXPECT_EQ(out.window.edits[3], Volts(kTrueReferences[3]));
    EXPECT_EQ(out.window.edits[4], "");
    EXPECT_EQ(Joined(CallsNamed(out.calls, {"bqxSleep", "bqxADSetChannel"})),
              "bqxSleep(200)\nbqxADSetChannel(0,0,0)\nbqxSleep(2000)\nbqxADSetChannel(0,1,1)\n"
              "bqxSleep(2150)\nbqxADSetChannel(0,2,2)\nbqxSleep(2150)\nbqxADSetChannel(0,3,3)\n"
              "bqxSleep(2150)\n");
    std::vector<double> written;
    for (int i = 0; i < 4; ++i)
        written.push_back(static_cast<float>(kTrueReferences[static_cast<std::size_t>(i)]));
    written.push_back(0.0);
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}),
              std::vector<std::string>{SetReferencesCall(written)});
}

class BoardWithoutReferences : public MeasureFlowTest, public testing::WithParamInterface<int> {};

TEST_P(BoardWithoutReferences, NothingIsMeasuredAndOnlyTheTerminatorIsWritten) {
    FlowOptions options;
    options.boardType = GetParam();
    options.voltmeter = 0;
    options.meterArguments = {"--meter", "fluke45"};
    options.operatorScript = ClickOk;
    const FlowOutcome out = Run(options);

    ASSERT_TRUE(out.window.shown) << BoxList(out.boxes);
    for (const std::string& edit : out.window.edits) EXPECT_EQ(edit, "");
    EXPECT_TRUE(CallsNamed(out.calls, {"bqxADSetChannel"}).empty()) << Joined(out.calls);
    EXPECT_EQ(Bench().MeterReceived().find("VAL1?"), std::string::npos);
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}),
              std::vector<std::string>{"bqxSetReferenceVoltages(0,0.000000)"});
}

INSTANTIATE_TEST_SUITE_P(CorvitAndCorvex, BoardWithoutReferences, testing::Values(0, 34));

struct ManyReferencesCase {
    int boardType;
    int count;
};

class BoardWithMoreReferencesThanEdits : public MeasureFlowTest,
                                         public testing::WithParamInterface<ManyReferencesCase> {};

TEST_P(BoardWithMoreReferencesThanEdits, ReferencesBeyondTheEditsKeepTheirEepromValues) {
    const ManyReferencesCase c = GetParam();
    FlowOptions options;
    options.boardType = c.boardType;
    options.operatorScript = [](vantrel::dialogdriver::DialogDriver& window) {
        for (int i = 0; i < 5; ++i) window.SetText(kReferenceEdit0 + i, std::to_string(i + 1) + ".5");
        window.Click(IDOK);
    };
    const FlowOutcome out = Run(options);

    std::vector<double> written = {1.5, 2.5, 3.5, 4.5, 5.5};
    for (int i = 5; i < c.count; ++i) written.push_back(kStoredBefore[static_cast<std::size_t>(i)]);
    written.push_back(0.0);
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}),
              std::vector<std::string>{SetReferencesCall(written)});
    for (int i = 0; i < c.count; ++i)
        EXPECT_EQ(out.eepromAfter[static_cast<std::size_t>(i)], written[static_cast<std::size_t>(i)])
            << "EEPROM reference " << i;
}

INSTANTIATE_TEST_SUITE_P(SixAndSeven, BoardWithMoreReferencesThanEdits,
                         testing::Values(ManyReferencesCase{15, 6}, ManyReferencesCase{12, 7}),
                         [](const auto& row) { return "Code" + std::to_string(row.param.boardType); });

struct WindowEdgeCase {
    const char* name;
    const char* readings;
    bool accepted;
    int channel;           // edit or message of interest
    const char* expected;  // the edit's text, or the "ERROR" box text
};

class ToleranceWindowEdge : public MeasureFlowTest, public testing::WithParamInterface<WindowEdgeCase> {};

TEST_P(ToleranceWindowEdge, ReadingIsJudgedOnItsAbsoluteValue) {
    const WindowEdgeCase c = GetParam();
    FlowOptions options;
    options.boardType = 27;
    options.voltmeter = 0;
    options.meterArguments = {"--meter", "fluke45", "--readings", c.readings};
    options.operatorScript = [](vantrel::dialogdriver::DialogDriver& window) { window.Click(kKeepButton); };
    const FlowOutcome out = Run(options);

    if (c.accepted) {
        ASSERT_TRUE(out.window.shown) << BoxList(out.boxes);
        EXPECT_EQ(out.window.edits[static_cast<std::size_t>(c.channel)], c.expected);
        ASSERT_EQ(out.boxes.size(), 1u) << BoxList(out.boxes);
    } else {
        EXPECT_FALSE(out.window.shown);
        ASSERT_EQ(out.boxes.size(), 3u) << BoxList(out.boxes);
        EXPECT_EQ(out.boxes[1].caption, "ERROR");
        EXPECT_EQ(out.boxes[1].text, c.expected);
        EXPECT_EQ(out.boxes[2].caption, "NOTICE");
        EXPECT_EQ(out.boxes[2].text, kOutOfToleranceNotice);
        // The failing channel is the last one selected; none after it is measured.
        const auto selections = CallsNamed(out.calls, {"bqxADSetChannel"});
        ASSERT_FALSE(selections.empty());
        const std::string ch = std::to_string(c.channel);
        EXPECT_EQ(selections.back(), "bqxADSetChannel(0," + ch + "," + ch + ")");
    }
    EXPECT_EQ(out.eepromAfter, out.eepromBefore);
    EXPECT_TRUE(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}).empty());
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetCalMux"}),
              (std::vector<std::string>{"bqxSetCalMux(0,1)", "bqxSetCalMux(0,0)"}));
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ToleranceWindowEdge,
    testing::Values(WindowEdgeCase{"LowEdgeOfChannel0", "4.5,2.5,1.25,0.6,0.0004", true, 0, "4.500000"},
                    WindowEdgeCase{"HighEdgeOfChannel0", "5.2,2.5,1.25,0.6,0.0004", true, 0, "5.200000"},
                    WindowEdgeCase{"NegativeChannel3", "5,2.5,1.25,-0.3,0.0004", true, 3, "0.300000"},
                    WindowEdgeCase{"AboveChannel0", "5.3,2.5,1.25,0.6,0.0004", false, 0,
                                   "Got 5.300000V, exceeds tolerance of 5.2-4.5 V"},
                    WindowEdgeCase{"NegativeChannel4", "5,2.5,1.25,0.6,-0.7", false, 4,
                                   "Got 0.700000V, more than 0.5 V"}),
    [](const auto& row) { return std::string(row.param.name); });

struct MeterFaultCase {
    const char* name;
    std::vector<std::string> meterArguments;
};

class FailingMeter : public MeasureFlowTest, public testing::WithParamInterface<MeterFaultCase> {};

TEST_P(FailingMeter, EndsAsAFailedMeterReading) {
    FlowOptions options;
    options.boardType = 27;
    options.voltmeter = 0;
    options.meterArguments = GetParam().meterArguments;
    const FlowOutcome out = Run(options);

    EXPECT_FALSE(out.window.shown);
    ASSERT_EQ(out.boxes.size(), 3u) << BoxList(out.boxes);
    EXPECT_EQ(out.boxes[1].caption, "ERROR");
    EXPECT_EQ(out.boxes[1].text, kReadFailedText);
    EXPECT_EQ(out.boxes[2].caption, "NOTICE");
    EXPECT_EQ(out.boxes[2].text, kMeterFailedNotice);
    EXPECT_EQ(CallsNamed(out.calls, {"bqxADSetChannel"}), std::vector<std::string>{"bqxADSetChannel(0,0,0)"});
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetCalMux"}),
              (std::vector<std::string>{"bqxSetCalMux(0,1)", "bqxSetCalMux(0,0)"}));
    EXPECT_EQ(out.eepromAfter, out.eepromBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailingMeter,
    testing::Values(MeterFaultCase{"Silent", {"--meter", "fluke45", "--fault", "silent"}},
                    MeterFaultCase{"ErrorPrompt", {"--meter", "fluke45", "--fault", "error-prompt"}},
                    MeterFaultCase{"HpSilent", {"--meter", "hp34401a", "--fault", "silent"}}),
    [](const auto& row) { return std::string(row.param.name); });

// Buttons pressed while the window is still starting (as an accessibility client can, during
// its "ERROR" box) are not taken: the start-up's result stands, the multiplexer goes off and
// the tool can quit.
TEST_F(MeasureFlowTest, ButtonsPressedWhileTheWindowStartsAreNotTaken) {
    FlowOptions options;
    options.boardType = 20;
    options.voltmeter = 0;
    options.meterArguments = {"--meter", "fluke45", "--readings", "4.75,2.25,1.125,9"};
    int pressed = 0;
    options.onBox = [&](const vantrel::dialogdriver::MessageBoxRecord& box) {
        if (box.caption != "ERROR" || pressed > 0) return;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->windowTitle() != "Measure References") continue;
            for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
                ++pressed;
                button->click();
            }
        }
    };
    const FlowOutcome out = Run(options);
    EXPECT_EQ(pressed, 3);
    EXPECT_FALSE(out.window.shown);
    ASSERT_EQ(out.boxes.size(), 3u) << BoxList(out.boxes);
    EXPECT_EQ(out.boxes[1].caption, "ERROR");
    EXPECT_EQ(out.boxes[2].text, kOutOfToleranceNotice);
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetCalMux"}),
              (std::vector<std::string>{"bqxSetCalMux(0,1)", "bqxSetCalMux(0,0)"}));
    EXPECT_TRUE(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}).empty()) << Joined(out.calls);
    EXPECT_EQ(out.eepromAfter, out.eepromBefore);
}

struct LeaveCase {
    const char* name;
    int button;
};

class LeavingWithoutWriting : public MeasureFlowTest, public testing::WithParamInterface<LeaveCase> {};

TEST_P(LeavingWithoutWriting, EepromStaysAsItWas) {
    FlowOptions options;
    options.boardType = 27;
    const int button = GetParam().button;
    options.operatorScript = [button](vantrel::dialogdriver::DialogDriver& window) {
        window.SetText(kReferenceEdit0, "4.75");
        window.Click(button);
    };
    const FlowOutcome out = Run(options);

    ASSERT_TRUE(out.window.shown);
    EXPECT_TRUE(out.windowEnded);
    EXPECT_TRUE(out.boxes.empty()) << BoxList(out.boxes);
    EXPECT_TRUE(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}).empty()) << Joined(out.calls);
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetCalMux"}),
              (std::vector<std::string>{"bqxSetCalMux(0,1)", "bqxSetCalMux(0,0)"}));
    EXPECT_EQ(out.eepromAfter, out.eepromBefore);
}

INSTANTIATE_TEST_SUITE_P(KeepAndCancel, LeavingWithoutWriting,
                         testing::Values(LeaveCase{"Keep", kKeepButton}, LeaveCase{"Cancel", IDCANCEL}),
                         [](const auto& row) { return std::string(row.param.name); });

struct BadTextCase {
    const char* name;
    const char* text;
};

class NotANumber : public MeasureFlowTest, public testing::WithParamInterface<BadTextCase> {};

TEST_P(NotANumber, OkIsRefusedAndNamesTheChannelAndItsText) {
    const BadTextCase c = GetParam();
    FlowOptions options;
    options.boardType = 27;
    bool stillOpen = false;
    int focusAfter = 0;
    options.operatorScript = [&](vantrel::dialogdriver::DialogDriver& window) {
        window.SetText(kReferenceEdit0 + 2, c.text);
        window.Click(IDOK);
        stillOpen = !window.Ended();
        focusAfter = window.FocusedId();
        window.Click(IDCANCEL);
    };
    const FlowOutcome out = Run(options);

    EXPECT_TRUE(stillOpen) << "the window must stay open for a correction";
    EXPECT_EQ(focusAfter, kReferenceEdit0 + 2);
    ASSERT_EQ(out.boxes.size(), 1u) << BoxList(out.boxes);
    EXPECT_EQ(out.boxes[0].caption, "ERROR");
    EXPECT_NE(out.boxes[0].text.find("Channel 2: \"" + std::string(c.text) + "\""), std::string::npos)
        << out.boxes[0].text;
    EXPECT_TRUE(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}).empty()) << Joined(out.calls);
    EXPECT_EQ(out.eepromAfter, out.eepromBefore);
}

INSTANTIATE_TEST_SUITE_P(Texts, NotANumber,
                         testing::Values(BadTextCase{"Empty", ""}, BadTextCase{"Letters", "abc"},
                                         BadTextCase{"Nan", "nan"}, BadTextCase{"Infinity", "inf"},
                                         BadTextCase{"DecimalComma", "1,25"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(MeasureFlowTest, TextOfAnEditBeyondTheBoardsReferencesIsNotChecked) {
    FlowOptions options;
    options.boardType = 20;  // four references: edit 1029 is not copied
    options.operatorScript = [](vantrel::dialogdriver::DialogDriver& window) {
        const char* typed[] = {"4.75", "2.25", "1.125", "0.5"};
        for (int i = 0; i < 4; ++i) window.SetText(kReferenceEdit0 + i, typed[i]);
        window.SetText(kReferenceEdit0 + 4, "abc");
        window.Click(IDOK);
    };
    const FlowOutcome out = Run(options);
    EXPECT_TRUE(out.boxes.empty()) << BoxList(out.boxes);
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}),
              std::vector<std::string>{SetReferencesCall({4.75, 2.25, 1.125, 0.5, 0})});
}

struct PortCase {
    const char* name;
    bool comFileIsPlain;  // COM1 is a plain file rather than a link to a gone device
    const char* reason;
};

class MeterPortNotOpened : public MeasureFlowTest, public testing::WithParamInterface<PortCase> {};

TEST_P(MeterPortNotOpened, OperatorLearnsWhyAndNothingIsWritten) {
    const PortCase c = GetParam();
    if (c.comFileIsPlain)
        std::ofstream("COM1") << "not a serial device\n";
    else
        std::filesystem::create_symlink("/dev/vantrel-no-such-port", "COM1");
    FlowOptions options;
    options.boardType = 27;
    options.voltmeter = 0;
    const FlowOutcome out = Run(options);

    EXPECT_FALSE(out.window.shown);
    ASSERT_EQ(out.boxes.size(), 3u) << BoxList(out.boxes);
    EXPECT_EQ(out.boxes[1].caption, "ERROR");
    EXPECT_EQ(out.boxes[1].text.rfind(std::string("COM1 could not be opened: ") + c.reason, 0), 0u)
        << out.boxes[1].text;
    EXPECT_EQ(out.boxes[2].caption, "NOTICE");
    EXPECT_EQ(out.boxes[2].text, kMeterFailedNotice);
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetCalMux"}),
              (std::vector<std::string>{"bqxSetCalMux(0,1)", "bqxSetCalMux(0,0)"}));
    EXPECT_TRUE(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}).empty());
    EXPECT_EQ(out.eepromAfter, out.eepromBefore);
}

INSTANTIATE_TEST_SUITE_P(Ports, MeterPortNotOpened,
                         testing::Values(PortCase{"DeviceGone", false, "No such file or directory"},
                                         PortCase{"NotATerminal", true, "Inappropriate ioctl for device"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(MeasureFlowTest, MissingPortDoesNotMatterWhenNothingIsMeasured) {
    std::filesystem::create_symlink("/dev/vantrel-no-such-port", "COM1");
    FlowOptions options;
    options.boardType = 34;  // no references to measure
    options.voltmeter = 0;
    options.operatorScript = [](vantrel::dialogdriver::DialogDriver& window) { window.Click(IDOK); };
    const FlowOutcome out = Run(options);
    ASSERT_TRUE(out.window.shown);
    ASSERT_EQ(out.boxes.size(), 1u) << BoxList(out.boxes);
    EXPECT_EQ(out.boxes[0].caption, "Instructions");
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}),
              std::vector<std::string>{"bqxSetReferenceVoltages(0,0.000000)"});
}

TEST_F(MeasureFlowTest, FailedEepromReadShowsZeros) {
    FlowOptions options;
    options.boardType = 20;
    options.benchLines = {"fail_get_references = 10"};
    options.operatorScript = [](vantrel::dialogdriver::DialogDriver& window) {
        window.SetText(kReferenceEdit0, "4.5");
        window.Click(IDOK);
    };
    const FlowOutcome out = Run(options);
    ASSERT_TRUE(out.window.shown);
    EXPECT_EQ(out.window.eepromText, EepromText({0, 0, 0, 0, 0}));
    // Four references: every one comes from an edit, so the write goes ahead.
    EXPECT_EQ(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}),
              std::vector<std::string>{SetReferencesCall({4.5, 0, 0, 0, 0})});
}

TEST_F(MeasureFlowTest, FailedEepromReadRefusesToWriteReferencesBeyondTheEdits) {
    FlowOptions options;
    options.boardType = 12;  // Corvix, seven references
    options.benchLines = {"fail_get_references = 10"};
    bool stillOpen = false;
    options.operatorScript = [&](vantrel::dialogdriver::DialogDriver& window) {
        window.Click(IDOK);
        stillOpen = !window.Ended();
        window.Click(kKeepButton);
    };
    const FlowOutcome out = Run(options);
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(out.boxes.size(), 1u) << BoxList(out.boxes);
    EXPECT_EQ(out.boxes[0].caption, "ERROR");
    EXPECT_TRUE(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}).empty()) << Joined(out.calls);
    EXPECT_EQ(out.eepromAfter, out.eepromBefore);
}

struct TypedValueCase {
    const char* name;
    const char* typed;    // into the edit of channel 0
    int answer;           // to the one box it raises
    const char* caption;  // of that box
    bool written;
};

void PrintTo(const TypedValueCase& c, std::ostream* os) { *os << c.name; }

class TypedReference : public MeasureFlowTest, public testing::WithParamInterface<TypedValueCase> {};

// A typed value outside its window is written only once the operator confirms it; one that
// cannot be a reference is never written.
TEST_P(TypedReference, OutsideItsWindowIsConfirmedBeyondTheBoardsRangeRefused) {
    const TypedValueCase c = GetParam();
    FlowOptions options;
    options.boardType = 20;
    options.boxAnswers = {c.answer};
    bool stillOpen = false;
    options.operatorScript = [&](vantrel::dialogdriver::DialogDriver& window) {
        const char* typed[] = {c.typed, "2.25", "1.125", "0.5"};
        for (int i = 0; i < 4; ++i) window.SetText(kReferenceEdit0 + i, typed[i]);
        window.Click(IDOK);
        stillOpen = !window.Ended();
        if (stillOpen) {
            EXPECT_EQ(window.FocusedId(), kReferenceEdit0);
            window.Click(IDCANCEL);
        }
    };
    const FlowOutcome out = Run(options);
    ASSERT_EQ(out.boxes.size(), 1u) << BoxList(out.boxes);
    EXPECT_EQ(out.boxes[0].caption, c.caption);
    EXPECT_EQ(out.boxes[0].text.rfind("Channel 0: ", 0), 0u) << out.boxes[0].text;
    EXPECT_EQ(stillOpen, !c.written);
    if (c.written) {
        // A typed reference is stored by its size, as a reading is.
        EXPECT_EQ(out.eepromAfter[0], static_cast<double>(std::fabs(std::strtof(c.typed, nullptr))));
    } else {
        EXPECT_TRUE(CallsNamed(out.calls, {"bqxSetReferenceVoltages"}).empty()) << Joined(out.calls);
        EXPECT_EQ(out.eepromAfter, out.eepromBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, TypedReference,
                         testing::Values(TypedValueCase{"NegativeDeclined", "-5.3", IDNO, "Confirm", false},
                                         TypedValueCase{"NegativeConfirmed", "-5.3", IDYES, "Confirm", true},
                                         TypedValueCase{"LowConfirmed", "4.0963", IDYES, "Confirm", true},
                                         TypedValueCase{"HugeRefused", "1e38", IDYES, "ERROR", false},
                                         TypedValueCase{"JustBeyondRangeRefused", "-10.5", IDYES, "ERROR",
                                                        false}),
                         [](const auto& row) { return std::string(row.param.name); });

enum class EepromFileSystem { ReadOnly, Full };

class EepromNotWritable : public MeasureFlowTest, public testing::WithParamInterface<EepromFileSystem> {};

// The image on a file system that refuses the write: the operator is told that nothing was
// stored, and the board and its file keep the previous calibration.
TEST_P(EepromNotWritable, OperatorIsToldTheReferencesWereNotStored) {
    harness::SmallTmpfs fs(Bench().Dir() + "/eeprom-fs", 64 * 1024);
    if (!fs.Mounted()) GTEST_SKIP() << fs.Why();
    const std::string image = fs.path() + "/eeprom.bin";
    std::vector<char> fileBefore;
    FlowOptions options;
    options.boardType = 20;
    options.benchLines = {"eeprom = " + image};
    options.beforePress = [&] {
        std::ifstream in(image, std::ios::binary);
        fileBefore.assign(std::istreambuf_iterator<char>(in), {});
        ASSERT_TRUE(GetParam() == EepromFileSystem::ReadOnly ? fs.MakeReadOnly() : fs.Fill());
    };
    options.operatorScript = [](vantrel::dialogdriver::DialogDriver& window) {
        const char* typed[] = {"4.75", "2.25", "1.125", "0.5"};
        for (int i = 0; i < 4; ++i) window.SetText(kReferenceEdit0 + i, typed[i]);
        window.Click(IDOK);
    };
    const FlowOutcome out = Run(options);

    ASSERT_TRUE(out.windowEnded);
    ASSERT_EQ(out.boxes.size(), 1u) << BoxList(out.boxes);
    EXPECT_EQ(out.boxes[0].caption, "ERROR");
    EXPECT_NE(out.boxes[0].text.find("NOT stored"), std::string::npos) << out.boxes[0].text;
    EXPECT_NE(out.boxes[0].text.find("(driver error 10)"), std::string::npos) << out.boxes[0].text;
    EXPECT_EQ(out.eepromAfter, out.eepromBefore);
    std::ifstream in(image, std::ios::binary);
    const std::vector<char> fileAfter(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(fileAfter.size(), 128u);
    EXPECT_EQ(fileAfter, fileBefore);
}

INSTANTIATE_TEST_SUITE_P(ReadOnlyAndFull, EepromNotWritable,
                         testing::Values(EepromFileSystem::ReadOnly, EepromFileSystem::Full),
                         [](const auto& row) {
                             return std::string(row.param == EepromFileSystem::ReadOnly ? "ReadOnly"
                                                                                        : "Full");
                         });

TEST_F(MeasureFlowTest, NoMeterButtonCheckedReadsAsFluke45) {
    FlowOptions options;
    options.boardType = 20;
    options.voltmeter = 7;  // names no button: all three stay unchecked
    options.meterArguments = {"--meter", "fluke45"};
    options.operatorScript = [](vantrel::dialogdriver::DialogDriver& window) { window.Click(IDCANCEL); };
    const FlowOutcome out = Run(options);
    ASSERT_TRUE(out.window.shown) << BoxList(out.boxes);
    ASSERT_FALSE(out.boxes.empty());
    EXPECT_EQ(out.boxes[0].caption, kInstructionsCaption);
    EXPECT_EQ(out.window.edits[0], Volts(kTrueReferences[0]));
    EXPECT_EQ(Bench().MeterReceived().substr(0, 11), "AUTO\nVAL1?\n");
}

struct OutcomeCase {
    const char* name;
    std::vector<std::string> meter;  // meter emulator arguments; empty: meter None
    int voltmeter;
    int button;  // pressed in the Measure References window
    vantrel::meter::MeasureOutcome outcome;
    std::size_t readings;
    const char* typedFirst = nullptr;  // typed into channel 0 and offered before the button
};

const OutcomeCase kOutcomeCases[] = {
    {"Written", {"--meter", "fluke45"}, 0, IDOK, vantrel::meter::MeasureOutcome::Written, 5},
    {"Kept", {}, 2, kKeepButton, vantrel::meter::MeasureOutcome::Kept, 0},
    {"Cancelled", {}, 2, IDCANCEL, vantrel::meter::MeasureOutcome::Cancelled, 0},
    {"OutOfTolerance",
     {"--meter", "fluke45", "--readings", "5.3"},
     0,
     IDOK,
     vantrel::meter::MeasureOutcome::OutOfTolerance,
     1},
    {"FailedReading",
     {"--meter", "fluke45", "--fault", "silent"},
     0,
     IDOK,
     vantrel::meter::MeasureOutcome::FailedReading,
     0},
    {"Refused", {}, 2, IDCANCEL, vantrel::meter::MeasureOutcome::Refused, 0, "99"},
    {"KeptAfterRefusal", {}, 2, kKeepButton, vantrel::meter::MeasureOutcome::Kept, 0, "-12.5"},
};

class MeasureResultOf : public MeasureFlowTest, public testing::WithParamInterface<OutcomeCase> {};

// The run's result says how it ended, what the meter read and judged, what the EEPROM held
// and what was written: the same as the window, the boxes and the driver saw.
TEST_P(MeasureResultOf, SaysHowTheRunEndedAndWhatItReadAndWrote) {
    const OutcomeCase& c = GetParam();
    FlowOptions options;
    options.voltmeter = c.voltmeter;
    options.meterArguments = c.meter;
    options.operatorScript = [&](vantrel::dialogdriver::DialogDriver& window) {
        if (c.typedFirst) {
            window.TypeText(kReferenceEdit0, c.typedFirst);
            window.Click(IDOK);
        }
        window.Click(c.button);
    };
    const FlowOutcome out = Run(options);
    const vantrel::meter::MeasureResult& r = out.result;
    if (c.typedFirst) {
        ASSERT_EQ(r.refused.size(), 5u);
        EXPECT_DOUBLE_EQ(r.refused[0], std::stod(c.typedFirst));
    } else {
        EXPECT_TRUE(r.refused.empty());
    }
    EXPECT_EQ(static_cast<int>(r.outcome), static_cast<int>(c.outcome));
    EXPECT_EQ(r.meterIndex, c.voltmeter);
    EXPECT_EQ(r.boardType, 27);
    ASSERT_EQ(r.readings.size(), c.readings);
    for (const vantrel::meter::ChannelReading& reading : r.readings) {
        EXPECT_EQ(reading.withinTolerance, vantrel::meter::WithinTolerance(reading.channel, reading.volts));
        EXPECT_EQ(reading.window.low,
                  vantrel::meter::kToleranceWindows[static_cast<std::size_t>(reading.channel)].low);
    }
    if (c.outcome == vantrel::meter::MeasureOutcome::OutOfTolerance) {
        EXPECT_FALSE(r.readings.back().withinTolerance);
    }
    EXPECT_TRUE(r.eepromBeforeRead);
    for (std::size_t i = 0; i < out.eepromBefore.size() && i < 7; ++i)
        EXPECT_DOUBLE_EQ(r.eepromBefore[i], out.eepromBefore[i]) << "reference " << i;
    if (c.outcome == vantrel::meter::MeasureOutcome::Written) {
        EXPECT_EQ(r.writeCode, 0);
        ASSERT_EQ(r.written.size(), 7u);
        for (std::size_t i = 0; i < r.written.size(); ++i)
            EXPECT_DOUBLE_EQ(r.written[i], out.eepromAfter[i]) << "reference " << i;
        for (std::size_t i = 0; i < r.readings.size(); ++i)
            EXPECT_NEAR(r.written[i], r.readings[i].volts, 1e-6) << "reference " << i;
    } else {
        EXPECT_TRUE(r.written.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, MeasureResultOf, testing::ValuesIn(kOutcomeCases),
                         [](const testing::TestParamInfo<OutcomeCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
}  // namespace measuretest
