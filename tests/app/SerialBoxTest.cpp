// The serial-number box at Initialize Board: OK initializes the board under the number typed;
// Cancel, Esc and the close box abort the press, so the board stays as it was, with no
// driver call and no record.
#include "DialogFixture.h"
#include "board/RunContext.h"

#include <sqlite3.h>

#include <fstream>

namespace apptest {
namespace {

// The serial numbers of the bench's records, in order; none when there is no database.
std::vector<std::string> RecordedSerials(const std::filesystem::path& folder) {
    std::vector<std::string> serials;
    const std::filesystem::path db = folder / "vantrel-records.db";
    if (!std::filesystem::exists(db)) return serials;
    sqlite3* handle = nullptr;
    if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(handle, "SELECT action, serial_number FROM records ORDER BY seq", -1,
                               &statement, nullptr) == SQLITE_OK)
            while (sqlite3_step(statement) == SQLITE_ROW)
                serials.push_back(
                    std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))) + " " +
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
        sqlite3_finalize(statement);
    }
    sqlite3_close(handle);
    return serials;
}

struct AnswerCase {
    const char* name;
    void (*answer)(vantrel::dialogdriver::DialogDriver& box);
    bool initializes;
};

std::ostream& operator<<(std::ostream& os, const AnswerCase& c) { return os << c.name; }

class SerialBox : public DialogFixture, public testing::WithParamInterface<AnswerCase> {};

TEST_P(SerialBox, OnlyOkInitializesTheBoard) {
    // The window's flag outlives the windows of earlier tests; a fresh window starts freed.
    boardInitialized = false;
    std::ofstream(Folder() / "vantrel-records.ini") << "[records]\nserial_prompt=true\n";
    vantrel::dialogdriver::NestedModalScript boxes;
    boxes.Queue([](vantrel::dialogdriver::DialogDriver& box) {
        box.SetText(1070, "SN-BOX-1");
        GetParam().answer(box);
    });
    Run([&](CMainTestDlg& dlg) {
        const std::string consoleBefore = ConsoleText(dlg);
        Click(dlg, IDC_INITIALIZE_BOARD);
        EXPECT_EQ(boxes.seen(), 1) << "the serial-number box did not open";
        const bool initialized = Text(dlg, IDC_INITIALIZE_BOARD) == "Free Board";
        EXPECT_EQ(initialized, GetParam().initializes) << "button reads " << Text(dlg, IDC_INITIALIZE_BOARD);
        if (!GetParam().initializes) {
            EXPECT_EQ(ConsoleText(dlg), consoleBefore) << "the aborted press wrote to the console";
        }
        dlg.SendMessage(WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(CountCalls("bqxInitBoard(0,base=768,irq=5)"), GetParam().initializes ? 1 : 0);
    const std::vector<std::string> expected =
        GetParam().initializes ? std::vector<std::string>{"initialize SN-BOX-1"} : std::vector<std::string>{};
    EXPECT_EQ(RecordedSerials(Folder()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SerialBox,
    testing::Values(
        AnswerCase{"Ok", [](vantrel::dialogdriver::DialogDriver& box) { box.Click(IDOK); }, true},
        AnswerCase{"Cancel", [](vantrel::dialogdriver::DialogDriver& box) { box.Click(IDCANCEL); }, false},
        AnswerCase{"Escape", [](vantrel::dialogdriver::DialogDriver& box) { box.PressKey(Qt::Key_Escape); },
                   false},
        AnswerCase{"CloseBox", [](vantrel::dialogdriver::DialogDriver& box) { box.Close(); }, false}),
    [](const testing::TestParamInfo<AnswerCase>& row) { return row.param.name; });

}  // namespace
}  // namespace apptest
