// A record survives what a bench does to it: a killed process, a read-only or full disk.
#include "RecorderTestAccess.h"
#include "RecordsTestSupport.h"

#include "records/RecordJson.h"
#include "records/RecordStore.h"
#include "records/Recorder.h"
#include "records/RecordsSettings.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

using namespace vantrel::records;
using namespace recordstest;

namespace {

// A tiny tmpfs of the test's own; needs the right to mount (root on the bench and in CI).
class TinyDisk {
public:
    explicit TinyDisk(const std::string& options) {
        m_ok = ::mount("tmpfs", m_dir.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~TinyDisk() {
        if (m_ok) ::umount2(m_dir.path().c_str(), MNT_DETACH);
    }
    bool ok() const { return m_ok; }
    std::string path() const { return m_dir.path(); }
    bool Remount(unsigned long flags, const std::string& options) {
        return ::mount("tmpfs", m_dir.path().c_str(), "tmpfs", MS_REMOUNT | flags, options.c_str()) == 0;
    }

private:
    TempDir m_dir;
    bool m_ok = false;
};

// Fills the disk with one file until a write fails.
void Fill(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const std::string block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), file) == block.size() && std::fflush(file) == 0) {}
    std::fclose(file);
}

}  // namespace

TEST(RecordRobustness, KilledDuringWritesLeavesEveryEarlierRecord) {
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    { RecordStore create(path); }
    int ids[2];
    ASSERT_EQ(pipe(ids), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writes records as fast as it can and reports each id once its write has returned.
        close(ids[0]);
        alarm(60);
        RecordStore store(path);
        for (int i = 0; i < 20000; ++i) {
            auto r = SampleRecord(ActionKind::MeasureReferences, "SN-KILL");
            r.consoleText.assign(20000, 'c');
            store.Write(r);
            const std::string line = r.id + "\n";
            if (write(ids[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(1);
        }
        _exit(0);
    }
    close(ids[1]);
    std::set<std::string> confirmed;
    std::string buffer;
    char chunk[4096];
    while (confirmed.size() < 40) {
        const ssize_t n = read(ids[0], chunk, sizeof chunk);
        ASSERT_GT(n, 0);
        buffer.append(chunk, static_cast<std::size_t>(n));
        for (auto end = buffer.find('\n'); end != std::string::npos; end = buffer.find('\n')) {
            confirmed.insert(buffer.substr(0, end));
            buffer.erase(0, end + 1);
        }
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ids[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    RecordStore store(path);
    for (const auto& id : confirmed) EXPECT_TRUE(store.Find(id)) << id;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);
}

TEST(RecordRobustness, FullDiskIsReportedOnceAndNothingIsLost) {
    TinyDisk disk("size=1m");
    if (!disk.ok()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    TempDir elsewhere;
    const RecorderSettings settings{
        disk.path() + "/" + kDatabaseFileName, elsewhere / "pending", std::nullopt, {}, {}};
    std::vector<ActionRecord> records;
    for (int i = 0; i < 4; ++i)
        records.push_back(SampleRecord(ActionKind::InterruptTest, "SN-FULL-" + std::to_string(i)));
    for (auto& r : records) r.consoleText.assign(30000, 'c');
    {
        Recorder recorder(settings);
        ASSERT_TRUE(recorder.Record(records[0]));
        EXPECT_EQ(recorder.TakeOperatorNotice(), "");
        Fill(disk.path() + "/filler");

        EXPECT_FALSE(recorder.Record(records[1]));
        const std::string notice = recorder.TakeOperatorNotice();
        EXPECT_NE(notice.find(elsewhere / "pending"), std::string::npos) << notice;
        EXPECT_NE(notice.find(settings.databasePath), std::string::npos) << notice;
        EXPECT_FALSE(recorder.Record(records[2]));
        EXPECT_EQ(recorder.TakeOperatorNotice(), "") << "told twice";
        EXPECT_EQ(RecorderTestAccess::PendingCountOf(recorder), 2u);
        EXPECT_TRUE(std::filesystem::exists(elsewhere / "pending/" + records[1].id + ".json"));

        std::filesystem::remove(disk.path() + "/filler");
        EXPECT_TRUE(recorder.Record(records[3]));
        EXPECT_EQ(RecorderTestAccess::PendingCountOf(recorder), 0u);
        EXPECT_TRUE(std::filesystem::is_empty(elsewhere / "pending"));
    }
    const RecordStore store(settings.databasePath, RecordStore::OpenMode::ReadOnly);
    for (const auto& r : records) EXPECT_EQ(store.Find(r.id), r) << r.board.serialNumber;
    const auto stored = store.List({});
    ASSERT_EQ(stored.size(), 4u);
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(stored[i].board.serialNumber, records[i].board.serialNumber);
}

TEST(RecordRobustness, ReadOnlyDiskKeepsRecordsUntilTheNextStart) {
    TinyDisk disk("size=4m");
    if (!disk.ok()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    ASSERT_TRUE(disk.Remount(MS_RDONLY, "size=4m"));
    TempDir elsewhere;
    const RecorderSettings settings{
        disk.path() + "/" + kDatabaseFileName, elsewhere / "pending", std::nullopt, {}, {}};
    const auto first = SampleRecord(ActionKind::InitializeBoard, "SN-RO-1");
    const auto second = SampleRecord(ActionKind::FreeBoard, "SN-RO-1");
    {
        Recorder recorder(settings);
        EXPECT_FALSE(recorder.Record(first));
        EXPECT_FALSE(recorder.Record(second));
        const std::string notice = recorder.TakeOperatorNotice();
        EXPECT_NE(notice.find("waits in the folder"), std::string::npos) << notice;
        EXPECT_EQ(recorder.TakeOperatorNotice(), "");
    }
    // The program closed while the disk was read-only; the next start finds the records waiting.
    ASSERT_TRUE(disk.Remount(0, "size=4m"));
    {
        Recorder recorder(settings);
        EXPECT_EQ(RecorderTestAccess::PendingCountOf(recorder), 0u);
        EXPECT_EQ(recorder.TakeOperatorNotice(), "");
    }
    const RecordStore store(settings.databasePath, RecordStore::OpenMode::ReadOnly);
    EXPECT_EQ(store.Find(first.id), first);
    EXPECT_EQ(store.Find(second.id), second);
}

TEST(RecordRobustness, WithNoPendingFolderRecordsWaitInMemory) {
    TempDir dir;
    WriteFile(dir / "not-a-folder", "x");
    // The database path lies below a plain file, so it can never be created.
    const RecorderSettings settings{
        dir / "not-a-folder/records.db", dir / "not-a-folder/pending", std::nullopt, {}, {}};
    Recorder recorder(settings);
    EXPECT_FALSE(recorder.Record(SampleRecord(ActionKind::Sample, "SN-MEM")));
    const std::string notice = recorder.TakeOperatorNotice();
    EXPECT_NE(notice.find("memory"), std::string::npos) << notice;
    EXPECT_EQ(RecorderTestAccess::PendingCountOf(recorder), 1u);
}

TEST(RecordRobustness, APendingFileTheDatabaseRefusesIsMovedAsideAndTheRestIsSaved) {
    TempDir dir;
    const std::string pending = dir / "pending";
    std::filesystem::create_directories(pending);
    // Files that can never be stored: two channels numbered 0, text that is no JSON, a record
    // with a field missing. Each sorts before the good ones and so would be tried first.
    auto twice = SampleRecord(ActionKind::MeasureReferences, "SN-TWICE", "2026-12-07T08:00:00.000Z");
    twice.channels[1].channel = 0;
    const struct {
        std::string file;
        std::string text;
    } bad[] = {
        {"0-two-channels-0.json", RecordToJson(twice)},
        {"0-not-json.json", "{\"id\": \"cut here"},
        {"0-no-board.json", R"({"id":"x","action":"free"})"},
    };
    for (const auto& file : bad) WriteFile(pending + "/" + file.file, file.text);
    std::vector<ActionRecord> good;
    for (int i = 0; i < 6; ++i) {
        good.push_back(SampleRecord(ActionKind::FreeBoard, "SN-AFTER",
                                    "2026-12-07T09:00:0" + std::to_string(i) + ".000Z"));
        WriteFile(pending + "/" + good.back().id + ".json", RecordToJson(good.back()));
    }
    const RecorderSettings settings{dir / kDatabaseFileName, pending, std::nullopt, {}, {}};
    {
        Recorder recorder(settings);
        EXPECT_EQ(RecorderTestAccess::PendingCountOf(recorder), 0u);
        const std::string notice = recorder.TakeOperatorNotice();
        EXPECT_NE(notice.find("moved to " + pending + "/rejected"), std::string::npos) << notice;
        EXPECT_EQ(notice.find("nothing is lost"), std::string::npos) << notice;
        EXPECT_TRUE(recorder.Record(SampleRecord(ActionKind::Sample, "SN-AFTER")));
        EXPECT_EQ(recorder.TakeOperatorNotice(), "") << "told twice";
    }
    const RecordStore store(settings.databasePath, RecordStore::OpenMode::ReadOnly);
    for (const auto& record : good) EXPECT_EQ(store.Find(record.id), record);
    EXPECT_FALSE(store.Find(twice.id));
    for (const auto& file : bad) {
        EXPECT_FALSE(std::filesystem::exists(pending + "/" + file.file)) << file.file;
        EXPECT_EQ(ReadFile(pending + "/rejected/" + file.file), file.text) << file.file;
        EXPECT_NE(ReadFile(pending + "/rejected/" + file.file + kReasonSuffix), "") << file.file;
    }
    // status lists each refused file with its reason.
    WriteFile(dir / kSettingsFileName, "[records]\npending_folder=" + pending + "\n");
    const auto status =
        RunShell("XDG_STATE_HOME=" + ShellQuoted(dir / "state") + " \"$VANTREL_RECORDS_PROGRAM\" --db " +
                 ShellQuoted(settings.databasePath) + " status");
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_NE(status.out.find("Pending files refused by the bench's database: 3"), std::string::npos)
        << status.out;
    for (const auto& file : bad)
        EXPECT_NE(status.out.find("  " + file.file + ": "), std::string::npos) << status.out;
}

TEST(RecordRobustness, ABenchSavesOnlyItsOwnWaitingRecords) {
    TempDir dir;
    const std::string pending = dir / "pending";
    auto mine = SampleRecord(ActionKind::FreeBoard, "SN-MINE");
    mine.bench.folder = dir / "bench-a";
    auto theirs = SampleRecord(ActionKind::FreeBoard, "SN-THEIRS");
    theirs.bench.folder = dir / "bench-b";
    std::filesystem::create_directories(pending);
    WriteFile(pending + "/" + mine.id + ".json", RecordToJson(mine));
    WriteFile(pending + "/" + theirs.id + ".json", RecordToJson(theirs));
    const RecorderSettings settings{dir / "a.db", dir / "own-pending", std::nullopt, dir / "bench-a",
                                    pending};
    { Recorder recorder(settings); }
    const RecordStore store(settings.databasePath, RecordStore::OpenMode::ReadOnly);
    EXPECT_EQ(store.Find(mine.id), mine);
    EXPECT_FALSE(store.Find(theirs.id)) << "another bench's record was saved here";
    EXPECT_TRUE(std::filesystem::exists(pending + "/" + theirs.id + ".json"))
        << "another bench's record is gone";
    EXPECT_FALSE(std::filesystem::exists(pending + "/" + mine.id + ".json"));
}

TEST(RecordRobustness, RecordsHeldOnlyInMemoryAreCountedUntilSaved) {
    TempDir dir;
    WriteFile(dir / "not-a-folder", "x");
    RecorderSettings settings{
        dir / "not-a-folder/records.db", dir / "not-a-folder/pending", std::nullopt, {}, {}};
    Recorder recorder(settings);
    for (int i = 0; i < 3; ++i) recorder.Record(SampleRecord(ActionKind::Sample, "SN-MEM"));
    EXPECT_EQ(recorder.MemoryOnlyCount(), 3u);
    EXPECT_FALSE(recorder.Flush());
    EXPECT_EQ(recorder.MemoryOnlyCount(), 3u);
}

TEST(RecordRobustness, AnArchiveOnReadOnlyMediaIsListedExportedAndCertified) {
    TinyDisk disk("size=8m");
    if (!disk.ok()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    const std::string path = disk.path() + "/" + kDatabaseFileName;
    std::vector<ActionRecord> records;
    {
        RecordStore store(path);
        for (const auto kind :
             {ActionKind::InitializeBoard, ActionKind::MeasureReferences, ActionKind::FreeBoard}) {
            records.push_back(SampleRecord(kind, "SN-ARCHIVE"));
            store.Write(records.back());
        }
    }
    ASSERT_FALSE(std::filesystem::exists(path + "-wal")) << "closed cleanly";
    ASSERT_TRUE(disk.Remount(MS_RDONLY, "size=8m"));
    TempDir out;
    const std::string program =
        "cd " + ShellQuoted(out.path()) + " && \"$VANTREL_RECORDS_PROGRAM\" --db " + ShellQuoted(path);
    const auto list = RunShell(program + " list");
    EXPECT_EQ(list.exitCode, 0) << list.err;
    for (const auto& record : records) EXPECT_NE(list.out.find(record.id), std::string::npos) << list.out;
    const auto json = RunShell(program + " export --format json | jq '.records | length'");
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out, std::to_string(records.size()) + "\n");
    const auto certificate =
        RunShell("QT_QPA_PLATFORM=offscreen " + program + " certificate --out cert SN-ARCHIVE");
    EXPECT_EQ(certificate.exitCode, 0) << certificate.err;
    EXPECT_TRUE(std::filesystem::exists(out / "cert.pdf"));
    ASSERT_TRUE(disk.Remount(0, "size=8m"));
}
