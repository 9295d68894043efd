#include "records/PgForwarder.h"

#include "records/LineText.h"
#include "records/RecordColumns.h"
#include "records/RecordStore.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <span>
#include <utility>

namespace vantrel::records {
namespace {

// Small enough that a pass cut short by its deadline has still committed most of its work.
constexpr std::size_t kBatchSize = 20;
constexpr auto kFirstRetry = std::chrono::seconds(1);
constexpr auto kLongestRetry = std::chrono::seconds(30);

using Texts = std::vector<std::optional<std::string>>;

// Every value is a bound text parameter in the line's form; an empty optional is SQL NULL.
void Execute(LineConnection& line, const char* sql, const Texts& texts) {
    std::vector<std::string> converted;
    converted.reserve(texts.size());
    std::vector<const char*> values;
    for (const auto& text : texts) converted.push_back(text ? LineText(*text) : std::string());
    for (std::size_t i = 0; i < texts.size(); ++i)
        values.push_back(texts[i] ? converted[i].c_str() : nullptr);
    line.Exec(sql, values);
}

// A cell in the line's text form; SQL NULL is an empty optional.
std::optional<std::string> Text(const Cell& cell) {
    if (std::holds_alternative<std::monostate>(cell)) return std::nullopt;
    if (const auto* text = std::get_if<std::string>(&cell)) return *text;
    if (const auto* truth = std::get_if<bool>(&cell)) return std::string(*truth ? "true" : "false");
    if (const auto* number = std::get_if<std::int64_t>(&cell)) return std::to_string(*number);
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", std::get<double>(cell));
    return std::string(text);
}

// INSERT INTO table (key, listed columns...) VALUES ($1, ...). No conflict target: a bench
// role that may only insert can still send a record twice, and the primary key makes the
// second time a no-op.
template <typename Row>
std::string InsertSql(std::string_view table, std::string_view key, std::span<const Column<Row>> columns) {
    std::string names = key.empty() ? "" : std::string(key) + ", ";
    std::string values;
    const std::size_t count = columns.size() + (key.empty() ? 0 : 1);
    for (std::size_t i = 1; i <= count; ++i) values += (i > 1 ? ", $" : "$") + std::to_string(i);
    return "INSERT INTO " + std::string(table) + " (" + names + ColumnNames(columns) + ") VALUES (" + values +
           ") ON CONFLICT DO NOTHING";
}

template <typename Row>
void InsertRow(LineConnection& line, const std::string& sql, std::span<const Column<Row>> columns,
               const Row& row, const std::string& key = {}) {
    Texts texts;
    if (!key.empty()) texts.push_back(key);
    for (const auto& column : columns) texts.push_back(Text(column.access.get(row)));
    Execute(line, sql.c_str(), texts);
}

void InsertRecord(LineConnection& line, const ActionRecord& r) {
    static const std::string kRecord = InsertSql("vantrel_records", "", RecordColumns());
    static const std::string kInterrupt =
        InsertSql("vantrel_interrupt_figures", "record_id", InterruptColumns());
    static const std::string kChannel = InsertSql("vantrel_channel_figures", "record_id", ChannelColumns());
    InsertRow(line, kRecord, RecordColumns(), r);
    if (r.interrupt) InsertRow(line, kInterrupt, InterruptColumns(), *r.interrupt, r.id);
    for (const auto& c : r.channels) InsertRow(line, kChannel, ChannelColumns(), c, r.id);
}

// Sends one batch in one transaction. The usual batch goes straight in; when the line refuses
// a record, the batch is rolled back and sent again with each record behind a savepoint, so
// that the refused one is rolled back alone and set aside while the others go on.
void SendBatch(LineConnection& line, RecordStore& store, const std::vector<std::string>& ids,
               ForwardResult& outcome, bool carefully = false) {
    std::vector<std::string> sent;
    std::vector<std::pair<std::string, std::string>> refused;
    line.Exec("BEGIN");
    for (const auto& id : ids) {
        const auto record = store.Find(id);
        if (!record) continue;
        if (carefully) line.Exec("SAVEPOINT record");
        try {
            InsertRecord(line, *record);
            if (carefully) line.Exec("RELEASE SAVEPOINT record");
            sent.push_back(id);
        } catch (const LineFailure& failure) {
            if (failure.kind != LineFailure::Kind::RecordRefused) throw;
            if (!carefully) {
                line.Exec("ROLLBACK");
                SendBatch(line, store, ids, outcome, true);
                return;
            }
            line.Exec("ROLLBACK TO SAVEPOINT record");
            refused.emplace_back(id, failure.text);
        }
    }
    line.Exec("COMMIT");
    // Marked only after the line's database has committed: if this step is lost, the next
    // pass inserts nothing twice because of the id.
    store.MarkForwarded(sent);
    for (const auto& [id, reason] : refused) store.SetAside(id, reason);
    outcome.delivered += static_cast<std::int64_t>(sent.size());
    outcome.setAside += static_cast<std::int64_t>(refused.size());
}

// Sends everything pending over `line`, opening it first when there is none. A connection
// that fails in any way is dropped, so that no later pass starts inside a broken transaction;
// `lost` tells whether it had broken, rather than a statement failing on it.
ForwardResult ForwardOver(RecordStore& store, std::unique_ptr<LineConnection>& line,
                          const std::string& conninfo, const LineLimits& limits,
                          const std::function<LineClock::time_point()>& stopAt, bool* lost = nullptr) {
    ForwardResult outcome;
    try {
        if (!line)
            line = std::make_unique<LineConnection>(
                conninfo, limits, stopAt ? stopAt : [] { return LineClock::time_point::max(); });
        outcome.connected = true;
        for (;;) {
            const auto ids = store.PendingForward(kBatchSize);
            if (ids.empty()) break;
            SendBatch(*line, store, ids, outcome);
        }
    } catch (const LineFailure& failure) {
        if (lost) *lost = line && line->Lost();
        line.reset();
        outcome.error = failure.text;
        outcome.benchRefused = failure.kind == LineFailure::Kind::BenchRefused;
    } catch (const RecordStoreError& error) {
        line.reset();
        outcome.error = error.what();
    }
    try {
        outcome.pending = store.PendingForwardCount();
    } catch (const RecordStoreError&) {}
    return outcome;
}

}  // namespace

ForwardResult ForwardPending(RecordStore& store, const std::string& conninfo, const LineLimits& limits,
                             const std::function<LineClock::time_point()>& stopAt) {
    std::unique_ptr<LineConnection> line;
    return ForwardOver(store, line, conninfo, limits, stopAt);
}

PgForwarder::PgForwarder(std::string databasePath, std::string conninfo, LineLimits limits)
    : m_databasePath(std::move(databasePath)),
      m_conninfo(std::move(conninfo)),
      m_limits(limits),
      m_thread([this] { Run(); }) {}

PgForwarder::~PgForwarder() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_kick = true;
        m_stopAt = (LineClock::now() + kFinalPassBudget).time_since_epoch().count();
    }
    m_wake.notify_all();
    m_thread.join();
}

