// "Vantrel.ini" at start-up, and the defaults a model choice fills in. The expected values
// come from the C library's own scanf run on the same bytes with the same patterns.
#include "DialogFixture.h"

#include "board/BoardTable.h"

#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace apptest {
namespace {

struct ScannedSettings {
    unsigned base = 0x300;
    unsigned interrupt = 7;
    int meter = 0;
    int boardType = 0;
};

ScannedSettings ScanWithCLibrary(const std::string& content) {
    ScannedSettings s;
    std::string bytes = content;
    std::FILE* in = fmemopen(bytes.data(), bytes.size() ? bytes.size() : 1, "rb");
    if (bytes.empty()) std::fgetc(in);  // an empty stream: nothing to read
    unsigned hex = 0;
    int dec = 0;
    if (std::fscanf(in, "BASEADD=%x\r\n", &hex) == 1) s.base = hex;
    if (std::fscanf(in, "INTERRUPT=%x\r\n", &hex) == 1) s.interrupt = hex;
    if (std::fscanf(in, "VOLTMETER=%d\r\n", &dec) == 1) s.meter = dec;
    if (std::fscanf(in, "BOARDTYPE=%d\r\n", &dec) == 1) s.boardType = dec;
    std::fclose(in);
    return s;
}

struct SettingsCase {
    const char* name;
    const char* content;
    // Readings a person would state for the case, checked besides the scanf comparison.
    const char* baseText;
    const char* interruptText;
    const char* model;  // "" for no selection
    int checkedRadio;   // 0 for none
};

std::ostream& operator<<(std::ostream& os, const SettingsCase& c) { return os << c.name; }

class SettingsFile : public DialogFixture, public testing::WithParamInterface<SettingsCase> {};

int CheckedRadio(CMainTestDlg& dlg) {
    int checked = 0;
    for (int id = IDC_FLUKE45; id <= IDC_METER_NONE; ++id)
        if (dlg.IsDlgButtonChecked(id)) checked = checked ? -1 : id;
    return checked;
}

std::string SelectedModel(CMainTestDlg& dlg) {
    const int row = apptest::Item<CComboBox>(dlg, IDC_BOARD_TYPE).GetCurSel();
    if (row == CB_ERR) return "";
    char text[64] = {};
    apptest::Item<CComboBox>(dlg, IDC_BOARD_TYPE).GetLBText(row, text);
    return text;
}

TEST_P(SettingsFile, FillsWindowAsScanfReadsIt) {
    const SettingsCase& c = GetParam();
    WriteSettings(c.content);
    const ScannedSettings scanned = ScanWithCLibrary(c.content);

    char expectedBase[32];
    char expectedInterrupt[32];
    std::snprintf(expectedBase, sizeof(expectedBase), "%X", scanned.base);
    std::snprintf(expectedInterrupt, sizeof(expectedInterrupt), "%d", static_cast<int>(scanned.interrupt));
    std::string expectedModel;
    if (const vantrel::board::BoardModel* model = vantrel::board::ModelOfTypeCode(scanned.boardType & 0xFF))
        expectedModel = model->name;
    const int expectedRadio = scanned.meter >= 0 && scanned.meter <= 2 ? IDC_FLUKE45 + scanned.meter : 0;

    Run([&](CMainTestDlg& dlg) {
        EXPECT_EQ(Text(dlg, IDC_BASE_ADDRESS), expectedBase);
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT), expectedInterrupt);
        EXPECT_EQ(SelectedModel(dlg), expectedModel);
        EXPECT_EQ(CheckedRadio(dlg), expectedRadio);
        EXPECT_EQ(CMainTestDlgAccess::BoardConfigOf(dlg).boardType,
                  static_cast<std::uint8_t>(scanned.boardType));

        EXPECT_EQ(Text(dlg, IDC_BASE_ADDRESS), c.baseText);
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT), c.interruptText);
        EXPECT_EQ(SelectedModel(dlg), c.model);
        EXPECT_EQ(CheckedRadio(dlg), c.checkedRadio);
        EXPECT_EQ(FocusId(dlg), IDC_BASE_ADDRESS);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFile,
    testing::Values(
        SettingsCase{"Empty", "", "300", "7", "Corvit", IDC_FLUKE45},
        SettingsCase{"CrLf", "BASEADD=2a0\r\nINTERRUPT=5\r\nVOLTMETER=1\r\nBOARDTYPE=20\r\n", "2A0", "5",
                     "Harlun", IDC_HP34401A},
        SettingsCase{"Lf", "BASEADD=2a0\nINTERRUPT=5\nVOLTMETER=1\nBOARDTYPE=20\n", "2A0", "5", "Harlun",
                     IDC_HP34401A},
        SettingsCase{"NoFinalLineEnd", "BASEADD=240\nINTERRUPT=5\nVOLTMETER=2\nBOARDTYPE=33", "240", "5",
                     "Tamsel", IDC_METER_NONE},
        SettingsCase{"HexPrefix", "BASEADD=0x2A0\nINTERRUPT=0x7\nVOLTMETER=0\nBOARDTYPE=34\n", "2A0", "7",
                     "Corvex", IDC_FLUKE45},
        SettingsCase{"OutOfOrder", "BOARDTYPE=20\nBASEADD=2a0\nINTERRUPT=5\nVOLTMETER=1\n", "300", "7",
                     "Corvit", IDC_FLUKE45},
        SettingsCase{"InterruptTenIsHex", "BASEADD=300\nINTERRUPT=10\n", "300", "16", "Corvit", IDC_FLUKE45},
        SettingsCase{"InterruptA", "BASEADD=300\nINTERRUPT=a\n", "300", "10", "Corvit", IDC_FLUKE45},
        SettingsCase{"BoardTypeLowByte", "BASEADD=300\nINTERRUPT=7\nVOLTMETER=0\nBOARDTYPE=283\n", "300", "7",
                     "Corvel", IDC_FLUKE45},
        SettingsCase{"UnknownBoardType", "BASEADD=300\nINTERRUPT=7\nVOLTMETER=0\nBOARDTYPE=99\n", "300", "7",
                     "", IDC_FLUKE45},
        SettingsCase{"VoltmeterOutOfGroup", "BASEADD=300\nINTERRUPT=7\nVOLTMETER=3\nBOARDTYPE=27\n", "300",
                     "7", "Corvel", 0},
        SettingsCase{"VoltmeterNegative", "BASEADD=300\nINTERRUPT=7\nVOLTMETER=-1\nBOARDTYPE=27\n", "300",
                     "7", "Corvel", 0},
        SettingsCase{"VoltmeterHuge", "BASEADD=300\nINTERRUPT=7\nVOLTMETER=2147483647\nBOARDTYPE=27\n", "300",
                     "7", "Corvel", 0},
        SettingsCase{"MisspeltMiddleLine", "BASEADD=280\nINTERUPT=5\nVOLTMETER=1\nBOARDTYPE=33\n", "280", "7",
                     "Corvit", IDC_FLUKE45}),
    [](const testing::TestParamInfo<SettingsCase>& p) { return std::string(p.param.name); });

