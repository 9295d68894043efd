#pragma once
// Delivers the bench's records to a line's PostgreSQL database. A background thread reads the
// records not yet delivered from the bench's SQLite file, inserts each in one transaction
// keyed by its id (a record already there is left alone, so a retry never doubles it) and
// then marks it delivered. An outage only delays delivery: the thread retries with a growing
// pause. Nothing here blocks the caller.
//
// The connection comes from libpq's own settings: a connection string, a service name
// (service=...), the password and service files and the PG* variables. Error texts never
// carry a password.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace vantrel::records {

class RecordStore;

struct ForwardResult {
    bool connected = false;
    std::int64_t delivered = 0;  // records newly marked delivered (already present counts too)
    std::int64_t pending = 0;    // left undelivered
    std::string error;           // empty on success; never holds a password
};

// One pass, on the caller's thread: connect, deliver everything pending, disconnect.
ForwardResult ForwardPending(RecordStore& store, const std::string& conninfo);

// The connection string with any password value replaced, for texts shown to people.
std::string RedactConninfo(const std::string& text, const std::string& conninfo);

class PgForwarder {
public:
    // Opens its own connection to the SQLite file at `databasePath`.
    PgForwarder(std::string databasePath, std::string conninfo);
    ~PgForwarder();  // stops the thread; records left pending stay in the SQLite file
    PgForwarder(const PgForwarder&) = delete;
    PgForwarder& operator=(const PgForwarder&) = delete;

    // Asks the thread to look for new records now. Cheap; never waits for the network.
    void Notify();

    // Waits until nothing is pending or `timeout` passes; for the command line and tests.
    bool WaitIdle(std::chrono::milliseconds timeout);

    // The latest error of a pass, empty when the last pass succeeded.
    std::string LastError() const;
    std::int64_t Delivered() const { return m_delivered.load(); }

private:
    void Run();

    std::string m_databasePath;
    std::string m_conninfo;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_stop = false;
    bool m_kick = true;
    bool m_isIdle = false;
    std::string m_lastError;
    std::atomic<std::int64_t> m_delivered{0};
    std::thread m_thread;
};

}  // namespace vantrel::records
