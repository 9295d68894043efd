// The records of a line, read from its PostgreSQL database with libpq. One connection reads,
// a second one listens for the insert trigger's notifications. Every value is a bound
// parameter; times come back as the records' own ISO 8601 text in UTC.
#include "dashboard/RecordSource.h"

#include "records/PgForwarder.h"

#include <libpq-fe.h>

#include <array>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

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

#define VANTREL_ISO(column) "to_char(" column " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')"

// The record's columns, then its interrupt figures (NULL when it has none).
constexpr const char* kRecordColumns =
    "SELECT r.id::text, r.action, r.bench_host, r.bench_folder, r.tool_version, r.driver_version, "
    "r.operator, r.board_model, r.type_code, r.base_address, r.interrupt_level, r.fpga_revision, "
    "r.serial_number, " VANTREL_ISO("r.started_utc") ", " VANTREL_ISO("r.ended_utc") ", r.verdict, "
    "r.passed, r.outcome, r.meter_model, i.rate_hz, i.expected_ms, i.measured_ms, i.overflows, "
    "i.error_count, i.timeout_tolerance_ms, i.time_tolerance_ms, i.ad_tolerance_lsb "
    "FROM vantrel_records r LEFT JOIN vantrel_interrupt_figures i ON i.record_id = r.id ";

constexpr const char* kChannelColumns =
    "SELECT c.record_id::text, c.channel, c.reading, c.window_low, c.window_high, c.verdict, "
    "c.eeprom_before, c.eeprom_written, c.code FROM vantrel_channel_figures c "
    "JOIN vantrel_records r ON r.id = c.record_id ";

class Row {
public:
    Row(PGresult* result, int row) : m_result(result), m_row(row) {}
    bool Null(int column) const { return PQgetisnull(m_result, m_row, column); }
    std::string Text(int column) const { return PQgetvalue(m_result, m_row, column); }
    long long Int(int column) const { return std::strtoll(PQgetvalue(m_result, m_row, column), nullptr, 10); }
    std::optional<double> Real(int column) const {
        if (Null(column)) return std::nullopt;
        return std::strtod(PQgetvalue(m_result, m_row, column), nullptr);
    }

private:
    PGresult* m_result;
    int m_row;
};

ActionRecord RecordOf(const Row& row) {
    ActionRecord r;
    r.id = row.Text(0);
    r.kind = records::ActionKindFromName(row.Text(1)).value_or(ActionKind::InitializeBoard);
    r.bench = {row.Text(2), row.Text(3), row.Text(4), row.Text(5), row.Text(6)};
    r.board.model = row.Text(7);
    r.board.typeCode = static_cast<int>(row.Int(8));
    r.board.baseAddress = static_cast<int>(row.Int(9));
    r.board.interruptLevel = static_cast<int>(row.Int(10));
    if (!row.Null(11)) r.board.fpgaRevision = static_cast<int>(row.Int(11));
    r.board.serialNumber = row.Text(12);
    r.startedUtc = row.Text(13);
    r.endedUtc = row.Text(14);
    r.verdict = row.Text(15);
    r.passed = row.Text(16) == "t";
    r.outcome = records::MeasureOutcomeFromName(row.Text(17)).value_or(records::MeasureOutcome::None);
    r.meterModel = records::MeterModelFromName(row.Text(18)).value_or(records::MeterModel::Unrecorded);
    if (!row.Null(19)) {
        auto& f = r.interrupt.emplace();
        f.rateHz = static_cast<int>(row.Int(19));
        f.expectedMs = static_cast<int>(row.Int(20));
        f.measuredMs = static_cast<int>(row.Int(21));
        f.overflows = row.Int(22);
        f.errorCount = row.Int(23);
        f.timeoutToleranceMs = static_cast<int>(row.Int(24));
        f.timeToleranceMs = static_cast<int>(row.Int(25));
        f.adToleranceLsb = static_cast<int>(row.Int(26));
    }
    return r;
}

