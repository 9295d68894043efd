// list, show, history and yield: reading the bench's records.
#include "Commands.h"
#include "Options.h"

#include <cstdio>
#include <ostream>

namespace vantrel::records::cli {
namespace {

std::string SerialShown(const std::string& serial) {
    return serial.empty() ? "-" : ShownTextCut(serial, kShownSerialCharacters);
}

void PrintLine(std::ostream& out, const ActionRecord& r) {
    out << r.startedUtc << "  " << ActionKindName(r.kind) << "  " << Printable(r.board.model) << "  "
        << SerialShown(r.board.serialNumber) << "  " << Printable(r.verdict) << "  "
        << Printable(r.bench.host) << "  " << r.id << '\n';
}

std::string Number(const std::optional<double>& value) {
    if (!value) return "-";
    char text[40];
    std::snprintf(text, sizeof text, "%.6g", *value);
    return text;
}

void PrintFull(std::ostream& out, const ActionRecord& r) {
    out << "Record        " << r.id << '\n'
        << "Action        " << ActionKindName(r.kind) << '\n'
        << "Started       " << r.startedUtc << '\n'
        << "Ended         " << r.endedUtc << '\n'
        << "Verdict       " << Printable(r.verdict) << (r.passed ? " (pass)" : " (fail)") << '\n';
    if (r.outcome != MeasureOutcome::None) out << "Outcome       " << MeasureOutcomeName(r.outcome) << '\n';
    if (r.meterModel != MeterModel::Unrecorded)
        out << "Meter         " << MeterModelName(r.meterModel) << '\n';
    out << "Bench         " << Printable(r.bench.host) << ' ' << Printable(r.bench.folder) << '\n'
        << "Operator      " << Printable(r.bench.operatorLogin) << '\n'
        << "Tool          " << Printable(r.bench.toolVersion) << ", driver "
        << Printable(r.bench.driverVersion) << '\n'
        << "Board         " << Printable(r.board.model) << " (type " << r.board.typeCode << "), base 0x"
        << std::hex << r.board.baseAddress << std::dec << ", interrupt " << r.board.interruptLevel
        << ", FPGA " << (r.board.fpgaRevision ? std::to_string(*r.board.fpgaRevision) : "-") << '\n'
        << "Serial number " << SerialShown(r.board.serialNumber) << '\n';
    if (r.interrupt) {
        const auto& f = *r.interrupt;
        out << "Interrupt     rate " << f.rateHz << " Hz, expected " << f.expectedMs << " ms, measured "
            << f.measuredMs << " ms, overflows " << f.overflows << ", errors " << f.errorCount
            << "; tolerances " << f.timeoutToleranceMs << " ms, " << f.timeToleranceMs << " ms, "
            << f.adToleranceLsb << " LSB\n";
    }
    if (!r.channels.empty()) out << "Channel  reading  window  verdict  as found  as left  code\n";
    for (const auto& c : r.channels)
        out << "  " << c.channel << "  " << Number(c.reading) << "  " << Number(c.windowLow) << ".."
            << Number(c.windowHigh) << "  " << ChannelVerdictName(c.verdict) << "  " << Number(c.eepromBefore)
            << "  " << Number(c.eepromWritten) << "  " << (c.code ? std::to_string(*c.code) : "-") << '\n';
    out << "Console:\n" << Printable(r.consoleText, true);
    if (!r.consoleText.empty() && r.consoleText.back() != '\n') out << '\n';
}

int List(CommandContext& context) {
    const RecordQuery query = TakeQuery(context.args);
    RequireNoMore(context.args);
    const RecordStore store(context.databasePath, RecordStore::OpenMode::ReadOnly);
    std::size_t count = 0;
    store.ForEach(query, [&](const ActionRecord& record) {
        PrintLine(context.out, record);
        ++count;
    });
    context.err << count << " record(s)\n";
    return kExitOk;
}

int Show(CommandContext& context) {
    if (context.args.size() != 1) throw UsageError{"show needs one record id"};
    const RecordStore store(context.databasePath, RecordStore::OpenMode::ReadOnly);
    const auto record = store.Find(context.args.front());
    if (!record) {
        context.err << "No record with the id " << Printable(context.args.front()) << ".\n";
        return kExitNotFound;
    }
    PrintFull(context.out, *record);
    return kExitOk;
}

int History(CommandContext& context) {
    if (context.args.size() != 1) throw UsageError{"history needs one serial number"};
    const RecordStore store(context.databasePath, RecordStore::OpenMode::ReadOnly);
    const auto records = store.History(context.args.front());
    if (records.empty()) {
        context.err << "No record of the board " << Printable(context.args.front()) << ".\n";
        return kExitNotFound;
    }
    for (const auto& record : records) PrintLine(context.out, record);
    return kExitOk;
}

int Yield(CommandContext& context) {
    const RecordQuery query = TakeQuery(context.args);
    RequireNoMore(context.args);
    const RecordStore store(context.databasePath, RecordStore::OpenMode::ReadOnly);
    context.out << "day         model  records  passed  yield\n";
    for (const auto& row : store.Yield(query)) {
        char percent[16];
        std::snprintf(
            percent, sizeof percent, "%.1f%%",
            row.records ? 100.0 * static_cast<double>(row.passed) / static_cast<double>(row.records) : 0.0);
        context.out << row.day << "  " << Printable(row.model) << "  " << row.records << "  " << row.passed
                    << "  " << percent << '\n';
    }
    return kExitOk;
}

constexpr Command kCommands[] = {
    {"list", "[FILTERS]", "list records, oldest first, one line each", List},
    {"show", "ID", "show one record in full", Show},
    {"history", "SERIAL", "every record of one board", History},
    {"yield", "[FILTERS]", "records and passes per model and day", Yield},
};

}  // namespace

std::span<const Command> QueryCommands() { return kCommands; }

}  // namespace vantrel::records::cli
