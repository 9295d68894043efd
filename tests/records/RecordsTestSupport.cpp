#include "RecordsTestSupport.h"

#include <glob.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace recordstest {
namespace fs = std::filesystem;
using namespace vantrel::records;

namespace {

// The tests' shell commands name the program and the schema through the environment.
const bool kEnvironmentSet = [] {
    setenv("VANTREL_RECORDS_PROGRAM", VANTREL_RECORDS_PROGRAM_PATH, 0);
    setenv("VANTREL_JUNIT_XSD", VANTREL_JUNIT_XSD_PATH, 0);
    return true;
}();

}  // namespace

TempDir::TempDir(const std::string& base) {
    std::string pattern =
        ((base.empty() ? fs::temp_directory_path() : fs::path(base)) / "vantrel-records-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(m_path, error);
}

ActionRecord SampleRecord(ActionKind kind, const std::string& serial, const std::string& startedUtc) {
    ActionRecord r;
    r.id = NewRecordId();
    r.kind = kind;
    r.bench = {"bench-1", "/srv/bench-1", "1.0.0", "6.02", "operator1"};
    r.board = {"Corvit", 0, 0x300, 7, 12, serial};
    r.startedUtc = startedUtc;
    r.endedUtc = startedUtc.substr(0, 17) + "04.250Z";
    r.verdict = "SUCCESS";
    r.passed = true;
    r.consoleText = std::string(ActionKindName(kind)) + " run\nSUCCESS\n";
    switch (kind) {
    case ActionKind::InterruptTest:
        r.interrupt = InterruptFigures{2000, 2560, 2571, 0, 0, 5000, 150, 200};
        break;
    case ActionKind::MeasureReferences:
        r.outcome = MeasureOutcome::Written;
        r.meterModel = MeterModel::Fluke45;
        r.meterSerial = "FL45-7731";
        r.meterStanding = vantrel::metrology::MeterStanding::InCalibration;
        r.meterAssetTag = "LAB-DMM-017";
        r.meterCertificate = "CAL-2026-0412";
        r.meterCertificateDate = "2026-03-10";
        r.meterLab = "Example Calibration Laboratory";
        r.meterDue = "2027-03-10";
        r.ambientCelsius = 22.5;
        r.channels = {{0, 4.9987, 4.5, 5.2, ChannelVerdict::Pass, 4.9, 4.9987, std::nullopt, 10.0, 0.002136,
                       0.0001, 0.025, 0.0, 6, 0.0025, 0.0, 0.6},
                      {1, 2.5012, 2.1, 2.9, ChannelVerdict::Pass, 2.5, 2.5012, std::nullopt, 10.0, 0.001442,
                       0.0001, 0.025, 0.0, 6, 0.0025, 0.0, 0.6},
                      {2, 1.2501, 1.0, 1.5, ChannelVerdict::Pass, 1.25, 1.2501, std::nullopt, 10.0, 0.000946,
                       0.0001, 0.025, 0.0, 6, std::nullopt, std::nullopt, std::nullopt}};
        break;
    case ActionKind::EepromWrite:
        r.channels = {{0,
                       std::nullopt,
                       std::nullopt,
                       std::nullopt,
                       {},
                       4.9,
                       5.0,
                       std::nullopt,
                       std::nullopt,
                       std::nullopt}};
        break;
    case ActionKind::Sample:
        r.channels = {{0,
                       std::nullopt,
                       std::nullopt,
                       std::nullopt,
                       {},
                       std::nullopt,
                       std::nullopt,
                       2047,
                       std::nullopt,
                       std::nullopt},
                      {1,
                       std::nullopt,
                       std::nullopt,
                       std::nullopt,
                       {},
                       std::nullopt,
                       std::nullopt,
                       -12,
                       std::nullopt,
                       std::nullopt}};
        break;
    default: break;
    }
    return r;
}

const std::vector<std::string>& HostileSerials() {
    static const std::vector<std::string> serials = {
        "SN-1'; DROP TABLE records;--",
        "=HYPERLINK(\"http://x\",\"y\")",
        "+1+2",
        "-2+3",
        "@SUM(A1)",
        "SN-2\nsecond line",
        "SN-3\r\n\"quoted\", with comma",
        "Seriennr.-Ä-Ω-板-😀",
        "<tag attr='x'>&amp;</tag>",
        "\ttabbed",
        "ctl-\x01\x1b[31m",
    };
    return serials;
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

ProgramResult RunShell(const std::string& commandLine) {
    TempDir scratch;
    const std::string out = scratch / "out", err = scratch / "err";
    const int status =
        std::system(("( " + commandLine + "\n) >" + out + " 2>" + err + " </dev/null").c_str());
    ProgramResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

namespace {

std::string FindPgBin() {
    glob_t found{};
    std::string bin;
    if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &found) == 0 && found.gl_pathc > 0)
        bin = fs::path(found.gl_pathv[found.gl_pathc - 1]).parent_path().string();
    globfree(&found);
    return bin;
}

}  // namespace

// As root the server runs as nobody, who must reach its folder: /tmp is open to everyone,
// a TMPDIR under root's home may not be.
PgServer::PgServer() : m_dir(geteuid() == 0 ? "/tmp" : "") {
    m_bin = FindPgBin();
    if (m_bin.empty()) {
        m_why = "no PostgreSQL server programs under /usr/lib/postgresql";
        return;
    }
    m_socketDir = m_dir / "socket";
    m_dataDir = m_dir / "data";
    fs::create_directories(m_socketDir);
    m_port = 20000 + static_cast<int>(getpid() % 20000);
    if (geteuid() == 0) {
        // The server refuses to run as root: the cluster belongs to nobody.
        chmod(m_dir.path().c_str(), 0755);
        RunShell("chown nobody " + ShellQuoted(m_socketDir) + " && install -d -o nobody " +
                 ShellQuoted(m_dataDir));
    }
    const auto init = RunShell(
        AsServerUser(m_bin + "/initdb --no-sync -A trust -U vantrel_admin -E UTF8 --locale=C.UTF-8 -D " +
                     ShellQuoted(m_dataDir)));
    if (init.exitCode != 0) {
        m_why = "initdb failed: " + init.err;
        return;
    }
    Start();
    const auto created =
        RunShell("psql -X -q -h " + ShellQuoted(m_socketDir) + " -p " + std::to_string(m_port) +
                 " -U vantrel_admin -d postgres -c 'CREATE DATABASE vantrel'");
    m_ok = created.exitCode == 0;
    if (!m_ok) m_why = "the server did not start: " + created.err + ReadFile(m_dir / "server.log");
}

PgServer::~PgServer() { Stop(); }

std::string PgServer::AsServerUser(const std::string& commandLine) const {
    if (geteuid() != 0) return commandLine;
    return "cd / && runuser -u nobody -- " + commandLine;
}

void PgServer::Start() {
    const std::string options = "-k " + m_socketDir + " -p " + std::to_string(m_port) +
                                " -c listen_addresses= -c fsync=off -c full_page_writes=off";
    const std::string log = m_dir / "server.log";
    if (geteuid() == 0) RunShell("touch " + ShellQuoted(log) + " && chown nobody " + ShellQuoted(log));
    RunShell(AsServerUser(m_bin + "/pg_ctl -w -t 60 -D " + ShellQuoted(m_dataDir) + " -l " +
                          ShellQuoted(log) + " -o " + ShellQuoted(options) + " start"));
}

void PgServer::Stop() {
    if (m_bin.empty() || !fs::exists(m_dataDir + "/postmaster.pid")) return;
    RunShell(AsServerUser(m_bin + "/pg_ctl -w -t 60 -D " + ShellQuoted(m_dataDir) + " -m fast stop"));
}

bool PgServer::Freeze(bool stopped) {
    std::ifstream pidFile(m_dataDir + "/postmaster.pid");
    std::string pid;
    if (!std::getline(pidFile, pid) || pid.empty()) return false;
    const std::string signal = stopped ? "-STOP" : "-CONT";
    return RunShell("kill " + signal + " " + pid + " $(ps -o pid= --ppid " + pid + ")").exitCode == 0;
}

std::string PgServer::Conninfo(const std::string& database, const std::string& user) const {
    return "host=" + m_socketDir + " port=" + std::to_string(m_port) + " dbname=" + database +
           " user=" + user;
}

std::string PgServer::Environment(const std::string& user, const std::string& database) const {
    return "PGHOST=" + ShellQuoted(m_socketDir) + " PGPORT=" + std::to_string(m_port) + " PGUSER=" + user +
           " PGDATABASE=" + database;
}

std::string PgServer::Psql(const std::string& sql, const std::string& database) const {
    const auto result =
        RunShell("psql -X -q -At -v ON_ERROR_STOP=1 -h " + ShellQuoted(m_socketDir) + " -p " +
                 std::to_string(m_port) + " -U vantrel_admin -d " + database + " -c " + ShellQuoted(sql));
    if (result.exitCode != 0) throw std::runtime_error("psql: " + result.err);
    return result.out;
}

void PgServer::CreateLineDatabase(const std::string& database) {
    if (database != "vantrel") Psql("CREATE DATABASE " + database, "postgres");
    const auto schema = RunShell(
        "vantrel_schema=$(mktemp) && \"$VANTREL_RECORDS_PROGRAM\" pg-schema > \"$vantrel_schema\" && psql -X "
        "-q -v ON_ERROR_STOP=1 -h " +
        ShellQuoted(m_socketDir) + " -p " + std::to_string(m_port) + " -U vantrel_admin -d " + database +
        " -f \"$vantrel_schema\"; rc=$?; rm -f \"$vantrel_schema\"; exit $rc");
    if (schema.exitCode != 0) throw std::runtime_error("schema: " + schema.err);
    // The bench's role may insert records and nothing else.
    Psql(
        "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'vantrel_bench') THEN "
        "CREATE ROLE vantrel_bench LOGIN; END IF; END $$;"
        "GRANT CONNECT ON DATABASE " +
            database +
            " TO vantrel_bench;"
            "GRANT USAGE ON SCHEMA public TO vantrel_bench;"
            "GRANT INSERT ON vantrel_records, vantrel_interrupt_figures, vantrel_channel_figures TO "
            "vantrel_bench;",
        database);
}

}  // namespace recordstest
