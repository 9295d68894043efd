// vantrel-records as a program: its exports read by independent readers, and its errors.
#include "RecordsTestSupport.h"

#include "records/RecordStore.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vantrel::records;
using namespace recordstest;

namespace {

const std::string kProgram = "\"$VANTREL_RECORDS_PROGRAM\"";

// A database with a whole session and one record per hostile serial number, half of them failed.
std::vector<ActionRecord> FillDatabase(const std::string& path) {
    RecordStore store(path);
    std::vector<ActionRecord> records;
    int second = 0;
    for (const auto& serial : HostileSerials()) {
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "2026-12-07T10:00:%02d.000Z", second++);
        auto r = SampleRecord(second % 2 ? ActionKind::MeasureReferences : ActionKind::InterruptTest, serial,
                              stamp);
        r.passed = second % 2 == 0;
        if (!r.passed) r.verdict = "FAILED <" + serial + ">";
        r.consoleText = "console of " + serial + "\n";
        store.Write(r);
        records.push_back(r);
    }
    return records;
}

// Exports to a file beside the database, then hands that file to `reader` on its standard input.
ProgramResult Export(const std::string& path, const std::string& format, const std::string& reader) {
    const std::string file = path + ".export";
    const auto exported = RunShell(kProgram + " --db " + ShellQuoted(path) + " export --format " + format +
                                   " --output " + ShellQuoted(file));
    if (exported.exitCode != 0) return exported;
    return RunShell(reader + " < " + ShellQuoted(file));
}

}  // namespace

TEST(RecordExports, JsonIsReadByJqAndPythonWithEverySerialExact) {
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    const auto records = FillDatabase(path);
    const auto parsed = Export(path, "json", "python3 -m json.tool >/dev/null");
    EXPECT_EQ(parsed.exitCode, 0) << parsed.err;
    const auto version = Export(
        path, "json", "jq -r '.format + \" \" + (.version|tostring) + \" \" + (.records|length|tostring)'");
    EXPECT_EQ(version.out, "vantrel-records 1 " + std::to_string(records.size()) + "\n") << version.err;

    // jq writes each serial number as a JSON string; Python compares it with the original bytes.
    const auto serials = Export(path, "json", "jq -c '[.records[].board.serial_number]'");
    ASSERT_EQ(serials.exitCode, 0) << serials.err;
    for (const auto& r : records) {
        const auto check = RunShell("printf %s " + ShellQuoted(serials.out) +
                                    " | python3 -c 'import json,sys; s=json.load(sys.stdin); sys.exit(0 if "
                                    "sys.argv[1] in s else 1)' " +
                                    ShellQuoted(r.board.serialNumber));
        EXPECT_EQ(check.exitCode, 0) << r.board.serialNumber;
    }
    const auto channels =
        Export(path, "json",
               "jq -c '.records[0].channels[1] | [.reading, .window_low, .eeprom_before, .eeprom_written]'");
    EXPECT_EQ(channels.out, "[2.5012,2.1,2.5,2.5012]\n");
}

TEST(RecordExports, CsvIsReadByPythonWithFormulasMadeInert) {
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    const auto records = FillDatabase(path);
    const auto csv = Export(
        path, "csv",
        "python3 -c 'import csv,sys,json; rows=list(csv.DictReader(sys.stdin)); "
        "print(json.dumps([[r[\"serial_number\"], r[\"verdict\"], r[\"console_text\"]] for r in rows]))'");
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    for (const auto& r : records) {
        const std::string& serial = r.board.serialNumber;
        const bool formula = std::string("=+-@\t\r").find(serial.front()) != std::string::npos;
        const std::string expected = (formula ? "'" : "") + serial;
        const auto check =
            RunShell("printf %s " + ShellQuoted(csv.out) +
                     " | python3 -c 'import json,sys; rows=json.load(sys.stdin); "
                     "sys.exit(0 if [sys.argv[1], sys.argv[2], sys.argv[3]] in rows else 1)' " +
                     ShellQuoted(expected) + " " + ShellQuoted((r.passed ? "" : std::string()) + r.verdict) +
                     " " + ShellQuoted(r.consoleText));
        EXPECT_EQ(check.exitCode, 0) << "serial " << serial << " expected as " << expected;
    }
}

TEST(RecordExports, JUnitValidatesAgainstTheSchemaAndCountsFailures) {
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    const auto records = FillDatabase(path);
    const auto valid = Export(path, "junit", "xmllint --noout --schema \"$VANTREL_JUNIT_XSD\" -");
    EXPECT_EQ(valid.exitCode, 0) << valid.err;
    const auto counts =
        Export(path, "junit", "xmllint --xpath 'concat(count(//testcase), \" \", count(//failure))' -");
    const auto failed =
        std::count_if(records.begin(), records.end(), [](const auto& r) { return !r.passed; });
    EXPECT_EQ(counts.out, std::to_string(records.size()) + " " + std::to_string(failed) + "\n");
    // A serial number with a line break keeps it inside the attribute.
    const auto name = Export(
        path, "junit", "xmllint --xpath 'string(//testcase[contains(@name, \"second line\")]/@name)' -");
    EXPECT_NE(name.out.find("SN-2\nsecond line"), std::string::npos) << name.out;
}

