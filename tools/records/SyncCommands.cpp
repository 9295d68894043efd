// sync, status, resend and pg-schema: the line's PostgreSQL database.
#include "Commands.h"
#include "Options.h"

#include "records/PgForwarder.h"
#include "records/Recorder.h"
#include "records/RecordsSettings.h"
#include "records/Schema.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>

namespace vantrel::records::cli {
namespace {
namespace fs = std::filesystem;

constexpr const char* kPgWarning =
    "vantrel-records: warning: --pg shows its argument, any password with it, to everyone who can "
    "list this computer's processes; prefer --pg-file FILE, VANTREL_RECORDS_PG, a service file "
    "(service=NAME) or the password file (~/.pgpass).\n";

std::string FirstLineOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UsageError{"--pg-file '" + Printable(path) + "' cannot be read"};
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

// The connection string comes from --pg-file, --pg or VANTREL_RECORDS_PG; without any,
// libpq's own defaults apply (PGSERVICE, PGHOST and the other PG* variables).
std::string Conninfo(CommandContext& context) {
    const std::string file = TakeValue(context.args, "--pg-file");
    std::string conninfo = TakeValue(context.args, "--pg");
    if (!file.empty() && !conninfo.empty()) throw UsageError{"--pg and --pg-file exclude each other"};
    if (!conninfo.empty()) context.err << kPgWarning;
    if (!file.empty()) conninfo = FirstLineOf(file);
    if (conninfo.empty())
        if (const char* fromEnvironment = std::getenv("VANTREL_RECORDS_PG")) conninfo = fromEnvironment;
    return conninfo;
}

int Sync(CommandContext& context) {
    const std::string conninfo = Conninfo(context);
    RequireNoMore(context.args);
    RecordStore store(context.databasePath, RecordStore::OpenMode::ExistingOnly);
    const ForwardResult result = ForwardPending(store, conninfo);
    if (!result.error.empty()) {
        context.err << (result.benchRefused ? "The line's database refuses this bench: "
                        : result.connected  ? "The line's database failed: "
                                            : "The line's database cannot be reached: ")
                    << Printable(result.error) << '\n'
                    << result.pending << " record(s) wait and will be sent later.\n";
        return kExitPostgres;
    }
    context.out << result.delivered << " record(s) sent, " << result.pending << " waiting.\n";
    if (result.setAside > 0) {
        context.err << result.setAside
                    << " record(s) refused by the line's database and set aside; "
                       "\"vantrel-records status\" shows why.\n";
        return kExitPostgres;
    }
    return kExitOk;
}

// The bench folder is the database's own folder; its settings name the pending folder.
RecordsSettings BenchSettings(const std::string& databasePath) {
    std::error_code error;
    const fs::path folder = fs::absolute(databasePath, error).parent_path();
    return LoadRecordsSettings(folder.string());
}

void PrintRejected(std::ostream& out, const std::string& pendingFolder) {
    const fs::path rejected = fs::path(pendingFolder) / kRejectedFolderName;
    std::error_code error;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(rejected, error))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    out << "Pending files refused by the bench's database: " << files.size();
    out << (files.empty() ? "\n" : " in " + Printable(rejected.string()) + "\n");
    for (const auto& file : files) {
        std::ifstream in(file.string() + kReasonSuffix, std::ios::binary);
        std::string reason;
        std::getline(in, reason);
        out << "  " << Printable(file.filename().string()) << ": " << Printable(reason) << '\n';
    }
}

std::size_t CountPendingFiles(const std::string& folder) {
    std::error_code error;
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder, error))
        count += entry.path().extension() == ".json" ? 1 : 0;
    return count;
}

int Status(CommandContext& context) {
    RequireNoMore(context.args);
    const RecordsSettings settings = BenchSettings(context.databasePath);
    for (const auto& problem : settings.problems) context.out << "Setting: " << Printable(problem) << '\n';
    const RecordStore store(context.databasePath, RecordStore::OpenMode::ExistingOnly);
    const std::int64_t waiting = store.PendingForwardCount();
    context.out << "Records waiting for the line's database: " << waiting;
    if (waiting > 0) context.out << " (the oldest started " << store.OldestPendingForward() << ")";
    context.out << '\n';
    const auto setAside = store.SetAsideRecords();
    context.out << "Records set aside (refused by the line's database): " << setAside.size() << '\n';
    for (const auto& row : setAside)
        context.out << "  " << Printable(row.id) << "  " << row.startedUtc << "  serial "
                    << (row.serialNumber.empty() ? "-"
                                                 : ShownTextCut(row.serialNumber, kShownSerialCharacters))
                    << "  set aside " << row.setAsideUtc << ": " << Printable(row.reason) << '\n';
    const std::string pending = settings.recorder.pendingFolder;
    context.out << "Records waiting for the bench's database: " << CountPendingFiles(pending) << " in "
                << Printable(pending) << '\n';
    PrintRejected(context.out, pending);
    if (!setAside.empty())
        context.out << "After the cause is mended, \"vantrel-records resend --all\" (or one ID) sends them "
                       "again.\n";
    return kExitOk;
}

int Resend(CommandContext& context) {
    const bool all = TakeFlag(context.args, "--all");
    if (all == !context.args.empty() || context.args.size() > 1)
        throw UsageError{"resend needs one record id or --all"};
    RecordStore store(context.databasePath, RecordStore::OpenMode::ExistingOnly);
    const std::int64_t count = store.Resend(all ? std::string() : context.args.front());
    if (count == 0) {
        context.err << "No record set aside" << (all ? "" : " with the id " + Printable(context.args.front()))
                    << ".\n";
        return kExitNotFound;
    }
    context.out << count
                << " record(s) go to the line's database again with the next pass (\"vantrel-records "
                   "sync\" sends them now).\n";
    return kExitOk;
}

int PgSchema(CommandContext& context) {
    RequireNoMore(context.args);
    context.out << PostgresSchema();
    return kExitOk;
}

constexpr Command kCommands[] = {
    {"sync", "[--pg-file FILE | --pg CONNINFO]", "send records not yet in the line's PostgreSQL database now",
     Sync},
    {"status", "",
     "what waits for the line and for the bench's database, since when, and what was set\n"
     "      aside or refused and why",
     Status},
    {"resend", "ID | --all", "send a record set aside by the line again, after the cause is mended", Resend},
    {"pg-schema", "", "print the SQL that creates the line database's tables", PgSchema},
};

}  // namespace

std::span<const Command> SyncCommands() { return kCommands; }

}  // namespace vantrel::records::cli