LineClock::time_point PgForwarder::StopAt() const {
    return LineClock::time_point(LineClock::duration(m_stopAt.load()));
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

std::string PgForwarder::TakeOperatorNotice() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_notice, std::string());
}

// One pass over the connection kept from the last one. The server may have closed a kept
// connection meanwhile (a restart, an idle limit); that is told from an outage by one more
// try on a fresh connection, so that a record does not wait for the next retry because of it.
ForwardResult PgForwarder::Pass(RecordStore& store) {
    const auto stopAt = [this] { return StopAt(); };
    const bool kept = m_line != nullptr;
    bool lost = false;
    ForwardResult result = ForwardOver(store, m_line, m_conninfo, m_limits, stopAt, &lost);
    if (kept && lost) {
        ForwardResult again = ForwardOver(store, m_line, m_conninfo, m_limits, stopAt);
        again.delivered += result.delivered;
        again.setAside += result.setAside;
        result = std::move(again);
    }
    return result;
}

// Called with the mutex held.
void PgForwarder::NoteResult(const ForwardResult& result) {
    m_lastError = result.error;
    if (result.benchRefused && !m_benchRefusalTold) {
        m_benchRefusalTold = true;
        m_notice += "The line's database refuses this bench: " + result.error +
                    " The records stay in this bench's database and are sent when the line accepts "
                    "them; tell whoever looks after the line's database.\n";
    }
    if (result.setAside > 0 && !m_setAsideTold) {
        m_setAsideTold = true;
        m_notice += "The line's database refused " + std::to_string(result.setAside) +
                    " record(s); they are set aside in this bench's database and the others go on. "
                    "\"vantrel-records status\" shows them and why.\n";
    }
}

void PgForwarder::Run() {
    std::unique_ptr<RecordStore> store;
    std::chrono::seconds retry = kFirstRetry;
    bool failing = false;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, retry, [this] { return m_stop || m_kick; });
        const bool last = m_stop;
        // The last pass runs once, and only while its budget lasts.
        if (last && LineClock::now() >= StopAt()) return;
        m_kick = false;
        lock.unlock();

        ForwardResult result;
        try {
            if (!store)
                store = std::make_unique<RecordStore>(m_databasePath, RecordStore::OpenMode::ExistingOnly);
            result = Pass(*store);
        } catch (const RecordStoreError& error) {
            result.error = error.what();
        }
        m_setAside += result.setAside;

        lock.lock();
        NoteResult(result);
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
        if (last) return;
    }
}

}  // namespace vantrel::records
