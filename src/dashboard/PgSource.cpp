// The records of a line, read from its PostgreSQL database with libpq. One connection reads,
// a second one listens for the insert trigger's notifications. Every value is a bound
// parameter; times come back as the records' own ISO 8601 text in UTC.
#include "dashboard/RecordSource.h"

#include "records/PgForwarder.h"
#include "records/RecordColumns.h"

#include <libpq-fe.h>

#include <array>
#include <cstdlib>
#include <map>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>
#include <type_traits>
#include <unordered_map>

namespace vantrel::dashboard {
namespace {

using records::ActionKind;

constexpr std::chrono::milliseconds kListenPeriod{20};

struct ConnDeleter {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Connection = std::unique_ptr<PGconn, ConnDeleter>;
using Result = std::unique_ptr<PGresult, ResultDeleter>;

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

Connection Connect(const std::string& conninfo) {
    const std::array<const char*, 4> keys = {"connect_timeout", "application_name", "dbname", nullptr};
    const std::array<const char*, 4> values = {"5", "vantrel-dashboard",
                                               conninfo.empty() ? nullptr : conninfo.c_str(), nullptr};
    Connection conn(PQconnectdbParams(keys.data(), values.data(), 1));
    if (!conn) throw SourceError("out of memory");
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw SourceError("The line's database cannot be reached: " +
                          records::RedactConninfo(Trimmed(PQerrorMessage(conn.get())), conninfo));
    return conn;
}

Result Run(PGconn* conn, const char* sql, const std::vector<const char*>& values = {}) {
    Result result(PQexecParams(conn, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                               nullptr, 0));
    const auto status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw SourceError("The line's database refused a query: " + Trimmed(PQerrorMessage(conn)));
    return result;
}

// A column of the line's table as the records hold it: times as their ISO 8601 text in UTC,
// ids as text, everything else as PostgreSQL writes it; the console text stays behind.
std::string Selected(std::string_view table, std::string_view name, std::string_view postgresType) {
    // The page never shows an action's console text, and it is by far a record's largest part.
    if (name == "console_text") return "''";
    const std::string column = std::string(table) + "." + std::string(name);
    if (postgresType.starts_with("timestamptz"))
        return "to_char(" + column + " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')";
    if (postgresType.starts_with("uuid")) return column + "::text";
    return column;
}

template <typename Figures>
std::string SelectList(std::string_view table, std::span<const records::Column<Figures>> columns) {
    std::string list;
    for (const auto& column : columns) list += ", " + Selected(table, column.name, column.postgres);
    return list;
}

// The record's columns, then whether it has interrupt figures and the figures; all from the
// records' one column list, so a new field is read without a change here.
const std::string& RecordSelect() {
    static const std::string select =
        "SELECT " + SelectList("r", records::RecordColumns()).substr(2) + ", i.record_id IS NOT NULL" +
        SelectList("i", records::InterruptColumns()) +
        " FROM vantrel_records r LEFT JOIN vantrel_interrupt_figures i ON i.record_id = r.id ";
    return select;
}

const std::string& ChannelSelect() {
    static const std::string select = "SELECT c.record_id::text" +
                                      SelectList("c", records::ChannelColumns()) +
                                      " FROM vantrel_channel_figures c JOIN vantrel_records r ON r.id = "
                                      "c.record_id ";
    return select;
}

class Row {
public:
    Row(PGresult* result, int row) : m_result(result), m_row(row) {}
    bool Null(int column) const { return PQgetisnull(m_result, m_row, column); }
    std::string Text(int column) const { return PQgetvalue(m_result, m_row, column); }
    long long Int(int column) const { return std::strtoll(PQgetvalue(m_result, m_row, column), nullptr, 10); }

    // The cell at `column` as a column of that kind reads it; NULL is no value.
    records::Cell Cell(int column, records::CellKind kind) const {
        if (Null(column)) return {};
        switch (kind) {
        case records::CellKind::Text: return Text(column);
        case records::CellKind::Boolean: return Text(column) == "t";
        case records::CellKind::Integer:
        case records::CellKind::OptionalInteger: return std::int64_t{Int(column)};
        case records::CellKind::OptionalReal:
            return std::strtod(PQgetvalue(m_result, m_row, column), nullptr);
        }
        return {};
    }

