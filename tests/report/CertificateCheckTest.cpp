// Certificates that can be checked and what they carry: `verify` against records edited in
// the database, "page x of y" on every page of a long certificate, and the uncertainty taken
// from the register only when it names one meter of the recorded model.
#include "RecordsTestSupport.h"
#include "SimulatedLine.h"

#include "records/RecordStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

namespace {

using namespace recordstest;
using namespace reporttest;
using vantrel::records::ActionKind;
using vantrel::records::RecordStore;
namespace fs = std::filesystem;

std::string Flat(const std::string& text) { return std::regex_replace(text, std::regex("\\s+"), " "); }

ProgramResult RecordsOn(const std::string& database, const std::string& arguments) {
    return RunShell(ShellQuoted(VANTREL_RECORDS_PROGRAM) + " --db " + ShellQuoted(database) + " " +
                    arguments);
}

std::string PdfText(const std::string& pdf, const std::string& pages = {}) {
    const auto run = RunShell("pdftotext -layout " + pages + " " + ShellQuoted(pdf) + " -");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return Flat(run.out);
}

// Runs one statement that must change exactly one row.
void EditOneRow(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    EXPECT_EQ(sqlite3_changes(db), 1) << sql;
    sqlite3_free(error);
    sqlite3_close(db);
}

class CertificateCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        std::vector<BoardPlan> plans;
        s_records = new std::vector<ActionRecord>(SimulateLine({}, &plans));
        RecordStore store(Database());
        for (const auto& r : *s_records) store.Write(r);
        // A board calibrated at its first try: one measurement and one interrupt test.
        for (const auto& plan : plans)
            if (plan.fault.empty() && plan.calibrated && s_serial.empty()) s_serial = plan.serial;
        for (const auto& r : *s_records) {
            if (r.board.serialNumber != s_serial) continue;
            if (r.kind == ActionKind::MeasureReferences) s_measure = r.id;
            if (r.kind == ActionKind::InterruptTest) s_interrupt = r.id;
        }
    }
    static void TearDownTestSuite() {
        delete s_records;
        delete s_dir;
    }
    static std::string Database() { return *s_dir / "line.db"; }
    // The board's certificate made from `database`; its base path.
    static std::string Certify(const std::string& database, const std::string& name) {
        const std::string base = fs::path(database).parent_path() / name;
        const auto run =
            RecordsOn(database, "certificate --out " + ShellQuoted(base) + " " + ShellQuoted(s_serial));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return base;
    }
    static std::string Copy(const std::string& name) {
        const fs::path folder = *s_dir / name;
        fs::create_directories(folder);
        fs::copy_file(Database(), folder / "line.db", fs::copy_options::overwrite_existing);
        return folder / "line.db";
    }

    static TempDir* s_dir;
    static std::vector<ActionRecord>* s_records;
    static std::string s_serial, s_measure, s_interrupt;
};
TempDir* CertificateCheck::s_dir = nullptr;
std::vector<ActionRecord>* CertificateCheck::s_records = nullptr;
std::string CertificateCheck::s_serial, CertificateCheck::s_measure, CertificateCheck::s_interrupt;