class NoSettingsFile : public DialogFixture {};

TEST_F(NoSettingsFile, ShowsNoFileDefaultsAndNoModel) {
    Run([&](CMainTestDlg& dlg) {
        EXPECT_EQ(Text(dlg, IDC_BASE_ADDRESS), "300");
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT), "5");
        EXPECT_EQ(apptest::Item<CComboBox>(dlg, IDC_BOARD_TYPE).GetCurSel(), CB_ERR);
        EXPECT_EQ(CheckedRadio(dlg), IDC_FLUKE45);
    });
}

// A folder or a FIFO named like the settings file is no settings file: the start-up neither
// blocks nor reads it.
class SettingsFileNotRegular : public DialogFixture, public testing::WithParamInterface<bool> {};

TEST_P(SettingsFileNotRegular, ShowsNoFileDefaults) {
    if (GetParam())
        ASSERT_EQ(::mkfifo("Vantrel.ini", 0644), 0);
    else
        ASSERT_EQ(::mkdir("Vantrel.ini", 0755), 0);
    Run([&](CMainTestDlg& dlg) {
        EXPECT_EQ(Text(dlg, IDC_BASE_ADDRESS), "300");
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT), "5");
    });
}

INSTANTIATE_TEST_SUITE_P(FolderAndFifo, SettingsFileNotRegular, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& p) {
                             return std::string(p.param ? "Fifo" : "Folder");
                         });

struct ModelCase {
    int row;
    const char* base;
    const char* interrupt;
};

class ModelChoice : public DialogFixture, public testing::WithParamInterface<ModelCase> {};

TEST_P(ModelChoice, FillsDefaultsOfTheModel) {
    Run([&](CMainTestDlg& dlg) {
        apptest::Item<CEdit>(dlg, IDC_BASE_ADDRESS).SetWindowText("123");
        apptest::Item<CEdit>(dlg, IDC_INTERRUPT).SetWindowText("9");
        ChooseRow(dlg, GetParam().row);
        EXPECT_EQ(Text(dlg, IDC_BASE_ADDRESS), GetParam().base);
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT), GetParam().interrupt);
        EXPECT_EQ(CMainTestDlgAccess::BoardConfigOf(dlg).boardType, 0)
            << "the choice must not change the record";
    });
}

INSTANTIATE_TEST_SUITE_P(Rows, ModelChoice,
                         testing::Values(ModelCase{2, "280", "5"}, ModelCase{1, "300", "7"},
                                         ModelCase{3, "240", "5"}, ModelCase{8, "300", "7"}),
                         [](const testing::TestParamInfo<ModelCase>& p) {
                             return std::string(vantrel::board::kBoardModels[p.param.row].name);
                         });

// The list's rows come from the dialog template; the board table describes the same models
// in the same order.
TEST_F(NoSettingsFile, BoardListRowsAreTheBoardTableRows) {
    Run([&](CMainTestDlg& dlg) {
        auto* list = dynamic_cast<CComboBox*>(dlg.GetDlgItem(IDC_BOARD_TYPE));
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->GetCount(), vantrel::board::kBoardModelCount);
        for (int row = 0; row < vantrel::board::kBoardModelCount; ++row) {
            char text[64] = {};
            list->GetLBText(row, text);
            EXPECT_STREQ(text, vantrel::board::kBoardModels[row].name) << "row " << row;
        }
    });
}

TEST_F(NoSettingsFile, TypingInTheListTextLeavesTheBoxes) {
    Run([&](CMainTestDlg& dlg) {
        QWidget* list = Control(dlg, IDC_BOARD_TYPE);
        ASSERT_NE(list, nullptr);
        list->setFocus();
        QTest::keyClicks(list, "Tam");
        EXPECT_EQ(Text(dlg, IDC_BASE_ADDRESS), "300");
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT), "5");
    });
}

}  // namespace
}  // namespace apptest
