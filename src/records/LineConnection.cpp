#include "records/LineConnection.h"

#include "platform/Files.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <regex>

namespace vantrel::records {
namespace {

// The socket is looked at this often, so that a stop is seen soon.
constexpr auto kWaitSlice = std::chrono::milliseconds(50);

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// The server's words when it refuses this bench's role, password or database; anything else
// at connection time (no answer, too many clients, starting up, shutting down) passes.
bool ServerRefusedConnection(const std::string& message) {
    static constexpr std::string_view kRefusals[] = {
        "password authentication failed", "authentication failed", "does not exist",
        "no pg_hba.conf entry",           "permission denied",     "not permitted to log in",
        "no password supplied",           "is not permitted"};
    return std::any_of(std::begin(kRefusals), std::end(kRefusals),
                       [&](std::string_view phrase) { return message.find(phrase) != std::string::npos; });
}

std::string MillisecondsText(std::chrono::milliseconds value) { return std::to_string(value.count()) + "ms"; }

}  // namespace

LineFailure::Kind KindOfSqlState(const std::string& sqlState) {
    using Kind = LineFailure::Kind;
    const std::string cls = sqlState.substr(0, 2);
    // Data exceptions, constraints and size limits belong to the record: sent again
    // unchanged, it would be refused again.
    if (cls == "22" || cls == "23" || cls == "54") return Kind::RecordRefused;
    // Authorization, privileges, a missing database, table or column: the line refuses
    // every record of this bench until someone mends it.
    if (cls == "28" || cls == "42" || cls == "3D" || cls == "3F") return Kind::BenchRefused;
    // Everything else passes: connections, time-outs and cancels, shutdowns, lack of
    // resources, serialization failures and deadlocks.
    return Kind::Outage;
}

LineConnection::LineConnection(const std::string& conninfo, const LineLimits& limits,
                               std::function<LineClock::time_point()> stopAt)
    : m_conninfo(conninfo), m_limits(limits), m_stopAt(std::move(stopAt)) {
    // libpq's own settings apply first; whatever the connection string sets wins. The
    // keepalives find a server that went away while a statement waits.
    const std::string connectSeconds = std::to_string(
        std::max<long long>(1, std::chrono::ceil<std::chrono::seconds>(limits.connect).count()));
    const std::array<const char*, 9> keys = {"connect_timeout",
                                             "application_name",
                                             "keepalives",
                                             "keepalives_idle",
                                             "keepalives_interval",
                                             "keepalives_count",
                                             "tcp_user_timeout",
                                             "dbname",
                                             nullptr};
    const std::array<const char*, 9> values = {connectSeconds.c_str(),
                                               "vantrel",
                                               "1",
                                               "5",
                                               "2",
                                               "3",
                                               "10000",
                                               conninfo.empty() ? nullptr : conninfo.c_str(),
                                               nullptr};
    m_conn.reset(PQconnectStartParams(keys.data(), values.data(), 1));
    if (!m_conn) Fail("out of memory");
    if (PQstatus(m_conn.get()) == CONNECTION_BAD) Fail(Trimmed(PQerrorMessage(m_conn.get())));
    const auto deadline = Deadline(limits.connect);
    for (PostgresPollingStatusType state = PGRES_POLLING_WRITING;;) {
        if (state == PGRES_POLLING_OK) break;
        if (state == PGRES_POLLING_FAILED) {
            const std::string message = Trimmed(PQerrorMessage(m_conn.get()));
            Fail(message, ServerRefusedConnection(message) ? "28000" : "08001");
        }
        Wait(state == PGRES_POLLING_WRITING, deadline);
        state = PQconnectPoll(m_conn.get());
    }
    if (PQsetnonblocking(m_conn.get(), 1) != 0) Fail(Trimmed(PQerrorMessage(m_conn.get())));
    // The server gives up on its side too, so that a locked table frees its backend.
    const std::string settings = "SET statement_timeout = '" + MillisecondsText(limits.serverStatement) +
                                 "'; SET lock_timeout = '" + MillisecondsText(limits.serverLock) + "'";
    Exec(settings.c_str());
}

LineConnection::~LineConnection() = default;

void LineConnection::Finish::operator()(pg_conn* conn) const { PQfinish(conn); }

LineClock::time_point LineConnection::Deadline(std::chrono::milliseconds limit) const {
    return LineClock::now() + limit;
}

void LineConnection::Fail(const std::string& text, const std::string& sqlState) {
    LineFailure failure;
    failure.sqlState = sqlState;
    failure.kind = sqlState.empty() ? LineFailure::Kind::Outage : KindOfSqlState(sqlState);
    failure.text = RedactConninfo(text, m_conninfo);
    throw failure;
}

void LineConnection::Wait(bool forWrite, LineClock::time_point deadline) {
    for (;;) {
        const auto until = std::min(deadline, m_stopAt());
        const auto now = LineClock::now();
        if (now >= until)
            Fail(until == deadline ? "the line's database did not answer in time"
                                   : "stopped while waiting for the line's database");
        const auto slice = std::min<LineClock::duration>(until - now, kWaitSlice);
        const int socket = PQsocket(m_conn.get());
        if (socket < 0) Fail("the connection to the line's database is closed");
        const bool ready = platform::WaitForSocket(
            socket, forWrite, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(slice).count()));
        if (ready) return;
    }
}

