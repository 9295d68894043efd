#pragma once
// The dashboard's web server: the page, its script and style, the line's state as JSON and
// as an event stream, the charts as PNG and certificates on demand. It answers GET (and
// HEAD) only and changes nothing. Beyond the loopback it asks for the access token.

#include "dashboard/ChartPainter.h"
#include "dashboard/LineState.h"
#include "dashboard/RecordSource.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vantrel::dashboard {

inline constexpr const char* kDefaultHost = "127.0.0.1";
inline constexpr int kDefaultPort = 8470;
inline constexpr std::size_t kDefaultMaxStreams = 100;
// Threads beyond the event streams, for pages, pictures and certificates.
inline constexpr std::size_t kRequestThreads = 8;
inline constexpr std::size_t kMaxRequestBody = 1024;
inline constexpr const char* kTokenCookie = "vantrel_token";

struct ServerSettings {
    std::string host = kDefaultHost;
    int port = kDefaultPort;  // 0: any free port
    std::string token;        // required beyond the loopback
    std::chrono::seconds quietAfter = kDefaultQuietAfter;
    std::size_t maxStreams = kDefaultMaxStreams;
    std::optional<std::string> registerPath;  // the register of reference meters, if any
};

// "ADDRESS:PORT", "[v6-address]:PORT"; nullopt when it is neither.
std::optional<std::pair<std::string, int>> ParseListen(const std::string& text);
bool IsLoopback(const std::string& host);

class DashboardServer {
public:
    DashboardServer(ServerSettings settings, RecordSource& source, ChartPainter& painter);
    ~DashboardServer();
    DashboardServer(const DashboardServer&) = delete;
    DashboardServer& operator=(const DashboardServer&) = delete;

    // Binds and starts serving on threads of its own; an empty text, or why it cannot.
    std::string Start();
    void Stop();
    int port() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vantrel::dashboard
