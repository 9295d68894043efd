// affected: the recall of a reference meter. Every board whose values in the EEPROM came from
// that meter: its last calibration (a Measure References that wrote its values) used the meter
// and started in the range. A board calibrated again later with another meter no longer holds
// the meter's values and is not listed.
#include "Commands.h"
#include "Exports.h"
#include "Options.h"

#include <nlohmann/json.hpp>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace vantrel::records::cli {
namespace {

struct AffectedQuery {
    std::string serial;
    std::string from;
    std::string to;
};

bool InRange(const std::string& startedUtc, const AffectedQuery& query) {
    // The same comparison as the other commands' --from and --to: a day given as `to` takes
    // in all of it ('~' sorts after every character of a time stamp).
    if (!query.from.empty() && startedUtc < query.from) return false;
    return query.to.empty() || startedUtc < query.to + "~";
}

// The last calibration of every board, oldest first. A record without a board serial number
// stands for a board of its own, which cannot be told from any other.
std::vector<ActionRecord> LastCalibrations(const RecordStore& store) {
    std::vector<ActionRecord> calibrations;
    std::map<std::string, std::size_t> byBoard;
    RecordQuery query;
    query.kind = ActionKind::MeasureReferences;
    store.ForEach(query, [&](const ActionRecord& record) {
        if (record.outcome != MeasureOutcome::Written) return;
        const std::string& board = record.board.serialNumber;
        const auto known = board.empty() ? byBoard.end() : byBoard.find(board);
        if (known != byBoard.end()) {
            calibrations[known->second] = record;
            return;
        }
        if (!board.empty()) byBoard.emplace(board, calibrations.size());
        calibrations.push_back(record);
    });
    return calibrations;
}

std::vector<ActionRecord> Affected(const RecordStore& store, const AffectedQuery& query) {
    std::vector<ActionRecord> affected;
    for (ActionRecord& record : LastCalibrations(store))
        if (record.meterSerial == query.serial && InRange(record.startedUtc, query))
            affected.push_back(std::move(record));
    return affected;
}

// The columns of every form, in order.
constexpr const char* kColumns[] = {"serial_number", "board_model",    "calibrated_utc", "certificate",
                                    "meter_serial",  "meter_standing", "bench_host"};

std::vector<std::string> Cells(const ActionRecord& r) {
    const std::string standing = r.meterStanding ? metrology::MeterStandingName(*r.meterStanding) : "";
    return {r.board.serialNumber, r.board.model, r.startedUtc, r.id, r.meterSerial, standing, r.bench.host};
}

void WriteTable(std::ostream& out, const std::vector<ActionRecord>& records) {
    out << "Serial\tModel\tCalibrated\tCertificate\tMeter\tMeter standing\tBench\n";
    for (const ActionRecord& record : records) {
        const auto cells = Cells(record);
        for (std::size_t i = 0; i < cells.size(); ++i)
            out << (i ? "\t" : "")
                << Printable(i == 0 ? cells[i].substr(0, kShownSerialCharacters) : cells[i]);
        out << '\n';
    }
}

void WriteCsv(std::ostream& out, const std::vector<ActionRecord>& records) {
    for (std::size_t i = 0; i < std::size(kColumns); ++i) out << (i ? "," : "") << kColumns[i];
    out << "\r\n";
    for (const ActionRecord& record : records) {
        const auto cells = Cells(record);
        for (std::size_t i = 0; i < cells.size(); ++i) out << (i ? "," : "") << CsvTextCell(cells[i]);
        out << "\r\n";
    }
}

void WriteJson(std::ostream& out, const std::vector<ActionRecord>& records) {
    nlohmann::json boards = nlohmann::json::array();
    for (const ActionRecord& record : records) {
        nlohmann::json board;
        const auto cells = Cells(record);
        for (std::size_t i = 0; i < cells.size(); ++i) board[kColumns[i]] = ValidUtf8(cells[i]);
        boards.push_back(board);
    }
    out << boards.dump(2) << '\n';
}

int AffectedBoards(CommandContext& context) {
    AffectedQuery query;
    query.serial = TakeValue(context.args, "--meter");
    query.from = TakeDate(context.args, "--from");
    query.to = TakeDate(context.args, "--to");
    std::string format = TakeValue(context.args, "--format");
    RequireNoMore(context.args);
    if (query.serial.empty()) throw UsageError{"affected needs --meter SERIAL"};
    if (format.empty()) format = "table";
    if (format != "table" && format != "csv" && format != "json")
        throw UsageError{"affected takes --format table, csv or json"};

    const RecordStore store(context.databasePath, RecordStore::OpenMode::ReadOnly);
    const auto records = Affected(store, query);
    if (format == "table")
        WriteTable(context.out, records);
    else if (format == "csv")
        WriteCsv(context.out, records);
    else
        WriteJson(context.out, records);
    context.err << records.size() << " board(s) last calibrated with meter " << Printable(query.serial)
                << '\n';
    context.out.flush();
    return context.out ? kExitOk : kExitFailure;
}

constexpr Command kCommands[] = {
    {"affected", "--meter SERIAL [--from DATE] [--to DATE] [--format table|csv|json]",
     "the boards whose last calibration used the reference meter SERIAL and started in\n"
     "      the range, with their certificate numbers (a recall)",
     AffectedBoards},
};

}  // namespace

std::span<const Command> AffectedCommands() { return kCommands; }

}  // namespace vantrel::records::cli
