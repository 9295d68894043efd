#include "dashboard/DashboardServer.h"

#include "dashboard/MeterList.h"
#include "dashboard/PageAssets.h"
#include "report/Certificate.h"
#include "report/CertificateDocument.h"
#include "report/ReportCharts.h"

#include <httplib.h>
#include <malloc.h>

#include <atomic>
#include <condition_variable>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

namespace vantrel::dashboard {
namespace {

using namespace std::chrono;

// The page loads only what this server serves and runs only its own script.
constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
// A certificate carries its style inline and runs nothing.
constexpr const char* kCertificatePolicy =
    "default-src 'none'; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'; frame-ancestors "
    "'none'";

constexpr seconds kRefreshPeriod{30};     // state made anew even without a change (ages, the day)
constexpr milliseconds kWatchSlice{250};  // how often the watcher looks at the stop flag
// After a change the watcher waits this long for the rest of a burst, then reads once.
constexpr milliseconds kCoalesceWindow{100};
constexpr seconds kStreamKeepAlive{15};  // a comment on a quiet stream finds a gone viewer
constexpr time_t kReadTimeoutSeconds = 5;
constexpr std::size_t kKeepAliveRequests = 100;
// malloc arenas for the whole server: the Qt thread's, where charts are drawn, and two that
// the first threads to allocate (the listener and the watcher, which keeps the day's tally)
// open and the request threads then share. With an arena per thread (up to eight per core)
// each keeps free memory of its own; with only two, the tally's long-lived allocations land
// among a chart drawing's freed megabytes and keep those pages resident.
constexpr int kMallocArenas = 3;

// A part of the page's JSON and the version in which it last changed.
struct Part {
    std::int64_t changed = 0;
    std::string json;
};

// One version of the page's state. Versions count from 1; a viewer that has seen version n
// is sent only the parts changed after it, a new viewer (n = 0) everything.
struct Published {
    std::int64_t version = 0;
    std::string head;  // an object: day, times, counts
    std::vector<std::pair<std::string, Part>> tiles;
    std::int64_t tilesListed = 0;  // when a bench last came or went: then every tile is sent
    std::map<std::string, Part> sections;
    std::string full;          // for state.json and a new viewer
    std::string fromPrevious;  // for a viewer that has the version before
    std::shared_ptr<const LineState> state;
};

std::string UpdateSince(const Published& p, std::int64_t seen) {
    std::string json = "{\"version\":" + std::to_string(p.version) + "," + p.head.substr(1);
    json.pop_back();
    const bool all = p.tilesListed > seen;
    json += all ? ",\"benches\":[" : ",\"tiles\":[";
    bool first = true;
    for (const auto& [key, tile] : p.tiles) {
        if (!all && tile.changed <= seen) continue;
        json += (first ? "" : ",") + tile.json;
        first = false;
    }
    json += "]";
    for (const auto& [name, section] : p.sections)
        if (section.changed > seen) json += ",\"" + name + "\":" + section.json;
    return json + "}";
}

// A part keeps the version it last changed in while its text stays the same.
Part Carried(const Part* before, std::string json, std::int64_t version) {
    if (before && before->json == json) return {before->changed, std::move(json)};
    return {version, std::move(json)};
}

// Equal texts compared in a time that does not depend on where they differ.
bool SameSecret(const std::string& given, const std::string& secret) {
    unsigned char difference = given.size() == secret.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i)
        difference |=
            static_cast<unsigned char>(given[i] ^ secret[i % std::max<std::size_t>(secret.size(), 1)]);
    return difference == 0 && !secret.empty();
}

std::string CookieValue(const std::string& header, const std::string& name) {
    const std::string key = name + "=";
    for (std::size_t at = 0; at < header.size();) {
        while (at < header.size() && (header[at] == ' ' || header[at] == ';')) ++at;
        const std::size_t end = std::min(header.find(';', at), header.size());
        if (header.compare(at, key.size(), key) == 0)
            return header.substr(at + key.size(), end - at - key.size());
        at = end;
    }
    return {};
}

void SetCommonHeaders(httplib::Response& res) {
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Cross-Origin-Resource-Policy", "same-origin");
}

void Refuse(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_header("Content-Security-Policy", kPagePolicy);
    res.set_content(text + "\n", "text/plain; charset=utf-8");
}

}  // namespace