TEST(RecordCommands, ExitCodesTellWhatWentWrong) {
    TempDir dir;
    const std::string good = dir / kDatabaseFileName;
    FillDatabase(good);
    WriteFile(dir / "foreign.db", "SQLite format 3 is not what this file really holds, it is text");
    RunShell("cp " + ShellQuoted(good) + " " + ShellQuoted(dir / "newer.db") +
             " && python3 -c 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.execute(\"PRAGMA "
             "user_version = 99\"); c.commit()' " +
             ShellQuoted(dir / "newer.db"));
    struct Row {
        std::string arguments;
        int exitCode;
        std::string says;
    };
    const Row rows[] = {
        {"--db " + good + " list --serial 'SN-1'\\''; DROP TABLE records;--'", 0,
         "SN-1'; DROP TABLE records;--"},
        {"--db " + good + " history '+1+2'", 0, "+1+2"},
        {"--db " + good + " history SN-NONE", 8, "No record of the board SN-NONE"},
        {"--db " + good + " show 00000000-0000-0000-0000-000000000000", 8, "No record with the id"},
        {"--db " + good + " yield", 0, "2026-12-07  Corvit  11  5  45.5%"},
        {"--db " + dir.path() + "/missing.db list", 3, "There is no record database"},
        {"--db " + dir.path() + "/foreign.db list", 4, "not"},
        {"--db " + dir.path() + "/newer.db list", 5, "newer version"},
        {"--db " + good + " export --format xls", 2, "--format json, csv or junit"},
        {"--db " + good + " list --limit many", 2, "--limit needs a whole number"},
        {"frobnicate", 2, "unknown command 'frobnicate'"},
        {"--frobnicate", 2, "unknown option --frobnicate"},
        {"--help", 0, "Exit codes:"},
        {"--version", 0, "vantrel-records (Vantrel) "},
        {"--db", 2, "vantrel-records: --db needs a file (see vantrel-records --help)\n"},
    };
    for (const auto& row : rows) {
        const auto result = RunShell(kProgram + " " + row.arguments);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.arguments << "\n" << result.err;
        EXPECT_NE((result.out + result.err).find(row.says), std::string::npos)
            << row.arguments << "\nout: " << result.out << "\nerr: " << result.err;
    }
    // Listings show control characters as escapes, never raw.
    const auto listing = RunShell(kProgram + " --db " + good + " list");
    EXPECT_EQ(listing.out.find('\x1b'), std::string::npos);
    EXPECT_NE(listing.out.find("ctl-\\x01\\x1b[31m"), std::string::npos) << listing.out;
}

TEST(RecordCertificates, StoredTextThatHidesOrSteersIsShownEscapedAndBounded) {
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    const std::string reversed =
        "SN-\xe2\x80\xae"
        "4321-A";  // shows as SN-A-1234 when obeyed
    const std::string huge = "SN-" + std::string(1 << 20, '7');
    const auto hugeRecord = SampleRecord(ActionKind::MeasureReferences, huge);
    const auto shortRecord = SampleRecord(ActionKind::MeasureReferences, "SN-7");
    {
        RecordStore store(path);
        store.Write(SampleRecord(ActionKind::MeasureReferences, reversed));
        store.Write(hugeRecord);
        store.Write(shortRecord);
    }
    const std::string program = "cd " + ShellQuoted(dir.path()) + " && QT_QPA_PLATFORM=offscreen " +
                                kProgram + " --db " + ShellQuoted(path) + " certificate --out ";
    const auto first = RunShell(program + "reversed " + ShellQuoted(reversed));
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const std::string html = ReadFile(dir / "reversed.html");
    EXPECT_EQ(html.find("\xe2\x80\xae"), std::string::npos) << "the override reaches the page";
    EXPECT_NE(html.find("SN-\\u{202E}4321-A"), std::string::npos);

    // Too long for a command line: by the record's id.
    const auto second = RunShell(program + "huge " + hugeRecord.id);
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_LT(ReadFile(dir / "huge.html").size(), 100000u);
    // The serial number adds no page: the same record with a short one has as many.
    ASSERT_EQ(RunShell(program + "short " + shortRecord.id).exitCode, 0);
    const auto pagesOf = [&](const std::string& name) {
        return RunShell("pdfinfo " + ShellQuoted(dir / (name + ".pdf")) + " | sed -n 's/^Pages: *//p'").out;
    };
    EXPECT_FALSE(pagesOf("short").empty());
    EXPECT_EQ(pagesOf("huge"), pagesOf("short"));
    // Listings cut it the same way.
    const auto listing = RunShell(kProgram + " --db " + ShellQuoted(path) + " list");
    EXPECT_LT(listing.out.size(), 2000u);
    EXPECT_NE(listing.out.find("(1048579 characters)"), std::string::npos);
}
