// report: the line's HTML report with plots, for a range of days.
#include "Commands.h"
#include "Options.h"

#include "report/LineReport.h"
#include "report/LineSummary.h"
#include "report/OffscreenApplication.h"

#include <cctype>
#include <filesystem>
#include <ostream>

namespace vantrel::records::cli {
namespace {

int Report(CommandContext& context) {
    const std::string from = TakeDate(context.args, "--from");
    const std::string to = TakeDate(context.args, "--to");
    if (from.empty() || to.empty()) throw UsageError{"report needs --from DATE and --to DATE"};
    if (from.substr(0, 10) > to.substr(0, 10)) throw UsageError{"--from is after --to"};
    if (context.args.size() != 1) throw UsageError{"report needs one output folder"};
    const std::string folder = context.args.front();

    const RecordStore store(context.databasePath, RecordStore::OpenMode::ReadOnly);
    RecordQuery range;
    range.from = from;
    range.to = to;
    auto summary = report::SummarizeLine(store, range);
    const auto bench = std::filesystem::path(context.databasePath).parent_path();
    for (auto& failed : summary.failed)
        report::AttachMetrology(failed.certificate, bench.empty() ? "." : bench.string());
    if (summary.records == 0) {
        context.err << "No records from " << Printable(from) << " to " << Printable(to)
                    << ": no report written.\n";
        return kExitNotFound;
    }
    report::EnsureOffscreenApplication();
    const std::string problem = report::WriteLineReport(summary, {from, to}, folder);
    if (!problem.empty()) {
        context.err << Printable(problem) << ".\n";
        return kExitFailure;
    }
    context.out << "Report of " << summary.records << " records, " << summary.boards << " boards, "
                << summary.failed.size() << " failed: " << Printable(folder) << "/index.html\n";
    return kExitOk;
}

constexpr Command kCommands[] = {
    {"report", "--from DATE --to DATE FOLDER",
     "the line's HTML report with plots and the failed boards' certificates,\n"
     "      written into FOLDER (opens from the disk, without a server)",
     Report},
};

}  // namespace

std::span<const Command> ReportCommands() { return kCommands; }

}  // namespace vantrel::records::cli
