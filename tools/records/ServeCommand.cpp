// serve: the live line dashboard in the browser, over the line's PostgreSQL database or a
// bench's SQLite file. Read-only; stops on SIGINT or SIGTERM.
#include "Commands.h"
#include "Options.h"

#include "dashboard/DashboardServer.h"
#include "metrology/MetrologySettings.h"
#include "platform/IniFile.h"
#include "report/OffscreenApplication.h"

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <thread>

namespace vantrel::records::cli {
namespace {

using namespace vantrel::dashboard;

struct ServeOptions {
    std::string listen;
    std::string conninfo;
    std::string databasePath;
    std::string settingsPath;
    ServerSettings server;
};

int WholeNumber(const std::string& text, const std::string& name) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError{name + " needs a whole number"};
    return std::stoi(text);
}

// The settings file's [dashboard] group gives what the command line leaves out; the access
// token comes only from there, never from a command line that others can read.
void ApplySettingsFile(const std::string& path, ServeOptions& options) {
    const auto values = platform::ReadIniGroup(path, "dashboard");
    const auto value = [&](const char* key) {
        const auto at = values.find(key);
        return at == values.end() ? std::string() : at->second;
    };
    if (options.listen.empty()) options.listen = value("listen");
    if (options.conninfo.empty() && options.databasePath.empty()) {
        options.conninfo = value("postgres");
        options.databasePath = value("database");
    }
    options.server.token = value("token");
    if (const auto quiet = value("quiet_after"); !quiet.empty())
        options.server.quietAfter = std::chrono::seconds(WholeNumber(quiet, "quiet_after"));
}

ServeOptions TakeServeOptions(CommandContext& context) {
    ServeOptions options;
    options.listen = TakeValue(context.args, "--listen");
    options.conninfo = TakeValue(context.args, "--pg");
    options.databasePath = TakeValue(context.args, "--db");
    if (!options.conninfo.empty() && !options.databasePath.empty())
        throw UsageError{"serve reads either --pg or --db, not both"};
    if (const auto quiet = TakeValue(context.args, "--quiet-after"); !quiet.empty())
        options.server.quietAfter = std::chrono::seconds(WholeNumber(quiet, "--quiet-after"));
    if (const auto streams = TakeValue(context.args, "--max-viewers"); !streams.empty())
        options.server.maxStreams =
            static_cast<std::size_t>(std::max(1, WholeNumber(streams, "--max-viewers")));
    if (const auto path = TakeValue(context.args, "--register"); !path.empty())
        options.server.registerPath = path;
    const std::string settings = TakeValue(context.args, "--settings");
    RequireNoMore(context.args);
    if (!settings.empty()) ApplySettingsFile(settings, options);
    options.settingsPath = settings;
    if (options.conninfo.empty() && options.databasePath.empty()) {
        if (const char* pg = std::getenv("VANTREL_RECORDS_PG"); pg && *pg)
            options.conninfo = pg;
        else
            options.databasePath = context.databasePath;
    }
    if (!options.listen.empty()) {
        const auto listen = ParseListen(options.listen);
        if (!listen)
            throw UsageError{"--listen needs ADDRESS:PORT, such as 127.0.0.1:" +
                             std::to_string(kDefaultPort)};
        options.server.host = listen->first;
        options.server.port = listen->second;
    }
    return options;
}

// The register of reference meters: --register, else instruments= in the [metrology] group
// of the settings file, else that of the bench folder's vantrel-records.ini over a bench's file.
std::optional<std::string> RegisterPath(const ServeOptions& options) {
    namespace fs = std::filesystem;
    if (options.server.registerPath) return options.server.registerPath;
    if (!options.settingsPath.empty()) {
        const auto values = platform::ReadIniGroup(options.settingsPath, "metrology");
        if (const auto at = values.find("instruments"); at != values.end() && !at->second.empty())
            return (fs::path(options.settingsPath).parent_path() / at->second).lexically_normal().string();
    }
    if (options.databasePath.empty()) return std::nullopt;
    const auto folder = fs::path(options.databasePath).parent_path();
    return metrology::LoadMetrologySettings(folder.empty() ? "." : folder.string()).registerPath;
}

std::unique_ptr<RecordSource> OpenSource(const ServeOptions& options, std::ostream& err) {
    if (options.conninfo.empty()) return OpenSqliteSource(options.databasePath);
    if (const auto problem = InstallNotifyTrigger(options.conninfo); !problem.empty())
        err << "The line's database lacks the dashboard's insert trigger or arrival index and this role\n"
               "cannot add them ("
            << Printable(problem)
            << "): new records show within a second, by polling. The database's owner adds them once\n"
               "by running this command as the owner.\n";
    return OpenPostgresSource(options.conninfo);
}

int Serve(CommandContext& context) {
    ServeOptions options = TakeServeOptions(context);
    try {
        options.server.registerPath = RegisterPath(options);
    } catch (const std::runtime_error& error) {  // the settings' own errors
        context.err << "vantrel-records: " << Printable(error.what()) << '\n';
        return kExitFailure;
    }
    // Blocked here, before any thread starts, so that only the waiting thread takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::unique_ptr<RecordSource> source;
    try {
        source = OpenSource(options, context.err);
    } catch (const SourceError& error) {
        context.err << error.what() << '\n';
        return kExitPostgres;
    }
    report::EnsureOffscreenApplication();
    ChartPainter painter;
    DashboardServer server(options.server, *source, painter);
    if (const auto problem = server.Start(); !problem.empty()) {
        context.err << Printable(problem) << '\n';
        return kExitFailure;
    }
    const bool bracket = options.server.host.find(':') != std::string::npos;
    context.out << "Dashboard on http://" << (bracket ? "[" : "") << options.server.host
                << (bracket ? "]" : "") << ':' << server.port() << "/ over "
                << (options.conninfo.empty() ? Printable(options.databasePath)
                                             : std::string("the line's database"))
                << std::endl;
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.Stop();
        painter.Stop();
    });
    painter.Run();
    stopper.join();
    context.out << "Dashboard stopped." << std::endl;
    return kExitOk;
}

constexpr Command kCommands[] = {
    {"serve",
     "[--listen ADDRESS:PORT] [--pg CONNINFO | --db FILE] [--settings FILE]\n"
     "      [--quiet-after SECONDS] [--max-viewers N] [--register FILE]",
     "the live line dashboard in the browser (read-only; default 127.0.0.1:8470,\n"
     "      a bench quiet after 600 s, 100 viewers at most); the settings file's\n"
     "      [dashboard] group may give listen, postgres, database, quiet_after and the\n"
     "      token that listening beyond the loopback needs; the reference meters come from\n"
     "      FILE or instruments= in [metrology] of the settings file or the bench's folder",
     Serve},
};

}  // namespace

std::span<const Command> ServeCommands() { return kCommands; }

}  // namespace vantrel::records::cli
