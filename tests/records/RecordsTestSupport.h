#pragma once
// Shared pieces of the records tests: temporary folders, sample records of every action, the
// hostile serial numbers, running a program, and a real PostgreSQL server of the test's own.

#include "records/ActionRecord.h"

#include <string>
#include <vector>

namespace recordstest {

using vantrel::records::ActionKind;
using vantrel::records::ActionRecord;

// A folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    // Under `base` when given, else under the system's temporary folder.
    explicit TempDir(const std::string& base = {});
    ~TempDir();
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A record of the given action with the figures that action has, as a run would leave them.
ActionRecord SampleRecord(ActionKind kind, const std::string& serial,
                          const std::string& startedUtc = "2026-12-07T09:00:00.000Z");

// Serial numbers an operator or a scanner might type that must pass through untouched.
const std::vector<std::string>& HostileSerials();

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a shell command line; standard output and error are collected separately.
ProgramResult RunShell(const std::string& commandLine);
std::string ShellQuoted(const std::string& text);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// A PostgreSQL server of the test's own: a fresh cluster in a temporary folder, reached only
// through a Unix socket in that folder. Run as an unprivileged user when the test runs as root.
class PgServer {
public:
    PgServer();
    ~PgServer();
    bool ok() const { return m_ok; }
    const std::string& why() const { return m_why; }

    void Start();
    void Stop();
    // A connection string for `database` as `user`.
    std::string Conninfo(const std::string& database = "vantrel",
                         const std::string& user = "vantrel_admin") const;
    // PG* variable settings for a shell command line that reach `database` as `user`.
    std::string Environment(const std::string& user, const std::string& database = "vantrel") const;
    // Runs SQL through psql as the owner; returns psql's unaligned output.
    std::string Psql(const std::string& sql, const std::string& database = "vantrel") const;
    // Stops (SIGSTOP) or lets go on (SIGCONT) the server's processes: a server that no longer
    // answers while its connections stay open.
    bool Freeze(bool stopped);
    // Creates a database with the records tables and a bench role that may only insert.
    void CreateLineDatabase(const std::string& database = "vantrel");

private:
    std::string AsServerUser(const std::string& commandLine) const;
    TempDir m_dir;
    std::string m_bin;
    std::string m_socketDir;
    std::string m_dataDir;
    int m_port = 0;
    bool m_ok = false;
    std::string m_why;
};

}  // namespace recordstest
