#include "Options.h"

#include "records/ShownText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace vantrel::records::cli {

const char* const kFilterHelp =
    "  --serial TEXT   board serial number (exact)\n"
    "  --model TEXT    board model (exact)\n"
    "  --bench HOST    bench host name\n"
    "  --verdict TEXT  verdict as shown, e.g. SUCCESS\n"
    "  --action KIND   initialize, interrupt, measure, sample, free, eeprom-write\n"
    "  --from DATE     started on or after: YYYY-MM-DD or an ISO 8601 time such as\n"
    "                  2026-12-01T08:00:00Z (a time without a zone is UTC)\n"
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
    query.from = TakeDate(args, "--from");
    query.to = TakeDate(args, "--to");
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
    return ShownText(text, keepLineBreaks);
}

namespace {

bool Digits(const std::string& text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return false;
    for (std::size_t i = at; i < at + count; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

int Number(const std::string& text, std::size_t at, std::size_t count) {
    return std::stoi(text.substr(at, count));
}

bool ValidDay(int year, int month, int day) {
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month != 2 || day <= 28 || leap;
}

}  // namespace

std::optional<std::string> ParseDate(const std::string& text) {
    // YYYY-MM-DD
    if (!Digits(text, 0, 4) || text.size() < 10 || text[4] != '-' || !Digits(text, 5, 2) || text[7] != '-' ||
        !Digits(text, 8, 2))
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = Number(text, 0, 4) - 1900;
    tm.tm_mon = Number(text, 5, 2) - 1;
    tm.tm_mday = Number(text, 8, 2);
    if (!ValidDay(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday)) return std::nullopt;
    if (text.size() == 10) return text;
    // THH:MM[:SS[.fraction]] and Z, +HH:MM or -HH:MM (none: UTC, as the records are)
    std::size_t at = 10;
    if (text[at] != 'T' || !Digits(text, at + 1, 2) || text.size() < at + 6 || text[at + 3] != ':' ||
        !Digits(text, at + 4, 2))
        return std::nullopt;
    tm.tm_hour = Number(text, at + 1, 2);
    tm.tm_min = Number(text, at + 4, 2);
    at += 6;
    int millis = 0;
    if (at < text.size() && text[at] == ':') {
        if (!Digits(text, at + 1, 2)) return std::nullopt;
        tm.tm_sec = Number(text, at + 1, 2);
        at += 3;
        if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
            std::size_t digits = 0;
            while (Digits(text, at + 1 + digits, 1)) ++digits;
            if (digits == 0) return std::nullopt;
            millis =
                Number((text.substr(at + 1, std::min<std::size_t>(digits, 3)) + "00").substr(0, 3), 0, 3);
            at += 1 + digits;
        }
    }
    if (tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59) return std::nullopt;
    long offsetSeconds = 0;
    if (at < text.size() && text[at] == 'Z') {
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        if (!Digits(text, at + 1, 2) || text.size() < at + 6 || text[at + 3] != ':' ||
            !Digits(text, at + 4, 2))
            return std::nullopt;
        const int hours = Number(text, at + 1, 2), minutes = Number(text, at + 4, 2);
        if (hours > 23 || minutes > 59) return std::nullopt;
        offsetSeconds = (text[at] == '+' ? 1 : -1) * (hours * 3600L + minutes * 60L);
        at += 6;
    }
    if (at != text.size()) return std::nullopt;
    const std::time_t utc = timegm(&tm) - offsetSeconds;
    std::tm shown{};
    gmtime_r(&utc, &shown);
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", shown.tm_year + 1900,
                  shown.tm_mon + 1, shown.tm_mday, shown.tm_hour, shown.tm_min, shown.tm_sec, millis);
    return std::string(stamp);
}

std::string TakeDate(std::vector<std::string>& args, const std::string& name) {
    const std::string value = TakeValue(args, name);
    if (value.empty()) return value;
    const auto date = ParseDate(value);
    if (!date)
        throw UsageError{name + " '" + Printable(value) +
                         "' is not a date: give YYYY-MM-DD or an ISO 8601 time such as 2026-12-01T08:00:00Z"};
    return *date;
}

}  // namespace vantrel::records::cli