std::optional<std::pair<std::string, int>> ParseListen(const std::string& text) {
    std::string host;
    std::string port;
    if (text.starts_with("[")) {
        const auto close = text.find("]:");
        if (close == std::string::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string::npos || text.find(':') != colon) return std::nullopt;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty() || port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int number = std::stoi(port);
    if (number > 65535) return std::nullopt;
    return std::pair{host, number};
}

bool IsLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host.starts_with("127.");
}

struct DashboardServer::Impl {
    Impl(ServerSettings s, RecordSource& src, ChartPainter& p)
        : settings(std::move(s)), source(src), painter(p) {}

    ServerSettings settings;
    RecordSource& source;
    ChartPainter& painter;
    httplib::Server http;
    std::thread listener;
    std::thread watcher;
    int boundPort = 0;

    std::mutex sourceMutex;  // the source reads on one thread at a time
    // The watcher's own: today's tally, the reference meters' section, the last refresh.
    std::unique_ptr<LineTally> tally;
    std::string meters = "null";
    steady_clock::time_point lastRefresh{};
    std::mutex stateMutex;
    std::condition_variable stateChanged;
    std::shared_ptr<const Published> published = std::make_shared<Published>();
    bool stopping = false;
    std::atomic<std::size_t> streams{0};

    std::mutex chartMutex;
    std::map<std::string, std::pair<std::size_t, std::string>> chartCache;  // name: hash, PNG

    void Routes();
    bool Allowed(const httplib::Request& req, httplib::Response& res) const;
    void Watch();
    void Update(bool changed);
    void Publish(system_clock::time_point now, std::optional<BenchBacklog> backlog);
    std::shared_ptr<const Published> Current() {
        std::lock_guard lock(stateMutex);
        return published;
    }
    void Page(httplib::Response& res, const char* body, const char* type) const;
    void Events(httplib::Response& res);
    void Chart(const httplib::Request& req, httplib::Response& res);
    void CertificatePage(const httplib::Request& req, httplib::Response& res);
};

bool DashboardServer::Impl::Allowed(const httplib::Request& req, httplib::Response& res) const {
    if (req.method != "GET" && req.method != "HEAD") {
        res.set_header("Allow", "GET, HEAD");
        Refuse(res, 405, "Only GET: this dashboard changes nothing.");
        return false;
    }
    if (settings.token.empty()) return true;
    std::string given = CookieValue(req.get_header_value("Cookie"), kTokenCookie);
    if (const auto bearer = req.get_header_value("Authorization"); bearer.starts_with("Bearer "))
        given = bearer.substr(7);
    if (SameSecret(given, settings.token)) return true;
    // The token as a query once: kept in a cookie, then off the address bar.
    if (req.path == "/" && SameSecret(req.get_param_value("token"), settings.token)) {
        res.set_header("Set-Cookie", std::string(kTokenCookie) + "=" + settings.token +
                                         "; Path=/; HttpOnly; SameSite=Strict");
        res.set_redirect("/", 303);
        return false;
    }
    Refuse(res, 401, "The access token is missing or wrong.");
    return false;
}

void DashboardServer::Impl::Page(httplib::Response& res, const char* body, const char* type) const {
    res.set_header("Content-Security-Policy", kPagePolicy);
    res.set_header("Cache-Control", "no-cache");
    res.set_content(body, type);
}

void DashboardServer::Impl::Routes() {
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        SetCommonHeaders(res);
        return Allowed(req, res) ? httplib::Server::HandlerResponse::Unhandled
                                 : httplib::Server::HandlerResponse::Handled;
    });
    http.Get("/", [this](const httplib::Request&, httplib::Response& res) {
        Page(res, kIndexHtml, "text/html; charset=utf-8");
    });
    http.Get("/app.js", [this](const httplib::Request&, httplib::Response& res) {
        Page(res, kAppJs, "text/javascript; charset=utf-8");
    });
    http.Get("/style.css", [this](const httplib::Request&, httplib::Response& res) {
        Page(res, kStyleCss, "text/css; charset=utf-8");
    });
    http.Get("/state.json", [this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Security-Policy", kPagePolicy);
        res.set_header("Cache-Control", "no-store");
        res.set_content(Current()->full, "application/json");
    });
    http.Get("/events", [this](const httplib::Request&, httplib::Response& res) { Events(res); });
    http.Get("/chart", [this](const httplib::Request& req, httplib::Response& res) { Chart(req, res); });
    http.Get("/certificate",
             [this](const httplib::Request& req, httplib::Response& res) { CertificatePage(req, res); });
    // Browsers ask for an icon; there is none to give.
    http.Get("/favicon.ico", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) Refuse(res, res.status, "Not here.");
    });
}