records::ChannelFigures ChannelOf(const Row& row) {
    records::ChannelFigures c;
    c.channel = static_cast<int>(row.Int(1));
    c.reading = row.Real(2);
    c.windowLow = row.Real(3);
    c.windowHigh = row.Real(4);
    c.verdict = records::ChannelVerdictFromName(row.Text(5)).value_or(records::ChannelVerdict::None);
    c.eepromBefore = row.Real(6);
    c.eepromWritten = row.Real(7);
    if (!row.Null(8)) c.code = static_cast<int>(row.Int(8));
    return c;
}

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
        const std::string where = "WHERE r.started_utc >= $1::timestamptz ";
        Select(where + "ORDER BY r.started_utc, r.id", where + "ORDER BY c.record_id, c.channel",
               {fromUtc.c_str()}, each);
    }

    std::vector<ActionRecord> History(const std::string& serialNumber) override {
        std::vector<ActionRecord> history;
        const std::string where = "WHERE r.serial_number = $1 ";
        Select(where + "ORDER BY r.started_utc, r.id", where + "ORDER BY c.record_id, c.channel",
               {serialNumber.c_str()}, [&](const ActionRecord& r) { history.push_back(r); });
        return history;
    }

    std::optional<ActionRecord> Find(const std::string& id) override {
        std::optional<ActionRecord> found;
        // Not a UUID: no such record, rather than a refused query.
        if (id.size() != 36 || id.find_first_not_of("0123456789abcdefABCDEF-") != std::string::npos)
            return found;
        const std::string where = "WHERE r.id = $1::uuid ";
        Select(where, where + "ORDER BY c.channel", {id.c_str()}, [&](const ActionRecord& r) { found = r; });
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
    // The records in one query, their channels in a second, joined here by id; both in one
    // snapshot of the database so that no record shows without its figures.
    void Select(const std::string& recordTail, const std::string& channelTail,
                const std::vector<const char*>& values,
                const std::function<void(const ActionRecord&)>& each) {
        std::lock_guard lock(m_mutex);
        Revive(m_read.get(), false, m_readFailed);
        Run(m_read.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        try {
            const Result records =
                Run(m_read.get(), (std::string(kRecordColumns) + recordTail).c_str(), values);
            const Result channels =
                Run(m_read.get(), (std::string(kChannelColumns) + channelTail).c_str(), values);
            Run(m_read.get(), "COMMIT");
            std::map<std::string, std::vector<records::ChannelFigures>> figures;
            for (int i = 0; i < PQntuples(channels.get()); ++i)
                figures[PQgetvalue(channels.get(), i, 0)].push_back(ChannelOf(Row(channels.get(), i)));
            for (int i = 0; i < PQntuples(records.get()); ++i) {
                ActionRecord record = RecordOf(Row(records.get(), i));
                if (const auto at = figures.find(record.id); at != figures.end())
                    record.channels = std::move(at->second);
                each(record);
            }
        } catch (const SourceError&) {
            m_readFailed = true;  // opened afresh before the next query
            throw;
        }
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

}  // namespace

std::unique_ptr<RecordSource> OpenPostgresSource(const std::string& conninfo) {
    return std::make_unique<PgSource>(conninfo);
}

std::string NotifyTriggerSql() { return kTriggerSql; }

std::string InstallNotifyTrigger(const std::string& conninfo) {
    try {
        Connection conn = Connect(conninfo);
        Run(conn.get(), "SET client_min_messages = warning");
        const Result present = Run(conn.get(),
                                   "SELECT 1 FROM pg_trigger WHERE tgname = 'vantrel_records_notify' "
                                   "AND tgrelid = 'vantrel_records'::regclass");
        if (PQntuples(present.get()) > 0) return {};
        Result done(PQexec(conn.get(), kTriggerSql));
        if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) return Trimmed(PQerrorMessage(conn.get()));
        return {};
    } catch (const SourceError& error) {
        return error.what();
    }
}

}  // namespace vantrel::dashboard