    // Fills `into` from the cells from `at` on, one a column; returns the place after them.
    template <typename Figures>
    int Fill(int at, std::span<const records::Column<Figures>> columns, Figures& into) const {
        for (const auto& column : columns) column.access.set(into, Cell(at++, column.access.kind));
        return at;
    }

private:
    PGresult* m_result;
    int m_row;
};

ActionRecord RecordOf(const Row& row) {
    ActionRecord r;
    const int at = row.Fill(0, records::RecordColumns(), r);
    if (row.Text(at) == "t") row.Fill(at + 1, records::InterruptColumns(), r.interrupt.emplace());
    return r;
}

records::ChannelFigures ChannelOf(const Row& row) {
    records::ChannelFigures c;
    row.Fill(1, records::ChannelColumns(), c);
    return c;
}

// Which records the line received since a time (microseconds since the epoch), with theirs.
constexpr const char* kArrivedSql =
    "SELECT id::text, (extract(epoch FROM received_utc) * 1000000)::bigint FROM vantrel_records "
    "WHERE received_utc >= to_timestamp($1::bigint / 1000000.0) AND started_utc >= $2::timestamptz";

constexpr long long kOverlapUs = std::chrono::microseconds(kArrivalOverlap).count();

class PgSource final : public RecordSource {
public:
    explicit PgSource(const std::string& conninfo) : m_read(Connect(conninfo)), m_listen(Connect(conninfo)) {
        Run(m_read.get(), "SET TIME ZONE 'UTC'");
        Run(m_listen.get(), (std::string("LISTEN ") + kNotifyChannel).c_str());
        const Result trigger = Run(m_read.get(),
                                   "SELECT 1 FROM pg_trigger WHERE tgname = 'vantrel_records_notify' "
                                   "AND tgrelid = 'vantrel_records'::regclass");
        m_notified = PQntuples(trigger.get()) > 0;
    }

    void ForEachSince(const std::string& fromUtc,
                      const std::function<void(const ActionRecord&)>& each) override {
        std::lock_guard lock(m_mutex);
        Emit(InSnapshot([&] { return Query("WHERE r.started_utc >= $1::timestamptz ", {fromUtc.c_str()}); }),
             each);
    }

    void ForEachNew(const std::string& fromUtc,
                    const std::function<void(const ActionRecord&)>& each) override {
        std::lock_guard lock(m_mutex);
        std::vector<std::pair<std::string, long long>> arrived;
        const auto rows = InSnapshot([&]() -> std::optional<Rows> {
            const std::string since = std::to_string(m_watermarkUs ? *m_watermarkUs - kOverlapUs : 0);
            const Result ids = Run(m_read.get(), kArrivedSql, {since.c_str(), fromUtc.c_str()});
            std::string wanted;
            for (int i = 0; i < PQntuples(ids.get()); ++i) {
                const Row row(ids.get(), i);
                arrived.emplace_back(row.Text(0), row.Int(1));
                if (!m_seen.contains(arrived.back().first))
                    wanted += (wanted.empty() ? "" : ",") + row.Text(0);
            }
            if (wanted.empty()) return std::nullopt;
            if (!m_watermarkUs) return Query("WHERE r.started_utc >= $1::timestamptz ", {fromUtc.c_str()});
            wanted = "{" + wanted + "}";
            return Query("WHERE r.id = ANY($1::uuid[]) ", {wanted.c_str()});
        });
        Remember(arrived);
        if (rows) Emit(*rows, each);
    }

    void Restart() override {
        std::lock_guard lock(m_mutex);
        m_watermarkUs.reset();
        m_seen.clear();
    }

    std::vector<ActionRecord> History(const std::string& serialNumber) override {
        std::lock_guard lock(m_mutex);
        std::vector<ActionRecord> history;
        Emit(InSnapshot([&] { return Query("WHERE r.serial_number = $1 ", {serialNumber.c_str()}); }),
             [&](const ActionRecord& r) { history.push_back(r); });
        return history;
    }

    std::optional<ActionRecord> Find(const std::string& id) override {
        std::optional<ActionRecord> found;
        // Not a UUID: no such record, rather than a refused query.
        if (id.size() != 36 || id.find_first_not_of("0123456789abcdefABCDEF-") != std::string::npos)
            return found;
        std::lock_guard lock(m_mutex);
        Emit(InSnapshot([&] { return Query("WHERE r.id = $1::uuid ", {id.c_str()}); }),
             [&](const ActionRecord& r) { found = r; });
        return found;
    }

    bool WaitForChange(std::chrono::milliseconds timeout) override {
        Revive(m_listen.get(), true, m_listenFailed);
        if (!m_notified) {
            std::this_thread::sleep_for(std::min(timeout, kPgPollPeriod));
            return true;
        }
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (!PQconsumeInput(m_listen.get()) && (m_listenFailed = true))
                throw SourceError("The line's database closed the connection: " +
                                  Trimmed(PQerrorMessage(m_listen.get())));
            bool changed = false;
            while (PGnotify* note = PQnotifies(m_listen.get())) {
                changed = true;
                PQfreemem(note);
            }
            if (changed) return true;
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(kListenPeriod);
        }
    }

private:
    // The records in one query, their channels in a second, joined here by id.
    struct Rows {
        Result records;
        Result channels;
    };

    Rows Query(const std::string& where, const std::vector<const char*>& values) {
        return {
            Run(m_read.get(), (RecordSelect() + where + "ORDER BY r.started_utc, r.id").c_str(), values),
            Run(m_read.get(), (ChannelSelect() + where + "ORDER BY c.record_id, c.channel").c_str(), values)};
    }