void DashboardServer::Impl::Events(httplib::Response& res) {
    if (streams.fetch_add(1) >= settings.maxStreams) {
        streams.fetch_sub(1);
        Refuse(res, 503, "Too many open dashboards.");
        return;
    }
    res.set_header("Cache-Control", "no-store");
    res.set_header("Content-Security-Policy", kPagePolicy);
    auto seen = std::make_shared<std::int64_t>(0);
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, seen](std::size_t, httplib::DataSink& sink) {
            std::shared_ptr<const Published> now;
            {
                std::unique_lock lock(stateMutex);
                stateChanged.wait_for(lock, kStreamKeepAlive,
                                      [&] { return stopping || published->version != *seen; });
                if (stopping) return false;
                now = published;
            }
            if (now->version == *seen) {
                const std::string comment = ": still here\n\n";
                return sink.write(comment.data(), comment.size());
            }
            const std::string& update = *seen == 0                  ? now->full
                                        : *seen == now->version - 1 ? now->fromPrevious
                                                                    : UpdateSince(*now, *seen);
            *seen = now->version;
            const std::string event = "event: state\ndata: " + update + "\n\n";
            return sink.write(event.data(), event.size());
        },
        [this](bool) { streams.fetch_sub(1); });
}

void DashboardServer::Impl::Chart(const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.get_param_value("name");
    const auto current = Current();
    if (!current->state) return Refuse(res, 404, "No such chart.");
    const LineState& state = *current->state;
    const auto entry = std::find_if(state.charts.begin(), state.charts.end(),
                                    [&](const ChartEntry& c) { return c.name == name; });
    if (entry == state.charts.end()) return Refuse(res, 404, "No such chart.");
    std::optional<std::string> png;
    {
        std::lock_guard lock(chartMutex);
        if (const auto at = chartCache.find(name); at != chartCache.end() && at->second.first == entry->hash)
            png = at->second.second;
    }
    if (!png) {
        const auto keep = current->state;  // the data stays alive while the chart is drawn
        if (name == "interrupt")
            png = painter.Paint([keep](const std::string& path) {
                return report::WriteInterruptTiming(InterruptChartPoints(keep->interrupts), path);
            });
        else {
            const std::size_t index = std::stoul(name.substr(std::string("readings-").size()));
            png = painter.Paint([keep, index](const std::string& path) {
                return report::WriteReadingHistogram(keep->readings.at(index), path);
            });
        }
        if (!png) return Refuse(res, 503, "The chart cannot be drawn now.");
        std::lock_guard lock(chartMutex);
        chartCache[name] = {entry->hash, *png};
    }
    res.set_header("Cache-Control", "no-cache");
    res.set_content(*png, "image/png");
}

void DashboardServer::Impl::CertificatePage(const httplib::Request& req, httplib::Response& res) {
    const std::string serial = req.get_param_value("serial");
    const std::string id = req.get_param_value("id");
    std::optional<report::Certificate> certificate;
    try {
        std::lock_guard lock(sourceMutex);
        if (!id.empty()) {
            if (const auto record = source.Find(id)) {
                const auto history = record->board.serialNumber.empty()
                                         ? std::vector<ActionRecord>{}
                                         : source.History(record->board.serialNumber);
                certificate = report::MakeCertificate(history, *record);
            }
        } else if (!serial.empty()) {
            if (const auto history = source.History(serial); !history.empty())
                certificate = report::MakeCertificate(history, history.back());
        }
    } catch (const std::exception& error) {
        return Refuse(res, 503, error.what());
    }
    if (!certificate) return Refuse(res, 404, "No board with that serial number and no record with that id.");
    res.set_header("Content-Security-Policy", kCertificatePolicy);
    res.set_header("Cache-Control", "no-store");
    res.set_content(report::CertificateHtml(*certificate), "text/html; charset=utf-8");
}

