// The records of one bench, read from its SQLite file through the records store. A second,
// bare connection asks SQLite's data version, which moves whenever another connection
// (the bench's window or its forwarder) commits.
#include "dashboard/RecordSource.h"

#include <sqlite3.h>

#include <thread>

namespace vantrel::dashboard {
namespace {

constexpr std::chrono::milliseconds kDataVersionPeriod{100};

class SqliteSource final : public RecordSource {
public:
    explicit SqliteSource(const std::string& path) : m_store(path, records::RecordStore::OpenMode::ReadOnly) {
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
    sqlite3* m_watch = nullptr;
    std::int64_t m_version = 0;
};

}  // namespace

std::unique_ptr<RecordSource> OpenSqliteSource(const std::string& path) {
    return std::make_unique<SqliteSource>(path);
}

}  // namespace vantrel::dashboard
