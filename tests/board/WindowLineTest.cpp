// The window with recording on and a line database: the forwarder's thread delivers each
// action's record while the window and the driver's scan thread go on, and the line's copies
// equal the bench's. Run under ThreadSanitizer too (label "threads").
#include "BoardDialogFixture.h"
#include "LineServerFixture.h"

#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace boardtest {
namespace {

// Far above what a pass takes: only a forwarder that never delivers reaches it.
constexpr auto kDeliveryBound = std::chrono::seconds(60);

// One line per record, ordered by id: what an action's record says and its interrupt figures.
constexpr const char* kBenchRows =
    "SELECT r.id || '|' || r.action || '|' || r.serial_number || '|' || r.verdict || '|' || r.passed || '|' "
    "|| "
    "coalesce(f.rate_hz || '|' || f.expected_ms || '|' || f.measured_ms || '|' || f.overflows || '|' || "
    "f.error_count || '|' || f.timeout_tolerance_ms || '|' || f.time_tolerance_ms || '|' || "
    "f.ad_tolerance_lsb, '-') FROM records r LEFT JOIN interrupt_figures f ON f.record_seq = r.seq "
    "ORDER BY r.id";
constexpr const char* kLineRows =
    "SELECT r.id || '|' || r.action || '|' || r.serial_number || '|' || r.verdict || '|' || r.passed::int || "
    "'|' || coalesce(f.rate_hz || '|' || f.expected_ms || '|' || f.measured_ms || '|' || f.overflows || '|' "
    "|| "
    "f.error_count || '|' || f.timeout_tolerance_ms || '|' || f.time_tolerance_ms || '|' || "
    "f.ad_tolerance_lsb, '-') FROM vantrel_records r LEFT JOIN vantrel_interrupt_figures f "
    "ON f.record_id = r.id ORDER BY r.id::text";

std::string BenchRows(const std::filesystem::path& db) {
    std::string rows;
    sqlite3* handle = nullptr;
    if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(handle, kBenchRows, -1, &statement, nullptr) == SQLITE_OK)
            while (sqlite3_step(statement) == SQLITE_ROW)
                rows += std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))) + "\n";
        sqlite3_finalize(statement);
    }
    sqlite3_close(handle);
    return rows;
}

int CountLines(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

class WindowLine : public recordstest::LineServerFixture<BoardDialogFixture> {
protected:
    void SetUp() override {
        LineServerFixture::SetUp();
        if (HasFatalFailure()) return;
        std::ofstream(Folder() / "vantrel-records.ini") << "[records]\npostgres=" << BenchConninfo() << "\n";
    }
    static std::string LineRows() {
        const std::string rows = Server().Psql(kLineRows);
        return rows.empty() || rows.back() == '\n' ? rows : rows + "\n";
    }
    // Waits, without a tight bound, until the line holds `count` records.
    static bool LineReaches(int count) {
        const auto until = std::chrono::steady_clock::now() + kDeliveryBound;
        while (std::chrono::steady_clock::now() < until) {
            if (CountLines(LineRows()) >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
};

TEST_F(WindowLine, EachActionReachesTheLineWhileTheWindowRuns) {
    WriteBench();
    WriteRate("20000\n");
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        Initialize(dlg);
        // The first record travels while the scan thread of the next action runs.
        Click(dlg, IDC_INTERRUPT_TEST);
        EXPECT_EQ(Text(dlg, IDC_INTERRUPT_STATUS), "SUCCESS") << ConsoleText(dlg);
        Click(dlg, IDC_INTERRUPT_TEST);
        EXPECT_TRUE(LineReaches(3)) << "the line holds:\n" << LineRows();
        Click(dlg, IDC_INITIALIZE_BOARD);  // frees the board
        EXPECT_TRUE(LineReaches(4)) << "the line holds:\n" << LineRows();
        dlg.SendMessage(WM_CLOSE, 0, 0);
    });
    const std::string bench = BenchRows(Folder() / "vantrel-records.db");
    EXPECT_EQ(CountLines(bench), 4) << bench;
    EXPECT_EQ(LineRows(), bench);
}

}  // namespace
}  // namespace boardtest
