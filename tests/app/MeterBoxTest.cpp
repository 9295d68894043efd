// The "Reference Meter" box before Measure References: with a register configured, a meter that
// cannot be relied on is named in a Yes/No box whose default is No; No ends the press with no
// driver call, no console text and no record. A meter in calibration, typed references and a
// bench without a register are not asked.
#include "DialogFixture.h"

#include <sqlite3.h>

#include <fstream>

namespace apptest {
namespace {

constexpr const char* kMeterBoxCaption = "Reference Meter";

std::string Meter(const std::string& serial, const std::string& model, const std::string& due) {
    return "[meter " + serial + "]\nmodel = " + model + "\nasset_tag = TAG-" + serial +
           "\ncertificate = CERT-" + serial + "\ncertificate_date = 2020-01-01\nlab = Lab\ndue = " + due +
           "\ndcv 10 = 0.025% + 6 counts\ndcv 10 resolution = 0.0001\ndcv 10 full_scale = 9.9999\n";
}

// Three meters: one good for centuries, one long overdue, one of the other model.
std::string Register() {
    return Meter("GOOD", "Fluke 45", "2999-12-31") + Meter("OLD", "Fluke 45", "2021-01-01") +
           Meter("HP", "HP 34401A", "2999-12-31");
}

std::int64_t MeasureRecords(const std::filesystem::path& folder) {
    const std::filesystem::path db = folder / "vantrel-records.db";
    if (!std::filesystem::exists(db)) return 0;
    sqlite3* handle = nullptr;
    std::int64_t count = -1;
    if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(handle, "SELECT count(*) FROM records WHERE action = 'measure'", -1,
                               &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            count = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(handle);
    return count;
}

struct RefusedCase {
    const char* name;
    const char* settings;  // the [metrology] group's lines
    int meterButton;
    const char* reasonPart;  // what the box must say of the meter
};

std::ostream& operator<<(std::ostream& os, const RefusedCase& c) { return os << c.name; }

class MeterBoxNo : public DialogFixture, public testing::WithParamInterface<RefusedCase> {};

TEST_P(MeterBoxNo, AsksYesNoWithNoAsDefaultAndNoEndsThePressUntouched) {
    const RefusedCase& c = GetParam();
    // The window's flag outlives the windows of earlier tests; a fresh window starts freed.
    boardInitialized = false;
    std::ofstream(Folder() / "instruments.ini") << Register();
    std::ofstream(Folder() / "vantrel-records.ini") << "[metrology]\ninstruments=instruments.ini\n"
                                                    << c.settings;
    vantrel::dialogdriver::MessageBoxScript boxes;
    boxes.Queue(IDNO);
    Run([&](CMainTestDlg& dlg) {
        Click(dlg, IDC_INITIALIZE_BOARD);
        Click(dlg, c.meterButton);
        const std::string consoleBefore = ConsoleText(dlg);
        const std::vector<std::string> callsBefore = CallLog();
        Click(dlg, IDC_MEASURE_REFERENCES);
        EXPECT_EQ(ConsoleText(dlg), consoleBefore) << "the refused press wrote to the console";
        EXPECT_EQ(CallLog(), callsBefore) << "the refused press called the driver";
    });
    ASSERT_FALSE(boxes.records().empty()) << "no box was asked";
    const MessageBoxRecord& box = boxes.records().front();
    EXPECT_EQ(box.caption, kMeterBoxCaption);
    EXPECT_EQ(box.type & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(box.type & MB_DEFMASK, static_cast<UINT>(MB_DEFBUTTON2)) << "Yes must not be the default";
    EXPECT_NE(box.text.find(c.reasonPart), std::string::npos) << box.text;
    for (const auto& other : boxes.records())
        EXPECT_NE(other.caption, "Instructions") << "the flow started after No";
    EXPECT_EQ(MeasureRecords(Folder()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Meters, MeterBoxNo,
    testing::Values(RefusedCase{"Overdue", "meter_serial=OLD\n", IDC_FLUKE45, "was due on 2021-01-01"},
                    RefusedCase{"NotRegistered", "meter_serial=NOBODY\n", IDC_FLUKE45,
                                "\"NOBODY\" is not in the register"},
                    RefusedCase{"OtherModel", "meter_serial=HP\n", IDC_FLUKE45,
                                "is a HP 34401A, not the Fluke 45"},
                    RefusedCase{"NoneNamed", "", IDC_HP34401A, "does not say which meter"},
                    RefusedCase{"UnreadableSettings", "meter_serial=GOOD\ndecision_rule=coin toss\n",
                                IDC_FLUKE45, "settings cannot be read"}),
    [](const testing::TestParamInfo<RefusedCase>& row) { return row.param.name; });

TEST_F(MeterBoxNo, AnUnreadableRegisterIsAskedAbout) {
    boardInitialized = false;
    std::ofstream(Folder() / "instruments.ini") << "[meter X]\nmodel = Fluke 45\n";
    std::ofstream(Folder() / "vantrel-records.ini")
        << "[metrology]\ninstruments=instruments.ini\nmeter_serial=X\n";
    vantrel::dialogdriver::MessageBoxScript boxes;
    boxes.Queue(IDNO);
    Run([&](CMainTestDlg& dlg) {
        Click(dlg, IDC_INITIALIZE_BOARD);
        Click(dlg, IDC_FLUKE45);
        Click(dlg, IDC_MEASURE_REFERENCES);
    });
    ASSERT_FALSE(boxes.records().empty());
    EXPECT_EQ(boxes.records().front().caption, kMeterBoxCaption);
    EXPECT_NE(boxes.records().front().text.find("register of reference meters cannot be read"),
              std::string::npos)
        << boxes.records().front().text;
    EXPECT_EQ(MeasureRecords(Folder()), 0);
}

// The press goes on to the specified flow at once: its first box is the instructions (typed
// references have none, so their window opens at once and is cancelled here).
struct NotAskedCase {
    const char* name;
    const char* settings;
    int meterButton;
};

std::ostream& operator<<(std::ostream& os, const NotAskedCase& c) { return os << c.name; }

class MeterBoxNotAsked : public DialogFixture, public testing::WithParamInterface<NotAskedCase> {};

TEST_P(MeterBoxNotAsked, TheFlowStartsWithoutTheBox) {
    const NotAskedCase& c = GetParam();
    boardInitialized = false;
    std::ofstream(Folder() / "instruments.ini") << Register();
    if (*c.settings) std::ofstream(Folder() / "vantrel-records.ini") << c.settings;
    vantrel::dialogdriver::MessageBoxScript boxes;
    vantrel::dialogdriver::NestedModalScript windows;
    windows.Queue([](vantrel::dialogdriver::DialogDriver& measure) { measure.Click(IDCANCEL); });
    Run([&](CMainTestDlg& dlg) {
        Click(dlg, IDC_INITIALIZE_BOARD);
        Click(dlg, c.meterButton);
        Click(dlg, IDC_MEASURE_REFERENCES);
    });
    for (const auto& box : boxes.records()) EXPECT_NE(box.caption, kMeterBoxCaption) << box.text;
    EXPECT_EQ(windows.seen(), 1) << "the Measure References window did not open";
}

INSTANTIATE_TEST_SUITE_P(
    Meters, MeterBoxNotAsked,
    testing::Values(NotAskedCase{"InCalibration",
                                 "[metrology]\ninstruments=instruments.ini\nmeter_serial=GOOD\n",
                                 IDC_FLUKE45},
                    NotAskedCase{"TypedReferences",
                                 "[metrology]\ninstruments=instruments.ini\nmeter_serial=OLD\n",
                                 IDC_METER_NONE},
                    NotAskedCase{"NoRegister", "[metrology]\nmeter_serial=OLD\n", IDC_FLUKE45},
                    NotAskedCase{"NoSettings", "", IDC_FLUKE45}),
    [](const testing::TestParamInfo<NotAskedCase>& row) { return row.param.name; });

}  // namespace
}  // namespace apptest
