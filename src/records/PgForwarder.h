#pragma once
// Delivers the bench's records to a line's PostgreSQL database. A background thread reads the
// records not yet delivered from the bench's SQLite file, inserts each keyed by its id (a
// record already there is left alone, so a retry never doubles it) and then marks it
// delivered. An outage only delays delivery: the thread retries with a growing pause. A
// record the line refuses is set aside with the server's reason and holds up nothing.
// Nothing here blocks the caller, and no wait is without a limit: stopping makes one last
// pass of at most kFinalPassBudget and leaves the rest waiting in the SQLite file. The thread
// keeps its connection to the line between passes, so a record costs a transaction, not a
// new server session; a connection that fails is dropped and opened again.
//
// The connection comes from libpq's own settings: a connection string, a service name
// (service=...), the password and service files and the PG* variables. Error texts never
// carry a password.

#include "records/LineConnection.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vantrel::records {

class RecordStore;

// The longest the program's exit waits for the line.
inline constexpr std::chrono::milliseconds kFinalPassBudget{2000};

struct ForwardResult {
    bool connected = false;
    std::int64_t delivered = 0;  // records newly marked delivered (already present counts too)
    std::int64_t setAside = 0;   // records the line refused in this pass
    std::int64_t pending = 0;    // left undelivered (not counting those set aside)
    std::string error;           // empty on success; never holds a password
    bool benchRefused = false;   // the line refuses this bench (role, password, table)
};

// One pass, on the caller's thread: connect, deliver everything pending, disconnect. Gives up
// when `stopAt` passes.
ForwardResult ForwardPending(RecordStore& store, const std::string& conninfo, const LineLimits& limits = {},
                             const std::function<LineClock::time_point()>& stopAt = {});

class PgForwarder {
public:
    // Opens its own connection to the SQLite file at `databasePath`.
    PgForwarder(std::string databasePath, std::string conninfo, LineLimits limits = {});
    ~PgForwarder();  // one last pass of at most kFinalPassBudget; the rest stays pending
    PgForwarder(const PgForwarder&) = delete;
    PgForwarder& operator=(const PgForwarder&) = delete;

    // Asks the thread to look for new records now. Cheap; never waits for the network.
    void Notify();

    // Waits until nothing is pending or `timeout` passes; for the command line and tests.
    bool WaitIdle(std::chrono::milliseconds timeout);

    // The latest error of a pass, empty when the last pass succeeded.
    std::string LastError() const;
    std::int64_t SetAside() const { return m_setAside.load(); }

    // Once per start: the line refuses this bench, or records were set aside. Empty otherwise.
    std::string TakeOperatorNotice();

private:
    void Run();
    LineClock::time_point StopAt() const;
    void NoteResult(const ForwardResult& result);
    ForwardResult Pass(RecordStore& store);

    std::string m_databasePath;
    std::string m_conninfo;
    LineLimits m_limits;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_stop = false;
    bool m_kick = true;
    bool m_isIdle = false;
    std::string m_lastError;
    std::string m_notice;
    bool m_benchRefusalTold = false;
    bool m_setAsideTold = false;
    std::atomic<LineClock::rep> m_stopAt{LineClock::time_point::max().time_since_epoch().count()};
    std::atomic<std::int64_t> m_setAside{0};
    std::unique_ptr<LineConnection> m_line;  // kept between passes; only the thread uses it
    std::thread m_thread;
};

}  // namespace vantrel::records
