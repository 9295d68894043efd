#pragma once
// One connection to a line's PostgreSQL database on which nothing waits without a limit.
// libpq is driven without blocking: connecting and every statement wait on the socket with a
// deadline, and a caller's stop (the program's Quit) brings that deadline forward. A
// connection that passes its deadline is dropped, whatever the server does.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct pg_conn;

namespace vantrel::records {

using LineClock = std::chrono::steady_clock;

// Why the line failed. The SQLSTATE tells a refusal of one record from a refusal of the bench
// and from a passing outage.
struct LineFailure {
    enum class Kind {
        Outage,        // connection, time-out, server shutting down: try again later
        BenchRefused,  // role, password, privilege, missing database or table
        RecordRefused  // the record itself: data exception, constraint, size limit
    };
    Kind kind = Kind::Outage;
    std::string text;  // the server's or libpq's words; no password
    std::string sqlState;
};

// How a SQLSTATE from the server is taken.
LineFailure::Kind KindOfSqlState(const std::string& sqlState);

struct LineLimits {
    std::chrono::milliseconds connect{5000};
    std::chrono::milliseconds statement{10000};
    std::chrono::milliseconds serverStatement{8000};  // the server's own statement_timeout
    std::chrono::milliseconds serverLock{2000};       // and lock_timeout
};

class LineConnection {
public:
    // `stopAt` gives the latest moment the caller may still wait (time_point::max() when
    // there is no stop); it is asked again while waiting. Throws LineFailure.
    LineConnection(const std::string& conninfo, const LineLimits& limits,
                   std::function<LineClock::time_point()> stopAt);
    ~LineConnection();
    LineConnection(const LineConnection&) = delete;
    LineConnection& operator=(const LineConnection&) = delete;

    // Runs one statement with bound text parameters (null: SQL NULL). Throws LineFailure.
    void Exec(const char* sql, const std::vector<const char*>& values = {});

    // The server closed the connection or it broke: it cannot be used again.
    bool Lost() const;

private:
    void Wait(bool forWrite, LineClock::time_point deadline);
    [[noreturn]] void Fail(const std::string& text, const std::string& sqlState = {});
    LineClock::time_point Deadline(std::chrono::milliseconds limit) const;

    std::string m_conninfo;
    LineLimits m_limits;
    std::function<LineClock::time_point()> m_stopAt;
    // Finished however the object ends, a constructor that throws included.
    struct Finish {
        void operator()(pg_conn* conn) const;
    };
    std::unique_ptr<pg_conn, Finish> m_conn;
};

// The connection string with every password removed from `text`, even when libpq cannot
// parse the string: a password=... value and the password of a postgresql:// URI.
std::string RedactConninfo(const std::string& text, const std::string& conninfo);

}  // namespace vantrel::records