TEST_F(CertificateCheck, VerifyAcceptsTheUntouchedRecordsAndRefusesEveryEdit) {
    const std::string base = Certify(Database(), "untouched");
    std::smatch found;
    const std::string html = ReadFile(base + ".html");
    ASSERT_TRUE(
        std::regex_search(html, found, std::regex("Record digest \\(SHA-256\\) <tt>([0-9a-f]{64})</tt>")));
    const std::string digest = found[1];
    const std::string byNumber = "verify " + s_measure + " " + digest;
    const std::string byPdf = "verify --pdf " + ShellQuoted(base + ".pdf");
    EXPECT_EQ(RecordsOn(Database(), byNumber).exitCode, 0);
    const auto fromPdf = RecordsOn(Database(), byPdf);
    EXPECT_EQ(fromPdf.exitCode, 0) << fromPdf.out << fromPdf.err;
    EXPECT_NE(fromPdf.out.find("verified"), std::string::npos) << fromPdf.out;

    const std::string measure = "(SELECT seq FROM records WHERE id = '" + s_measure + "')";
    const struct {
        const char* what;
        std::string sql;
    } edits[] = {
        {"a meter reading",
         "UPDATE channel_figures SET reading = reading + 1e-6 WHERE channel = 2 AND record_seq = " + measure},
        {"a window limit",
         "UPDATE channel_figures SET window_high = window_high + 0.1 WHERE channel = 1 AND "
         "record_seq = " +
             measure},
        {"a value left",
         "UPDATE channel_figures SET eeprom_written = 0 WHERE channel = 3 AND record_seq = " + measure},
        {"the verdict", "UPDATE records SET verdict = verdict || '.' WHERE id = '" + s_measure + "'"},
        {"the console text",
         "UPDATE records SET console_text = console_text || '.' WHERE id = '" + s_measure + "'"},
        {"the interrupt test",
         "UPDATE interrupt_figures SET measured_ms = measured_ms + 1 WHERE record_seq = "
         "(SELECT seq FROM records WHERE id = '" +
             s_interrupt + "')"},
    };
    int index = 0;
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.what);
        const std::string copy = Copy("edit-" + std::to_string(++index));
        EditOneRow(copy, edit.sql);
        const auto refused = RecordsOn(copy, byNumber);
        EXPECT_EQ(refused.exitCode, 9) << refused.out << refused.err;
        EXPECT_NE(refused.out.find("CHANGED"), std::string::npos) << refused.out;
        EXPECT_EQ(RecordsOn(copy, byPdf).exitCode, 9);
    }
    EXPECT_EQ(RecordsOn(Database(), "verify " + ShellQuoted(s_serial) + " " + digest).exitCode, 8);
    EXPECT_EQ(RecordsOn(Database(), "verify " + s_measure + " " + digest.substr(1)).exitCode, 2);
}

TEST_F(CertificateCheck, EveryPageNamesTheCertificateAndCountsThePages) {
    // Many later EEPROM writes, each a line of the certificate, make it run over several pages.
    const std::string database = fs::path(s_dir->path()) / "long" / "line.db";
    fs::create_directories(fs::path(database).parent_path());
    ActionRecord write;
    {
        RecordStore store(database);
        for (const auto& r : *s_records)
            if (r.board.serialNumber == s_serial) store.Write(write = r);
        for (int i = 0; i < 150; ++i) {
            write.id = vantrel::records::NewRecordId();
            write.kind = ActionKind::EepromWrite;
            char time[40];
            std::snprintf(time, sizeof time, "2027-01-01T%02d:%02d:00.000Z", i / 60, i % 60);
            write.startedUtc = write.endedUtc = time;
            store.Write(write);
        }
    }
    const std::string pdf = Certify(database, "long") + ".pdf";
    const auto info = RunShell("pdfinfo " + ShellQuoted(pdf) + " | sed -n 's/^Pages: *//p'");
    const int pages = std::atoi(info.out.c_str());
    ASSERT_GE(pages, 3) << info.out;
    for (int page = 1; page <= pages; ++page) {
        SCOPED_TRACE("page " + std::to_string(page));
        const std::string n = std::to_string(page);
        const std::string text = PdfText(pdf, "-f " + n + " -l " + n);
        EXPECT_NE(text.find("Calibration certificate " + s_measure), std::string::npos) << text;
        EXPECT_NE(text.find("Certificate " + s_measure + ", page " + n + " of " + std::to_string(pages)),
                  std::string::npos)
            << text;
    }
}

// The register's example meters; with the Fluke 45 given twice the register cannot say which.
std::string Register(const std::string& sections) {
    const std::string example = ReadFile(VANTREL_EXAMPLE_REGISTER);
    const auto hp = example.find("[meter 3146A12345]");
    std::string fluke = example.substr(0, hp);
    std::string text;
    if (sections.find('F') != std::string::npos) text += fluke;
    if (sections.find('H') != std::string::npos) text += example.substr(hp);
    if (sections.find('2') != std::string::npos)
        text += "\n" + std::regex_replace(fluke, std::regex("\\[meter 4571234\\]"), "[meter 4579999]");
    return text;
}

