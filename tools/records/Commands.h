#pragma once
// The subcommands of vantrel-records: one table, one file per group of commands.

#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace vantrel::records::cli {

// Exit codes, documented in --help.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,
    kExitUsage = 2,
    kExitNoDatabase = 3,
    kExitForeignDatabase = 4,
    kExitNewerSchema = 5,
    kExitDatabaseError = 6,
    kExitPostgres = 7,
    kExitNotFound = 8,
    kExitChanged = 9,
};

struct CommandContext {
    std::string databasePath;
    std::vector<std::string> args;  // after the subcommand's name
    std::ostream& out;
    std::ostream& err;
};

// Thrown for a command line that cannot be understood; main prints it and the usage.
struct UsageError {
    std::string text;
};

struct Command {
    const char* name;
    const char* synopsis;  // arguments, for --help
    const char* summary;
    int (*run)(CommandContext&);
};

std::span<const Command> QueryCommands();        // list, show, history, yield
std::span<const Command> ExportCommands();       // export
std::span<const Command> SyncCommands();         // sync, pg-schema
std::span<const Command> CertificateCommands();  // certificate
std::span<const Command> ReportCommands();       // report
std::span<const Command> ServeCommands();        // serve
std::span<const Command> InstrumentsCommands();  // instruments
std::span<const Command> VerifyCommands();       // verify
std::span<const Command> AffectedCommands();     // affected

}  // namespace vantrel::records::cli