    static void Emit(const Rows& rows, const std::function<void(const ActionRecord&)>& each) {
        std::map<std::string, std::vector<records::ChannelFigures>> figures;
        for (int i = 0; i < PQntuples(rows.channels.get()); ++i)
            figures[PQgetvalue(rows.channels.get(), i, 0)].push_back(ChannelOf(Row(rows.channels.get(), i)));
        for (int i = 0; i < PQntuples(rows.records.get()); ++i) {
            ActionRecord record = RecordOf(Row(rows.records.get(), i));
            if (const auto at = figures.find(record.id); at != figures.end())
                record.channels = std::move(at->second);
            each(record);
        }
    }

    // Runs the queries of `read` in one snapshot of the database, so that no record shows
    // without its figures and no arrival is counted twice.
    template <typename Read>
    std::invoke_result_t<Read> InSnapshot(Read&& read) {
        Revive(m_read.get(), false, m_readFailed);
        Run(m_read.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        try {
            auto result = read();
            Run(m_read.get(), "COMMIT");
            return result;
        } catch (const SourceError&) {
            m_readFailed = true;  // opened afresh before the next query
            throw;
        }
    }

    // The records handed out stay known for as long as a later look may see them again.
    void Remember(const std::vector<std::pair<std::string, long long>>& arrived) {
        for (const auto& [id, receivedUs] : arrived) {
            m_seen[id] = receivedUs;
            m_watermarkUs = std::max(m_watermarkUs.value_or(0), receivedUs);
        }
        if (!m_watermarkUs) m_watermarkUs = 0;
        std::erase_if(m_seen, [&](const auto& seen) { return seen.second < *m_watermarkUs - kOverlapUs; });
    }

    // A connection that failed (in an outage, say) is opened again before it is used; until
    // that succeeds the caller hears why. libpq may not yet know that a connection is gone.
    static void Revive(PGconn* conn, bool listens, bool& failed) {
        if (PQstatus(conn) == CONNECTION_OK && !failed) return;
        PQreset(conn);
        if (PQstatus(conn) != CONNECTION_OK)
            throw SourceError("The line's database cannot be reached: " + Trimmed(PQerrorMessage(conn)));
        Run(conn, listens ? (std::string("LISTEN ") + kNotifyChannel).c_str() : "SET TIME ZONE 'UTC'");
        failed = false;
    }

    std::mutex m_mutex;
    Connection m_read;
    Connection m_listen;
    bool m_notified = false;
    bool m_readFailed = false;
    bool m_listenFailed = false;
    std::optional<long long> m_watermarkUs;             // the latest arrival handed out; none after Restart()
    std::unordered_map<std::string, long long> m_seen;  // id: arrival, within the overlap
};

constexpr const char* kTriggerSql =
    "CREATE OR REPLACE FUNCTION vantrel_records_notify() RETURNS trigger LANGUAGE plpgsql AS $$\n"
    "BEGIN\n"
    "    PERFORM pg_notify('vantrel_records', '');\n"
    "    RETURN NULL;\n"
    "END $$;\n"
    "DROP TRIGGER IF EXISTS vantrel_records_notify ON vantrel_records;\n"
    "CREATE TRIGGER vantrel_records_notify AFTER INSERT ON vantrel_records\n"
    "    FOR EACH STATEMENT EXECUTE FUNCTION vantrel_records_notify();\n";

// Built without holding up the benches' inserts, so outside a transaction of its own.
constexpr const char* kIndexSql =
    "CREATE INDEX CONCURRENTLY IF NOT EXISTS vantrel_records_received ON vantrel_records(received_utc);\n";

constexpr const char* kInstalledSql =
    "SELECT (SELECT count(*) FROM pg_trigger WHERE tgname = 'vantrel_records_notify' "
    "AND tgrelid = 'vantrel_records'::regclass), (SELECT count(*) FROM pg_indexes "
    "WHERE tablename = 'vantrel_records' AND indexname = 'vantrel_records_received')";

}  // namespace

std::unique_ptr<RecordSource> OpenPostgresSource(const std::string& conninfo) {
    return std::make_unique<PgSource>(conninfo);
}

std::string NotifyTriggerSql() { return std::string(kTriggerSql) + kIndexSql; }

std::string InstallNotifyTrigger(const std::string& conninfo) {
    try {
        Connection conn = Connect(conninfo);
        Run(conn.get(), "SET client_min_messages = warning");
        const Result present = Run(conn.get(), kInstalledSql);
        for (const auto& [column, sql] : {std::pair{0, kTriggerSql}, std::pair{1, kIndexSql}}) {
            if (Row(present.get(), 0).Int(column) > 0) continue;
            Result done(PQexec(conn.get(), sql));
            if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) return Trimmed(PQerrorMessage(conn.get()));
        }
        return {};
    } catch (const SourceError& error) {
        return error.what();
    }
}

}  // namespace vantrel::dashboard
