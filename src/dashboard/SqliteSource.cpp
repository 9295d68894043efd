// The records of one bench, read from its SQLite file through the records store. A second,
// bare connection asks SQLite's data version, which moves whenever another connection
// (the bench's window or its forwarder) commits.
#include "dashboard/RecordSource.h"

#include "records/RecordsSettings.h"

#include <sqlite3.h>

#include <filesystem>

#include <memory>
#include <thread>

namespace vantrel::dashboard {
namespace {

constexpr std::chrono::milliseconds kDataVersionPeriod{100};

class SqliteSource final : public RecordSource {
public:
    SqliteSource(const std::string& path, bool forwards)
        : m_store(path, records::RecordStore::OpenMode::ReadOnly), m_forwards(forwards) {
        if (sqlite3_open_v2(path.c_str(), &m_watch, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            const std::string why = m_watch ? sqlite3_errmsg(m_watch) : "out of memory";
            sqlite3_close(m_watch);
            throw SourceError("Cannot open " + path + ": " + why);
        }
        m_version = DataVersion();
    }
    ~SqliteSource() override { sqlite3_close(m_watch); }

    void ForEachSince(const std::string& fromUtc,
                      const std::function<void(const ActionRecord&)>& each) override {
        records::RecordQuery query;
        query.from = fromUtc;
        m_store.ForEach(query, each);
    }

    // The bench's file has one writer at a time, so its sequence numbers follow the commits.
    void ForEachNew(const std::string& fromUtc,
                    const std::function<void(const ActionRecord&)>& each) override {
        std::vector<std::string> ids;
        Exec("BEGIN");
        try {
            const std::int64_t last = Newest();
            const Statement select =
                Prepare("SELECT id FROM records WHERE seq > ?1 AND seq <= ?2 AND started_utc >= ?3");
            sqlite3_bind_int64(select.get(), 1, m_handedOut);
            sqlite3_bind_int64(select.get(), 2, last);
            sqlite3_bind_text(select.get(), 3, fromUtc.c_str(), -1, SQLITE_TRANSIENT);
            while (sqlite3_step(select.get()) == SQLITE_ROW)
                ids.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0)));
            Exec("COMMIT");
            m_handedOut = last;
        } catch (const SourceError&) {
            sqlite3_exec(m_watch, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        for (const auto& id : ids)
            if (const auto record = m_store.Find(id)) each(*record);
    }

    void Restart() override { m_handedOut = 0; }

    // A bench that forwards nothing has nothing waiting.
    std::optional<BenchBacklog> Backlog() override {
        return BenchBacklog{m_forwards ? m_store.PendingForwardCount() : 0,
                            static_cast<std::int64_t>(m_store.SetAsideRecords().size())};
    }

    std::vector<ActionRecord> History(const std::string& serialNumber) override {
        return m_store.History(serialNumber);
    }

    std::optional<ActionRecord> Find(const std::string& id) override { return m_store.Find(id); }

    bool WaitForChange(std::chrono::milliseconds timeout) override {
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const std::int64_t now = DataVersion();
            if (now != m_version) {
                m_version = now;
                return true;
            }
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(kDataVersionPeriod);
        }
    }

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

    void Exec(const char* sql) {
        if (sqlite3_exec(m_watch, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw SourceError(std::string("The bench's file cannot be read: ") + sqlite3_errmsg(m_watch));
    }

    Statement Prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_watch, sql, -1, &statement, nullptr) != SQLITE_OK)
            throw SourceError(std::string("The bench's file cannot be read: ") + sqlite3_errmsg(m_watch));
        return Statement(statement);
    }

    std::int64_t Newest() {
        const Statement newest = Prepare("SELECT coalesce(max(seq), 0) FROM records");
        return sqlite3_step(newest.get()) == SQLITE_ROW ? sqlite3_column_int64(newest.get(), 0) : m_handedOut;
    }

    std::int64_t DataVersion() {
        sqlite3_stmt* statement = nullptr;
        std::int64_t version = m_version;
        if (sqlite3_prepare_v2(m_watch, "PRAGMA data_version", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            version = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return version;
    }

    records::RecordStore m_store;
    bool m_forwards = false;
    sqlite3* m_watch = nullptr;
    std::int64_t m_version = 0;
    std::int64_t m_handedOut = 0;  // the last sequence number handed out
};

}  // namespace

std::unique_ptr<RecordSource> OpenSqliteSource(const std::string& path) {
    // The bench's settings beside its file say whether it forwards to a line.
    const auto folder = std::filesystem::path(path).parent_path();
    const bool forwards = records::LoadRecordsSettings(folder.empty() ? "." : folder.string())
                              .recorder.postgresConninfo.has_value();
    return std::make_unique<SqliteSource>(path, forwards);
}

}  // namespace vantrel::dashboard
