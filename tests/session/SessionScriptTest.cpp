// The session's command line: actions, values, options and the mistakes it refuses.
#include <gtest/gtest.h>

#include "SessionScript.h"
#include "afx/afxtypes.h"

namespace {

using vantrel::session::ActionKind;
using vantrel::session::ParseArguments;

vantrel::session::Script ParseOk(const std::vector<std::string>& args) {
    std::string error;
    auto script = ParseArguments(args, error);
    EXPECT_TRUE(script.has_value()) << "refused: " << error;
    return script.value_or(vantrel::session::Script{});
}

std::string ParseError(const std::vector<std::string>& args) {
    std::string error;
    auto script = ParseArguments(args, error);
    EXPECT_FALSE(script.has_value()) << "accepted what should be refused";
    return error;
}

TEST(SessionScript, ButtonActionsKeepTheirOrder) {
    const auto script =
        ParseOk({"init", "interrupt", "measure", "eeprom", "registers", "sample", "savelog", "free", "quit"});
    const std::vector<ActionKind> expected = {
        ActionKind::Initialize, ActionKind::InterruptTest, ActionKind::Measure,
        ActionKind::ViewEeprom, ActionKind::DumpRegisters, ActionKind::Sample,
        ActionKind::SaveLog,    ActionKind::Free,          ActionKind::Quit};
    ASSERT_EQ(script.actions.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(script.actions[i].kind, expected[i]) << "action " << i << " " << script.actions[i].word;
    EXPECT_EQ(script.actions[2].measure, vantrel::session::MeasureChoice::Use);
    EXPECT_EQ(script.colour, vantrel::session::ColourMode::Auto);
}

TEST(SessionScript, MeasureChoicesAndMeters) {
    struct Row {
        const char* word;
        vantrel::session::MeasureChoice choice;
    };
    for (const Row& row : {Row{"measure=use", vantrel::session::MeasureChoice::Use},
                           Row{"measure=keep", vantrel::session::MeasureChoice::Keep},
                           Row{"measure=cancel", vantrel::session::MeasureChoice::Cancel}}) {
        const auto script = ParseOk({row.word});
        ASSERT_EQ(script.actions.size(), 1u);
        EXPECT_EQ(script.actions[0].measure, row.choice) << row.word;
    }
    const auto meters = ParseOk({"meter=fluke45", "meter=hp34401a", "meter=none"});
    ASSERT_EQ(meters.actions.size(), 3u);
    EXPECT_EQ(meters.actions[0].meter, vantrel::session::MeterChoice::Fluke45);
    EXPECT_EQ(meters.actions[1].meter, vantrel::session::MeterChoice::Hp34401a);
    EXPECT_EQ(meters.actions[2].meter, vantrel::session::MeterChoice::None);
}

TEST(SessionScript, ValuesKeepEmptyItemsInTheirPlace) {
    const auto script = ParseOk({"values=4.9,,1.25,0.6,"});
    ASSERT_EQ(script.actions.size(), 1u);
    EXPECT_EQ(script.actions[0].kind, ActionKind::Values);
    EXPECT_EQ(script.actions[0].values, (std::vector<std::string>{"4.9", "", "1.25", "0.6", ""}));
}

TEST(SessionScript, SettingsAndPictures) {
    const auto script = ParseOk({"board=Harlun", "base=2a0", "irq=5", "answer=cancel", "shot=docs/a.png",
                                 "measure-shot=b.png", "--color=never"});
    ASSERT_EQ(script.actions.size(), 6u);
    EXPECT_EQ(script.actions[0].text, "Harlun");
    EXPECT_EQ(script.actions[1].text, "2a0");
    EXPECT_EQ(script.actions[2].text, "5");
    EXPECT_EQ(script.actions[3].answer, IDCANCEL);
    EXPECT_EQ(script.actions[4].kind, ActionKind::Screenshot);
    EXPECT_EQ(script.actions[4].text, "docs/a.png");
    EXPECT_EQ(script.actions[5].kind, ActionKind::MeasureScreenshot);
    EXPECT_EQ(script.colour, vantrel::session::ColourMode::Never);
    EXPECT_EQ(ParseOk({"--color", "init"}).colour, vantrel::session::ColourMode::Always);
    // A serial number is data: everything after the first '=' is kept as given.
    const auto serial = ParseOk({"serial=SN=1, 'x' --y"});
    EXPECT_EQ(serial.actions[0].kind, ActionKind::Serial);
    EXPECT_EQ(serial.actions[0].text, "SN=1, 'x' --y");
}

TEST(SessionScript, HelpNeedsNoActions) {
    const auto script = ParseOk({"--help"});
    EXPECT_TRUE(script.help);
    EXPECT_NE(vantrel::session::UsageText().find("measure[=use|keep|cancel]"), std::string::npos);
}

TEST(SessionScript, MistakesAreRefusedWithTheirReason) {
    struct Row {
        std::vector<std::string> args;
        const char* reason;
    };
    const Row rows[] = {
        {{}, "no actions given"},
        {{"initialise"}, "unknown action initialise"},
        {{"init=1"}, "takes no value"},
        {{"measure=maybe"}, "use, keep or cancel"},
        {{"meter=fluke"}, "fluke45, hp34401a or none"},
        {{"meter"}, "needs a value"},
        {{"shot="}, "needs a value"},
        {{"serial="}, "needs a value"},
        {{"serial=SN=1\n--y"}, "control or invisible character"},
        {{"serial=SN-\xff"}, "not valid UTF-8"},
        {{"values=1,2,3,4,5,6"}, "at most five"},
        {{"base=30g"}, "hexadecimal"},
        {{"irq=-5"}, "decimal"},
        {{"answer=later"}, "answer takes"},
        {{"--colour"}, "unknown option"},
        {{"--color=sometimes", "init"}, "auto, always or never"},
        {{"quit", "init"}, "nothing can follow quit"},
        {{"close", "savelog"}, "nothing can follow close"},
    };
    for (const Row& row : rows) {
        const std::string error = ParseError(row.args);
        EXPECT_NE(error.find(row.reason), std::string::npos)
            << "expected a reason with \"" << row.reason << "\", got \"" << error << "\"";
    }
}

TEST(SessionScript, BoxAnswersFallBackToTheBoxsOwnButtons) {
    struct Row {
        unsigned type;
        int wanted;
        int answer;
    };
    const Row rows[] = {
        {MB_OK, IDCANCEL, IDOK},
        {MB_OK | MB_ICONSTOP, IDOK, IDOK},
        {MB_OKCANCEL, IDCANCEL, IDCANCEL},
        {MB_OKCANCEL, IDYES, IDOK},
        {MB_YESNO, IDNO, IDNO},
        {MB_YESNO, IDOK, IDYES},
        {MB_YESNOCANCEL, IDCANCEL, IDCANCEL},
        {MB_RETRYCANCEL, IDOK, IDRETRY},
        {MB_ABORTRETRYIGNORE, IDIGNORE, IDIGNORE},
        {MB_ABORTRETRYIGNORE, IDOK, IDABORT},
    };
    for (const Row& row : rows)
        EXPECT_EQ(vantrel::session::AnswerForBox(row.type, row.wanted), row.answer)
            << "box type " << row.type << ", wanted " << vantrel::session::ButtonName(row.wanted);
    EXPECT_EQ(vantrel::session::ButtonIdFromName("retry"), IDRETRY);
    EXPECT_FALSE(vantrel::session::ButtonIdFromName("OK").has_value());
    EXPECT_STREQ(vantrel::session::ButtonName(IDNO), "No");
}

}  // namespace

namespace {

// The reference meter's serial number and the answer to the box about a meter the register
// refuses: refusing is the default, so only the word "use" may turn it into a Yes.
TEST(SessionScript, ReferenceMeterSerialAndAnswer) {
    const auto script =
        ParseOk({"meter_serial=FL-45 #7", "uncalibrated_meter=use", "uncalibrated_meter=refuse"});
    ASSERT_EQ(script.actions.size(), 3u);
    EXPECT_EQ(script.actions[0].kind, ActionKind::MeterSerial);
    EXPECT_EQ(script.actions[0].text, "FL-45 #7");
    EXPECT_EQ(script.actions[1].kind, ActionKind::UncalibratedMeter);
    EXPECT_TRUE(script.actions[1].useUncalibrated);
    EXPECT_FALSE(script.actions[2].useUncalibrated);
    struct Row {
        const char* word;
        const char* errorPart;
    };
    for (const Row& row :
         {Row{"uncalibrated_meter=yes", "use or refuse"}, Row{"uncalibrated_meter", "needs a value"},
          Row{"meter_serial= padded", "blank"}, Row{"meter_serial", "needs a value"}}) {
        const std::string error = ParseError({row.word});
        EXPECT_NE(error.find(row.errorPart), std::string::npos) << row.word << ": " << error;
    }
}

}  // namespace
