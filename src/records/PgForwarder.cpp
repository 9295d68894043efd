#include "records/PgForwarder.h"

#include "records/RecordStore.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <memory>

namespace vantrel::records {
namespace {

constexpr std::size_t kBatchSize = 100;
constexpr auto kFirstRetry = std::chrono::seconds(1);
constexpr auto kLongestRetry = std::chrono::seconds(30);

struct ConnDeleter {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Connection = std::unique_ptr<PGconn, ConnDeleter>;
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct PgFailure {
    std::string text;
};

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// libpq's own defaults apply first; whatever the connection string sets wins. The time-out
// keeps a dead server from holding the forwarder for long.
Connection Connect(const std::string& conninfo) {
    const std::array<const char*, 4> keys = {"connect_timeout", "application_name", "dbname", nullptr};
    const std::array<const char*, 4> values = {"5", "vantrel", conninfo.empty() ? nullptr : conninfo.c_str(),
                                               nullptr};
    Connection conn(PQconnectdbParams(keys.data(), values.data(), 1));
    if (!conn) throw PgFailure{"out of memory"};
    if (PQstatus(conn.get()) != CONNECTION_OK) throw PgFailure{Trimmed(PQerrorMessage(conn.get()))};
    return conn;
}

// Every value is a bound text parameter; a null pointer is SQL NULL.
void Execute(PGconn* conn, const char* sql, const std::vector<const char*>& values) {
    Result result(PQexecParams(conn, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                               nullptr, 0));
    const auto status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw PgFailure{Trimmed(PQerrorMessage(conn))};
}

template <typename T>
std::optional<std::string> Text(const std::optional<T>& value) {
    if (!value) return std::nullopt;
    if constexpr (std::is_floating_point_v<T>) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", *value);
        return std::string(text);
    } else {
        return std::to_string(*value);
    }
}

const char* Ptr(const std::optional<std::string>& value) { return value ? value->c_str() : nullptr; }

// No conflict target: a bench role that may only insert can still send a record twice, and
// the primary key makes the second time a no-op.
void InsertRecord(PGconn* conn, const ActionRecord& r) {
    const std::string typeCode = std::to_string(r.board.typeCode);
    const std::string base = std::to_string(r.board.baseAddress);
    const std::string irq = std::to_string(r.board.interruptLevel);
    const auto fpga = Text(r.board.fpgaRevision);
    const std::string action(ActionKindName(r.kind));
    const std::string outcome(MeasureOutcomeName(r.outcome));
    Execute(
        conn,
        "INSERT INTO vantrel_records (id, action, bench_host, bench_folder, tool_version, driver_version, "
        "operator, "
        "board_model, type_code, base_address, interrupt_level, fpga_revision, serial_number, started_utc, "
        "ended_utc, verdict, passed, outcome, meter_model, console_text) VALUES ($1, $2, $3, $4, $5, $6, $7, "
        "$8, "
        "$9, $10, $11, $12, $13, $14, $15, $16, $17, $18, $19, $20) ON CONFLICT DO NOTHING",
        {r.id.c_str(),
         action.c_str(),
         r.bench.host.c_str(),
         r.bench.folder.c_str(),
         r.bench.toolVersion.c_str(),
         r.bench.driverVersion.c_str(),
         r.bench.operatorLogin.c_str(),
         r.board.model.c_str(),
         typeCode.c_str(),
         base.c_str(),
         irq.c_str(),
         Ptr(fpga),
         r.board.serialNumber.c_str(),
         r.startedUtc.c_str(),
         r.endedUtc.c_str(),
         r.verdict.c_str(),
         r.passed ? "true" : "false",
         outcome.c_str(),
         r.meterModel.c_str(),
         r.consoleText.c_str()});
    if (r.interrupt) {
        const auto& f = *r.interrupt;
        const std::array<std::string, 8> v = {
            std::to_string(f.rateHz),          std::to_string(f.expectedMs),
            std::to_string(f.measuredMs),      std::to_string(f.overflows),
            std::to_string(f.errorCount),      std::to_string(f.timeoutToleranceMs),
            std::to_string(f.timeToleranceMs), std::to_string(f.adToleranceLsb)};
        Execute(conn,
                "INSERT INTO vantrel_interrupt_figures VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9) "
                "ON CONFLICT DO NOTHING",
                {r.id.c_str(), v[0].c_str(), v[1].c_str(), v[2].c_str(), v[3].c_str(), v[4].c_str(),
                 v[5].c_str(), v[6].c_str(), v[7].c_str()});
    }
    for (const auto& c : r.channels) {
        const std::string channel = std::to_string(c.channel);
        const auto reading = Text(c.reading), low = Text(c.windowLow), high = Text(c.windowHigh);
        const auto before = Text(c.eepromBefore), written = Text(c.eepromWritten), code = Text(c.code);
        Execute(conn,
                "INSERT INTO vantrel_channel_figures VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9) "
                "ON CONFLICT DO NOTHING",
                {r.id.c_str(), channel.c_str(), Ptr(reading), Ptr(low), Ptr(high), c.verdict.c_str(),
                 Ptr(before), Ptr(written), Ptr(code)});
    }
}

}  // namespace

std::string RedactConninfo(const std::string& text, const std::string& conninfo) {
    std::string result = text;
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    PQfreemem(error);
    if (!options) return result;
    for (PQconninfoOption* option = options; option->keyword; ++option) {
        if (std::string_view(option->keyword) != "password" || !option->val || !*option->val) continue;
        const std::string secret = option->val;
        for (auto at = result.find(secret); at != std::string::npos; at = result.find(secret, at + 3))
            result.replace(at, secret.size(), "***");
    }
    PQconninfoFree(options);
    return result;
}

ForwardResult ForwardPending(RecordStore& store, const std::string& conninfo) {
    ForwardResult outcome;
    try {
        Connection conn = Connect(conninfo);
        outcome.connected = true;
        for (;;) {
            const auto ids = store.PendingForward(kBatchSize);
            if (ids.empty()) break;
            Execute(conn.get(), "BEGIN", {});
            for (const auto& id : ids)
                if (const auto record = store.Find(id)) InsertRecord(conn.get(), *record);
            Execute(conn.get(), "COMMIT", {});
            // Marked only after the line's database has committed: if this step is lost, the
            // next pass inserts nothing twice because of the id.
            store.MarkForwarded(ids);
            outcome.delivered += static_cast<std::int64_t>(ids.size());
        }
    } catch (const PgFailure& failure) {
        outcome.error = RedactConninfo(failure.text, conninfo);
    } catch (const RecordStoreError& error) {
        outcome.error = error.what();
    }
    try {
        outcome.pending = store.PendingForwardCount();
    } catch (const RecordStoreError&) {}
    return outcome;
}

PgForwarder::PgForwarder(std::string databasePath, std::string conninfo)
    : m_databasePath(std::move(databasePath)), m_conninfo(std::move(conninfo)), m_thread([this] { Run(); }) {}

PgForwarder::~PgForwarder() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void PgForwarder::Notify() {
    {
        std::lock_guard lock(m_mutex);
        m_kick = true;
        m_isIdle = false;
    }
    m_wake.notify_all();
}

bool PgForwarder::WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return m_isIdle && !m_kick; });
}

std::string PgForwarder::LastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

void PgForwarder::Run() {
    std::unique_ptr<RecordStore> store;
    std::chrono::seconds retry = kFirstRetry;
    bool failing = false;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, retry, [this] { return m_stop || m_kick; });
        if (m_stop) return;
        m_kick = false;
        lock.unlock();

        ForwardResult result;
        try {
            if (!store)
                store = std::make_unique<RecordStore>(m_databasePath, RecordStore::OpenMode::ExistingOnly);
            result = ForwardPending(*store, m_conninfo);
        } catch (const RecordStoreError& error) {
            result.error = error.what();
        }
        m_delivered += result.delivered;

        lock.lock();
        m_lastError = result.error;
        if (result.error.empty()) {
            retry = kLongestRetry;
            failing = false;
            m_isIdle = result.pending == 0;
        } else {
            // An outage: try again soon, then less often.
            retry = failing ? std::min<std::chrono::seconds>(retry * 2, kLongestRetry) : kFirstRetry;
            failing = true;
            m_isIdle = false;
        }
        m_idle.notify_all();
    }
}

}  // namespace vantrel::records