void DashboardServer::Impl::Publish(system_clock::time_point now, std::optional<BenchBacklog> backlog) {
    auto state = std::make_shared<LineState>(tally->State(now));
    state->backlog = backlog;
    StateParts parts = LineStateParts(*state, settings.quietAfter);
    parts.sections["meters"] = meters;
    const auto before = Current();
    auto next = std::make_shared<Published>();
    next->version = before->version + 1;
    next->head = std::move(parts.head);
    std::map<std::string, const Part*> oldTiles;
    for (const auto& [key, tile] : before->tiles) oldTiles[key] = &tile;
    bool sameBenches = oldTiles.size() == parts.tiles.size();
    for (auto& [key, json] : parts.tiles) {
        const auto old = oldTiles.find(key);
        sameBenches = sameBenches && old != oldTiles.end();
        next->tiles.emplace_back(
            key, Carried(old == oldTiles.end() ? nullptr : old->second, std::move(json), next->version));
    }
    next->tilesListed = sameBenches ? before->tilesListed : next->version;
    for (auto& [name, json] : parts.sections) {
        const auto old = before->sections.find(name);
        next->sections[name] =
            Carried(old == before->sections.end() ? nullptr : &old->second, std::move(json), next->version);
    }
    next->full = UpdateSince(*next, 0);
    next->fromPrevious = UpdateSince(*next, before->version);
    next->state = std::move(state);
    {
        std::lock_guard lock(stateMutex);
        published = std::move(next);
    }
    stateChanged.notify_all();
}

// Brings the state up to date: read afresh on a new day (and after a failure), otherwise
// only the records that came since the last look.
void DashboardServer::Impl::Update(bool changed) {
    const auto now = system_clock::now();
    std::optional<BenchBacklog> backlog;
    {
        std::lock_guard lock(sourceMutex);
        if (!tally || tally->day() != DayOf(now)) {
            auto fresh = std::make_unique<LineTally>(now);
            source.Restart();
            source.ForEachNew(fresh->since(), [&](const ActionRecord& r) { fresh->Add(r); });
            tally = std::move(fresh);
            changed = true;
        } else if (changed) {
            source.ForEachNew(tally->since(), [&](const ActionRecord& r) { tally->Add(r); });
        }
        backlog = source.Backlog();
    }
    const bool refresh = steady_clock::now() - lastRefresh >= kRefreshPeriod;
    if (refresh) meters = MeterListJson(settings.registerPath, year_month_day(floor<days>(now)));
    if (!changed && !refresh) return;
    lastRefresh = steady_clock::now();
    Publish(now, backlog);
}

void DashboardServer::Impl::Watch() {
    bool changed = false;
    for (;;) {
        {
            std::lock_guard lock(stateMutex);
            if (stopping) return;
        }
        try {
            Update(changed);
            changed = source.WaitForChange(kWatchSlice);
            if (changed) {
                std::this_thread::sleep_for(kCoalesceWindow);
                source.WaitForChange(milliseconds(0));  // the burst's other notices
            }
        } catch (const std::exception& error) {
            // The database may come back: keep showing the last state, read afresh then.
            std::cerr << "vantrel-records serve: " << error.what() << '\n';
            tally.reset();
            std::this_thread::sleep_for(seconds(1));
            changed = true;
        }
    }
}

DashboardServer::DashboardServer(ServerSettings settings, RecordSource& source, ChartPainter& painter)
    : m_impl(std::make_unique<Impl>(std::move(settings), source, painter)) {}

DashboardServer::~DashboardServer() { Stop(); }

std::string DashboardServer::Start() {
    Impl& s = *m_impl;
    if (!IsLoopback(s.settings.host) && s.settings.token.empty())
        return "Listening beyond the loopback needs an access token in the settings.";
    try {
        s.Update(true);
    } catch (const std::exception& error) {
        return error.what();
    }
    s.Routes();
    mallopt(M_ARENA_MAX, kMallocArenas);  // before the pool's threads first allocate
    const std::size_t threads = s.settings.maxStreams + kRequestThreads;
    s.http.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    s.http.set_payload_max_length(kMaxRequestBody);
    s.http.set_read_timeout(kReadTimeoutSeconds, 0);
    s.http.set_keep_alive_max_count(kKeepAliveRequests);
    if (s.settings.port == 0)
        s.boundPort = s.http.bind_to_any_port(s.settings.host);
    else if (s.http.bind_to_port(s.settings.host, s.settings.port))
        s.boundPort = s.settings.port;
    if (s.boundPort <= 0)
        return "Cannot listen on " + s.settings.host + ":" + std::to_string(s.settings.port) +
               " (address in use or not this computer's).";
    s.listener = std::thread([&s] { s.http.listen_after_bind(); });
    s.watcher = std::thread([&s] { s.Watch(); });
    return {};
}

void DashboardServer::Stop() {
    Impl& s = *m_impl;
    {
        std::lock_guard lock(s.stateMutex);
        s.stopping = true;
    }
    s.stateChanged.notify_all();
    s.http.stop();
    if (s.listener.joinable()) s.listener.join();
    if (s.watcher.joinable()) s.watcher.join();
}

int DashboardServer::port() const { return m_impl->boundPort; }

}  // namespace vantrel::dashboard
