// `vantrel-records instruments`: the register with due dates, overdue first, run as a program.
#include "RecordsTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

using recordstest::RunShell;
using recordstest::ShellQuoted;
using recordstest::TempDir;
using recordstest::WriteFile;

std::string Meter(const std::string& serial, const std::string& model, const std::string& due) {
    return "[meter " + serial + "]\nmodel = " + model + "\nasset_tag = TAG-" + serial +
           "\ncertificate = CERT-" + serial + "\ncertificate_date = 2025-06-01\nlab = Lab " + serial +
           "\ndue = " + due +
           "\ndcv 10 = 0.025% + 6 counts\ndcv 10 resolution = 0.0001\ndcv 10 full_scale = 9.9999\n";
}

std::vector<std::vector<std::string>> Rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        rows.push_back(fields);
    }
    return rows;
}

std::string Program() { return ShellQuoted(VANTREL_RECORDS_PROGRAM); }

TEST(InstrumentsCommand, ListsOverdueMetersFirstThenByDueDate) {
    TempDir dir;
    WriteFile(dir / "instruments.ini", Meter("LATER", "Fluke 45", "2027-06-01") +
                                           Meter("LONG-OVERDUE", "HP 34401A", "2026-10-01") +
                                           Meter("DUE-TODAY", "Fluke 45", "2026-12-08") +
                                           Meter("JUST-OVERDUE", "HP 34401A", "2026-12-07"));
    const auto run = RunShell(Program() + " instruments --register " + ShellQuoted(dir / "instruments.ini") +
                              " --date 2026-12-08");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = Rows(run.out);
    ASSERT_EQ(rows.size(), 5u) << run.out;
    const std::vector<std::string> header = {"Serial",     "Model", "Asset tag", "Certificate",
                                             "Calibrated", "Due",   "Lab",       "Standing"};
    EXPECT_EQ(rows[0], header);
    const std::vector<std::vector<std::string>> expected = {
        {"LONG-OVERDUE", "HP 34401A", "TAG-LONG-OVERDUE", "CERT-LONG-OVERDUE", "2025-06-01", "2026-10-01",
         "Lab LONG-OVERDUE", "overdue by 68 day(s)"},
        {"JUST-OVERDUE", "HP 34401A", "TAG-JUST-OVERDUE", "CERT-JUST-OVERDUE", "2025-06-01", "2026-12-07",
         "Lab JUST-OVERDUE", "overdue by 1 day(s)"},
        {"DUE-TODAY", "Fluke 45", "TAG-DUE-TODAY", "CERT-DUE-TODAY", "2025-06-01", "2026-12-08",
         "Lab DUE-TODAY", "due in 0 day(s)"},
        {"LATER", "Fluke 45", "TAG-LATER", "CERT-LATER", "2025-06-01", "2027-06-01", "Lab LATER",
         "due in 175 day(s)"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(rows[i + 1], expected[i]) << "row " << i + 1;
    EXPECT_NE(run.err.find("4 meter(s) as of 2026-12-08"), std::string::npos) << run.err;
}

TEST(InstrumentsCommand, FindsTheRegisterThroughTheSettingsBesideTheDatabase) {
    TempDir bench;
    WriteFile(bench / "line.ini", Meter("M-1", "Fluke 45", "2027-01-01"));
    WriteFile(bench / "vantrel-records.ini", "[metrology]\ninstruments=line.ini\n");
    const auto run = RunShell("cd / && " + Program() + " --db " + ShellQuoted(bench / "vantrel-records.db") +
                              " instruments --date 2026-12-31");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = Rows(run.out);
    ASSERT_EQ(rows.size(), 2u) << run.out;
    EXPECT_EQ(rows[1].front(), "M-1");
    EXPECT_EQ(rows[1].back(), "due in 1 day(s)");
}

TEST(InstrumentsCommand, SaysWhatIsWrongWithAMissingOrBadRegister) {
    TempDir bench;
    struct Case {
        const char* name;
        std::string arguments;
        int exitCode;
        const char* says;
    } cases[] = {
        {"no register configured", "instruments", 8, "No register of reference meters"},
        {"missing file", "instruments --register " + ShellQuoted(bench / "none.ini"), 1,
         "none.ini: no such file"},
        {"bad line", "instruments --register " + ShellQuoted(bench / "bad.ini"), 1,
         "bad.ini:2: meter X: unknown model"},
        {"bad date", "instruments --date 2026-02-30", 2, "--date '2026-02-30' is not a date"},
        {"stray argument", "instruments extra", 2, "extra"},
    };
    WriteFile(bench / "bad.ini", "[meter X]\nmodel = Fluke 88\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto run = RunShell("cd " + ShellQuoted(bench.path()) + " && " + Program() + " " + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

}  // namespace