void LineConnection::Exec(const char* sql, const std::vector<const char*>& values) {
    const auto deadline = Deadline(m_limits.statement);
    const int sent = values.empty() ? PQsendQuery(m_conn.get(), sql)
                                    : PQsendQueryParams(m_conn.get(), sql, static_cast<int>(values.size()),
                                                        nullptr, values.data(), nullptr, nullptr, 0);
    if (!sent) Fail(Trimmed(PQerrorMessage(m_conn.get())));
    for (int flushed; (flushed = PQflush(m_conn.get())) != 0;) {
        if (flushed < 0) Fail(Trimmed(PQerrorMessage(m_conn.get())));
        Wait(true, deadline);
    }
    std::string error, sqlState;
    for (;;) {
        while (PQisBusy(m_conn.get())) {
            Wait(false, deadline);
            if (!PQconsumeInput(m_conn.get())) Fail(Trimmed(PQerrorMessage(m_conn.get())));
        }
        Result result(PQgetResult(m_conn.get()));
        if (!result) break;
        const auto status = PQresultStatus(result.get());
        if (error.empty() && status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            error = Trimmed(PQresultErrorMessage(result.get()));
            const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
            sqlState = state ? state : "";
        }
    }
    if (!error.empty()) Fail(error, sqlState);
    if (PQstatus(m_conn.get()) == CONNECTION_BAD) Fail(Trimmed(PQerrorMessage(m_conn.get())));
}

bool LineConnection::Lost() const { return PQstatus(m_conn.get()) == CONNECTION_BAD; }

std::string RedactConninfo(const std::string& text, const std::string& conninfo) {
    std::vector<std::string> secrets;
    char* error = nullptr;
    if (PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error)) {
        for (PQconninfoOption* option = options; option->keyword; ++option)
            if (std::string_view(option->keyword) == "password" && option->val && *option->val)
                secrets.emplace_back(option->val);
        PQconninfoFree(options);
    }
    PQfreemem(error);
    // A string libpq cannot read still has its password taken out by its shape: the value of
    // password= (quoted or not) and the part after the colon of a URI's user information.
    static const std::regex kKeyword(R"(password\s*=\s*('(?:[^'\\]|\\.)*'?|[^\s]+))", std::regex::icase);
    static const std::regex kUri(R"(^postgres(?:ql)?://[^:/@\s]*:([^@\s]*)@)", std::regex::icase);
    std::smatch match;
    for (auto it = std::sregex_iterator(conninfo.begin(), conninfo.end(), kKeyword);
         it != std::sregex_iterator(); ++it) {
        std::string value = (*it)[1].str();
        if (value.size() >= 2 && value.front() == '\'')
            value = value.substr(1, value.size() - (value.back() == '\'' ? 2 : 1));
        if (!value.empty()) secrets.push_back(value);
        if (!(*it)[1].str().empty()) secrets.push_back((*it)[1].str());
    }
    if (std::regex_search(conninfo, match, kUri) && match[1].length() > 0) {
        secrets.push_back(match[1].str());
        // libpq shows a URI's password decoded; hide the decoded form too.
        std::string decoded;
        const std::string raw = match[1].str();
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const bool escape = raw[i] == '%' && i + 2 < raw.size() &&
                                std::isxdigit(static_cast<unsigned char>(raw[i + 1])) &&
                                std::isxdigit(static_cast<unsigned char>(raw[i + 2]));
            if (escape) {
                decoded += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                decoded += raw[i];
            }
        }
        secrets.push_back(decoded);
    }
    std::sort(secrets.begin(), secrets.end(),
              [](const auto& a, const auto& b) { return a.size() > b.size(); });
    std::string result = text;
    for (const auto& secret : secrets) {
        if (secret.empty()) continue;
        for (auto at = result.find(secret); at != std::string::npos; at = result.find(secret, at + 3))
            result.replace(at, secret.size(), "***");
    }
    return result;
}

}  // namespace vantrel::records
