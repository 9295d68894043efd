// vantrel-records: the bench's production records from the command line.
#include "Commands.h"
#include "Options.h"

#include "cmdline/StandardOptions.h"
#include "records/RecordStore.h"

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <vector>

using namespace vantrel::records;
using namespace vantrel::records::cli;

namespace {

std::vector<Command> AllCommands() {
    std::vector<Command> commands;
    for (const auto group :
         {QueryCommands(), ExportCommands(), SyncCommands(), CertificateCommands(), ReportCommands(),
          ServeCommands(), InstrumentsCommands(), VerifyCommands(), AffectedCommands()})
        commands.insert(commands.end(), group.begin(), group.end());
    return commands;
}

std::string Usage() {
    std::ostringstream out;
    out << "Usage: vantrel-records [--db FILE] COMMAND [ARGUMENTS]\n\n"
           "The production records of a bench: every board action, its figures and its console text.\n\n"
           "Commands:\n";
    for (const auto& command : AllCommands())
        out << "  " << command.name << ' ' << command.synopsis << "\n      " << command.summary << '\n';
    out << "\nFilters (list, yield, export):\n"
        << kFilterHelp
        << "\nOptions:\n"
           "  --db FILE       the record database; default $VANTREL_RECORDS_DB, else\n"
           "                  "
        << kDatabaseFileName
        << " in the current folder\n"
           "  --help          this text\n"
           "  --version       the program's version\n"
           "\nThe line's PostgreSQL database is reached with libpq's own settings: --pg-file (a file\n"
           "whose first line is the connection string), --pg or VANTREL_RECORDS_PG (a connection\n"
           "string such as \"service=line\"), else PGSERVICE, PGHOST and the other PG* variables,\n"
           "the service file and the password file. Keep passwords in the password file or a\n"
           "service file: --pg's argument shows in the process list.\n"
           "\nExit codes:\n"
           "  0  success\n"
           "  1  the output could not be written\n"
           "  2  the command line was not understood\n"
           "  3  there is no record database at the path\n"
           "  4  the file is not a record database\n"
           "  5  the database was written by a newer version\n"
           "  6  the database cannot be read or written\n"
           "  7  the line's PostgreSQL database is down or refused the connection or a record\n"
           "  8  no such record or board, or no records in the report's range\n"
           "  9  verify: the certificate's records have changed since it was made\n"
           "\nThis program reads and writes record databases up to schema version "
        << CurrentSchemaVersion() << ".\n";
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto answered = vantrel::cmdline::AnswerHelpOrVersion(argc, argv, {"vantrel-records", Usage}))
        return *answered;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string databasePath;
    if (const char* fromEnvironment = std::getenv("VANTREL_RECORDS_DB")) databasePath = fromEnvironment;
    try {
        while (!args.empty() && args.front().starts_with("-")) {
            if (args.front() != "--db")
                throw UsageError{vantrel::cmdline::UnexpectedArgument(Printable(args.front()))};
            if (args.size() < 2 || args[1].empty()) throw UsageError{"--db needs a file"};
            databasePath = args[1];
            args.erase(args.begin(), args.begin() + 2);
        }
        if (databasePath.empty()) databasePath = kDatabaseFileName;
        if (args.empty()) throw UsageError{"no command given"};
        for (const auto& command : AllCommands()) {
            if (args.front() != command.name) continue;
            CommandContext context{databasePath, std::vector<std::string>(args.begin() + 1, args.end()),
                                   std::cout, std::cerr};
            return command.run(context);
        }
        throw UsageError{"unknown command '" + Printable(args.front()) + "'"};
    } catch (const UsageError& error) {
        return vantrel::cmdline::RejectCommandLine("vantrel-records", error.text);
    } catch (const RecordStoreError& error) {
        std::cerr << "vantrel-records: " << error.what() << '\n';
        return ExitCodeOf(error);
    }
}
