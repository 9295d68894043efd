// export: the records as JSON, CSV or JUnit XML, to standard output or a file.
#include "Commands.h"
#include "Exports.h"
#include "Options.h"

#include "records/RecordJson.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>

namespace vantrel::records::cli {
namespace {

template <typename Writer>
void WriteAll(const RecordStore& store, const RecordQuery& query, Writer writer) {
    store.ForEach(query, [&](const ActionRecord& record) { writer.Add(record); });
    if constexpr (requires { writer.Finish(); }) writer.Finish();
}

int Export(CommandContext& context) {
    const std::string format = TakeValue(context.args, "--format");
    const std::string output = TakeValue(context.args, "--output");
    const RecordQuery query = TakeQuery(context.args);
    RequireNoMore(context.args);
    if (format != "json" && format != "csv" && format != "junit")
        throw UsageError{"export needs --format json, csv or junit"};

    const RecordStore store(context.databasePath, RecordStore::OpenMode::ReadOnly);
    std::ofstream file;
    if (!output.empty()) {
        file.open(output, std::ios::binary | std::ios::trunc);
        if (!file) {
            context.err << "Cannot write " << Printable(output) << ": " << std::strerror(errno) << ".\n";
            return kExitFailure;
        }
    }
    std::ostream& out = output.empty() ? context.out : file;
    if (format == "json")
        WriteAll(store, query, JsonExportWriter(out));
    else if (format == "csv")
        WriteAll(store, query, CsvExportWriter(out));
    else
        WriteAll(store, query, JUnitExportWriter(out));
    out.flush();
    if (!out) {
        context.err << "Writing the export failed" << (output.empty() ? "" : " (" + Printable(output) + ")")
                    << ".\n";
        return kExitFailure;
    }
    return kExitOk;
}

constexpr Command kCommands[] = {
    {"export", "--format json|csv|junit [--output FILE] [FILTERS]", "write the records for other programs",
     Export},
};

}  // namespace

std::span<const Command> ExportCommands() { return kCommands; }

}  // namespace vantrel::records::cli
