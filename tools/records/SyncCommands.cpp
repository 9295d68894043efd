// sync and pg-schema: the line's PostgreSQL database.
#include "Commands.h"
#include "Options.h"

#include "records/PgForwarder.h"
#include "records/Schema.h"

#include <cstdlib>
#include <ostream>

namespace vantrel::records::cli {
namespace {

// The connection string comes from --pg, else VANTREL_RECORDS_PG; without either, libpq's
// own defaults apply (PGSERVICE, PGHOST and the other PG* variables).
std::string Conninfo(std::vector<std::string>& args) {
    std::string conninfo = TakeValue(args, "--pg");
    if (conninfo.empty())
        if (const char* fromEnvironment = std::getenv("VANTREL_RECORDS_PG")) conninfo = fromEnvironment;
    return conninfo;
}

int Sync(CommandContext& context) {
    const std::string conninfo = Conninfo(context.args);
    RequireNoMore(context.args);
    RecordStore store(context.databasePath, RecordStore::OpenMode::ExistingOnly);
    const ForwardResult result = ForwardPending(store, conninfo);
    if (!result.error.empty()) {
        context.err << (result.connected ? "The line's database refused the records: "
                                         : "The line's database cannot be reached: ")
                    << result.error << '\n'
                    << result.pending << " record(s) wait and will be sent later.\n";
        return kExitPostgres;
    }
    context.out << result.delivered << " record(s) sent, " << result.pending << " waiting.\n";
    return kExitOk;
}

int PgSchema(CommandContext& context) {
    RequireNoMore(context.args);
    context.out << PostgresSchema();
    return kExitOk;
}

constexpr Command kCommands[] = {
    {"sync", "[--pg CONNINFO]", "send records not yet in the line's PostgreSQL database now", Sync},
    {"pg-schema", "", "print the SQL that creates the line database's tables", PgSchema},
};

}  // namespace

std::span<const Command> SyncCommands() { return kCommands; }

}  // namespace vantrel::records::cli
