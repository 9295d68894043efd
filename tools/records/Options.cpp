#include "Options.h"

#include <algorithm>
#include <cstdio>

namespace vantrel::records::cli {

const char* const kFilterHelp =
    "  --serial TEXT   board serial number (exact)\n"
    "  --model TEXT    board model (exact)\n"
    "  --bench HOST    bench host name\n"
    "  --verdict TEXT  verdict as shown, e.g. SUCCESS\n"
    "  --action KIND   initialize, interrupt, measure, sample, free, eeprom-write\n"
    "  --from DATE     started on or after, e.g. 2026-12-01 or 2026-12-01T08:00\n"
    "  --to DATE       started on or before (a day includes all of it)\n"
    "  --passed | --failed\n"
    "  --limit N       at most N records\n";

std::string TakeValue(std::vector<std::string>& args, const std::string& name) {
    const auto at = std::find(args.begin(), args.end(), name);
    if (at == args.end()) return {};
    if (at + 1 == args.end()) throw UsageError{name + " needs a value"};
    std::string value = *(at + 1);
    if (value.empty()) throw UsageError{name + " needs a value"};
    args.erase(at, at + 2);
    return value;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name) {
    const auto at = std::find(args.begin(), args.end(), name);
    if (at == args.end()) return false;
    args.erase(at);
    return true;
}

void RequireNoMore(const std::vector<std::string>& args) {
    if (!args.empty()) throw UsageError{"unexpected argument '" + Printable(args.front()) + "'"};
}

RecordQuery TakeQuery(std::vector<std::string>& args) {
    RecordQuery query;
    query.serialNumber = TakeValue(args, "--serial");
    query.model = TakeValue(args, "--model");
    query.benchHost = TakeValue(args, "--bench");
    query.verdict = TakeValue(args, "--verdict");
    query.from = TakeValue(args, "--from");
    query.to = TakeValue(args, "--to");
    if (const auto action = TakeValue(args, "--action"); !action.empty()) {
        query.kind = ActionKindFromName(action);
        if (!query.kind) throw UsageError{"unknown action '" + Printable(action) + "'"};
    }
    const bool passed = TakeFlag(args, "--passed");
    const bool failed = TakeFlag(args, "--failed");
    if (passed && failed) throw UsageError{"--passed and --failed exclude each other"};
    if (passed || failed) query.passed = passed;
    if (const auto limit = TakeValue(args, "--limit"); !limit.empty()) {
        if (limit.find_first_not_of("0123456789") != std::string::npos || limit.size() > 9)
            throw UsageError{"--limit needs a whole number"};
        query.limit = std::stoul(limit);
    }
    return query;
}

int ExitCodeOf(const RecordStoreError& error) {
    switch (error.kind()) {
    case RecordStoreError::Kind::Missing: return kExitNoDatabase;
    case RecordStoreError::Kind::Foreign: return kExitForeignDatabase;
    case RecordStoreError::Kind::TooNew: return kExitNewerSchema;
    default: return kExitDatabaseError;
    }
}

std::string Printable(const std::string& text, bool keepLineBreaks) {
    std::string shown;
    for (const unsigned char c : text) {
        if (keepLineBreaks && (c == '\n' || c == '\t')) {
            shown += static_cast<char>(c);
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            shown += escape;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

}  // namespace vantrel::records::cli