TEST_F(CertificateCheck, UncertaintyOnlyFromTheOneRegisteredMeterOfTheModel) {
    const struct {
        const char* name;
        const char* sections;  // F: the Fluke 45, H: the HP 34401A, 2: a second Fluke 45; none: no register
        const char* says;
    } cases[] = {
        {"no-register", nullptr, "No uncertainty is stated: no register of reference meters is configured."},
        {"no-fluke", "H", "No uncertainty is stated: the register holds no Fluke 45."},
        {"two-flukes", "FH2",
         "No uncertainty is stated: the register holds 2 meters of model Fluke 45 and the record does not "
         "say "
         "which one measured."},
        {"one-fluke", "FH", "the only meter of that model in the register."},
    };
    ActionRecord measure;
    for (const auto& r : *s_records)
        if (r.id == s_measure) measure = r;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string database = Copy(c.name);
        const fs::path folder = fs::path(database).parent_path();
        if (c.sections) {
            WriteFile(folder / "instruments.ini", Register(c.sections));
            WriteFile(folder / "vantrel-records.ini",
                      "[metrology]\ninstruments=instruments.ini\ndecision_rule=guard band\n");
        }
        const std::string base = Certify(database, "certificate");
        const std::string text = PdfText(base + ".pdf");
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        const std::string html = ReadFile(base + ".html");
        if (std::string(c.name) != "one-fluke") {
            EXPECT_EQ(html.find("class=\"budget\""), std::string::npos);
            continue;
        }
        // U per channel as an independent recomputation from the register file gives it.
        nlohmann::json readings = nlohmann::json::array();
        for (const auto& ch : measure.channels)
            readings.push_back({{"serial", "4571234"}, {"reading", *ch.reading}});
        WriteFile(folder / "readings.json", readings.dump());
        const auto budgets =
            RunShell("python3 " + ShellQuoted(VANTREL_RECOMPUTE_BUDGET) + " " +
                     ShellQuoted(folder / "instruments.ini") + " < " + ShellQuoted(folder / "readings.json"));
        ASSERT_EQ(budgets.exitCode, 0) << budgets.err;
        const auto expected = nlohmann::json::parse(budgets.out);
        ASSERT_EQ(expected.size(), measure.channels.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            char row[80];
            std::snprintf(row, sizeof row, "%d %g %.3f", measure.channels[i].channel,
                          expected[i]["range"].get<double>(), expected[i]["expanded"].get<double>() * 1e6);
            EXPECT_NE(text.find(row), std::string::npos) << row << "\n" << text;
            EXPECT_NE(html.find("id=\"budget-ch" + std::to_string(measure.channels[i].channel) + "\""),
                      std::string::npos);
        }
        EXPECT_NE(text.find("Decision rule: guard band"), std::string::npos) << text;
    }
}

}  // namespace

namespace {

// The key=value lines of a fixture note; '#' starts a comment line.
std::map<std::string, std::string> NoteValues(const std::string& path) {
    std::map<std::string, std::string> values;
    std::istringstream lines(ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string::npos) continue;
        values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

// A certificate the version before the metrology columns made, for a record of its own time:
// its digest still verifies today, on the database as that version left it, and a changed
// record is still refused.
TEST(OldCertificate, ADigestMadeBeforeTheMetrologyColumnsStillVerifies) {
    const std::string data = VANTREL_RECORDS_TEST_DATA;
    auto note = NoteValues(data + "/schema-v2-certificate.txt");
    ASSERT_EQ(note["digest"].size(), 64u);
    const std::string command = "verify " + note["number"] + " " + note["digest"];
    const struct {
        const char* what;
        const char* edit;  // SQL run on the old database before today's verify; none: untouched
        int exitCode;
    } cases[] = {
        {"untouched", nullptr, 0},
        {"a reading",
         "UPDATE channel_figures SET reading = reading + 1e-6 WHERE channel = 1 AND record_seq = 5", 9},
        {"the meter", "UPDATE records SET meter_model = 'HP 34401A' WHERE seq = 5", 9},
        {"the interrupt test",
         "UPDATE interrupt_figures SET measured_ms = measured_ms + 1 WHERE record_seq = 4", 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string database = dir / "old.db";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
        const std::string sql = ReadFile(data + "/schema-v2.sql") + (c.edit ? c.edit + std::string(";") : "");
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        EXPECT_EQ(c.edit ? sqlite3_changes(db) : 1, 1);
        sqlite3_close(db);
        const auto run = RecordsOn(database, command);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    }
}

}  // namespace
