// vantrel-records certificate and report on a simulated line's records: the certificate's
// numbers read back from the HTML and, through pdftotext, from the PDF; the report opened in
// a headless Chromium with the network off, its tables compared with what the line did.
#include "RecordsTestSupport.h"
#include "SimulatedLine.h"

#include "records/RecordStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

namespace {

using namespace recordstest;
using namespace reporttest;
using vantrel::records::MeasureOutcome;
using vantrel::records::RecordStore;
namespace fs = std::filesystem;

std::string Program() { return VANTREL_RECORDS_PROGRAM; }

std::string Volts(const std::optional<double>& value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", *value);
    return text;
}

// Line breaks and runs of spaces as one space: a PDF's text wraps where the page does.
std::string Flat(const std::string& text) { return std::regex_replace(text, std::regex("\\s+"), " "); }

class LineReport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_plans = new std::vector<BoardPlan>;
        s_records = new std::vector<ActionRecord>(SimulateLine({}, s_plans));
        RecordStore store(Database());
        for (const auto& r : *s_records) store.Write(r);
    }
    static void TearDownTestSuite() {
        delete s_records;
        delete s_plans;
        delete s_dir;
    }
    static std::string Database() { return *s_dir / "line.db"; }
    static ProgramResult Records(const std::string& arguments) {
        return RunShell(ShellQuoted(Program()) + " --db " + ShellQuoted(Database()) + " " + arguments);
    }
    static std::vector<ActionRecord> Of(const std::string& serial) {
        std::vector<ActionRecord> board;
        for (const auto& r : *s_records)
            if (r.board.serialNumber == serial) board.push_back(r);
        return board;
    }

    static TempDir* s_dir;
    static std::vector<BoardPlan>* s_plans;
    static std::vector<ActionRecord>* s_records;
};
TempDir* LineReport::s_dir = nullptr;
std::vector<BoardPlan>* LineReport::s_plans = nullptr;
std::vector<ActionRecord>* LineReport::s_records = nullptr;

ProgramResult RecordsOn(const std::string& database, const std::string& arguments) {
    return RunShell(ShellQuoted(Program()) + " --db " + ShellQuoted(database) + " " + arguments);
}

std::vector<ActionRecord> OfBoard(const std::vector<ActionRecord>& records, const std::string& serial) {
    std::vector<ActionRecord> board;
    for (const auto& r : records)
        if (r.board.serialNumber == serial) board.push_back(r);
    return board;
}

// Each board's certificate, HTML and PDF, against the board's records: the last measurement's
// channels row by row, the last interrupt test's figures, calibrated only when the plan says so.
void CheckCertificates(const std::string& database, const std::string& folder,
                       const std::vector<ActionRecord>& records, const std::vector<BoardPlan>& plans) {
    int index = 0;
    for (const auto& plan : plans) {
        SCOPED_TRACE("board " + plan.serial + " fault '" + plan.fault + "'");
        const auto board = OfBoard(records, plan.serial);
        std::optional<ActionRecord> measure, interrupt;
        for (const auto& r : board) {
            if (r.kind == vantrel::records::ActionKind::MeasureReferences) measure = r;
            if (r.kind == vantrel::records::ActionKind::InterruptTest) interrupt = r;
        }
        const std::string base = folder + "/certificate-" + std::to_string(++index);
        const auto run =
            RecordsOn(database, "certificate --out " + ShellQuoted(base) + " " + ShellQuoted(plan.serial));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::string html = ReadFile(base + ".html");
        const auto pdf = RunShell("pdftotext -layout " + ShellQuoted(base + ".pdf") + " -");
        ASSERT_EQ(pdf.exitCode, 0) << pdf.err;
        const std::string text = Flat(pdf.out);
        EXPECT_EQ(RunShell("pdfinfo " + ShellQuoted(base + ".pdf") + " | grep -q '^Pages: *1$'").exitCode, 0)
            << "the certificate is not one page";

        const std::string number = measure ? measure->id : board.back().id;
        EXPECT_NE(text.find("Certificate number " + number), std::string::npos) << text;
        EXPECT_NE(text.find(Flat(plan.serial)), std::string::npos) << text;
        EXPECT_NE(html.find("<title>Calibration certificate " + number + "</title>"), std::string::npos);
        if (plan.calibrated) {
            EXPECT_NE(text.find("CALIBRATED: every reference"), std::string::npos) << text;
            EXPECT_EQ(text.find("NOT CALIBRATED"), std::string::npos) << text;
        } else {
            EXPECT_NE(text.find("NOT CALIBRATED"), std::string::npos) << text;
            EXPECT_EQ(html.find("CALIBRATED: every reference"), std::string::npos);
            EXPECT_NE(html.find("class=\"status not-calibrated\""), std::string::npos);
        }
        if (measure) {
            EXPECT_NE(text.find(vantrel::records::MeterModelName(measure->meterModel)), std::string::npos);
            for (const auto& c : measure->channels) {
                SCOPED_TRACE("channel " + std::to_string(c.channel));
                // One row per channel: channel, as found, reading, window, verdict, as left.
                std::string row = std::to_string(c.channel) + " " + Volts(c.eepromBefore) + " " +
                                  (c.reading ? Volts(c.reading) : "-") + " ";
                EXPECT_NE(Flat(html).find("<tr><td>" + std::to_string(c.channel) + "</td><td>" +
                                          Volts(c.eepromBefore)),
                          std::string::npos);
                EXPECT_NE(text.find(row), std::string::npos) << row << "\n" << text;
                const std::string left =
                    measure->outcome == MeasureOutcome::Written ? Volts(c.eepromWritten) : "not written";
                EXPECT_NE(html.find("<td>" + left + "</td></tr>"), std::string::npos) << left;
                EXPECT_NE(text.find(left), std::string::npos) << left;
            }
        } else {
            EXPECT_NE(text.find("No reference channel is recorded."), std::string::npos) << text;
        }
        ASSERT_TRUE(interrupt);
        const auto& f = *interrupt->interrupt;
        EXPECT_NE(text.find(std::to_string(f.expectedMs) + " ms / " + std::to_string(f.measuredMs) +
                            " ms (difference " + std::to_string(f.measuredMs - f.expectedMs) + " ms)"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(interrupt->verdict), std::string::npos);
    }
}

TEST_F(LineReport, CertificateNumbersMatchTheRecordsInHtmlAndPdf) {
    CheckCertificates(Database(), s_dir->path(), *s_records, *s_plans);
}

TEST_F(LineReport, HostileSerialIsTextInTheCertificate) {
    const std::string base = *s_dir / "hostile";
    ASSERT_EQ(Records("certificate --out " + ShellQuoted(base) + " " + ShellQuoted(kHostileSerial)).exitCode,
              0);
    const std::string html = ReadFile(base + ".html");
    EXPECT_EQ(html.find(kHostileSerial), std::string::npos);
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_NE(html.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
}

TEST_F(LineReport, CertificateByRecordIdAndUnknownBoards) {
    const auto& calibrated = s_plans->at(2);  // out of tolerance, then a passing retest
    ASSERT_TRUE(calibrated.calibrated);
    std::string lastMeasure, firstMeasure;
    for (const auto& r : Of(calibrated.serial))
        if (r.kind == vantrel::records::ActionKind::MeasureReferences)
            (firstMeasure.empty() ? firstMeasure : lastMeasure) = r.id;
    // By the id of the failed first measurement: that measurement's certificate, not a pass.
    const auto first = Records("certificate --out " + ShellQuoted(*s_dir / "by-id") + " " + firstMeasure);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("Certificate " + firstMeasure + ": NOT CALIBRATED"), std::string::npos)
        << first.out;
    const auto last = Records("certificate --out " + ShellQuoted(*s_dir / "by-id") + " " + lastMeasure);
    EXPECT_NE(last.out.find("Certificate " + lastMeasure + ": CALIBRATED"), std::string::npos) << last.out;

    for (const std::string unknown : {"SN-NOBODY", "00000000-0000-4000-8000-000000000000", ""}) {
        const auto run =
            Records("certificate --out " + ShellQuoted(*s_dir / "unknown") + " " + ShellQuoted(unknown));
        EXPECT_EQ(run.exitCode, 8) << unknown;
        EXPECT_NE(run.err.find("No board with the serial number and no record with the id " + unknown +
                               ": no certificate written."),
                  std::string::npos)
            << run.err;
        EXPECT_FALSE(fs::exists(*s_dir / "unknown.pdf"));
    }

    // A record without a serial number has a certificate by its id, and an empty serial number
    // does not gather such records into a board. The record is the typed run of the simulated
    // line, as the window's records adapter made it.
    const TempDir other;
    auto loose = *std::find_if(s_records->begin(), s_records->end(), [](const ActionRecord& r) {
        return r.kind == vantrel::records::ActionKind::MeasureReferences && r.passed &&
               r.meterModel == vantrel::records::MeterModel::Typed;
    });
    loose.board.serialNumber.clear();
    RecordStore(other / "loose.db").Write(loose);
    const std::string looseDb =
        " --db " + ShellQuoted(other / "loose.db") + " certificate --out " + ShellQuoted(other / "c") + " ";
    const auto byId = RunShell(ShellQuoted(Program()) + looseDb + loose.id);
    EXPECT_EQ(byId.exitCode, 0) << byId.err;
    EXPECT_NE(byId.out.find("NOT CALIBRATED: the values written were typed by the operator"),
              std::string::npos)
        << byId.out;
    EXPECT_NE(ReadFile(other / "c.html").find("(none given)"), std::string::npos);
    EXPECT_EQ(RunShell(ShellQuoted(Program()) + looseDb + "''").exitCode, 8);

    // Calibrated, then an interrupt test that failed: the certificate says both.
    auto measured = *std::find_if(s_records->begin(), s_records->end(), [](const ActionRecord& r) {
        return r.kind == vantrel::records::ActionKind::MeasureReferences && r.passed &&
               vantrel::records::ReadByMeter(r.meterModel);
    });
    measured.id = vantrel::records::NewRecordId();
    measured.board.serialNumber = "SN-LOOSE";
    auto interrupt = *std::find_if(s_records->begin(), s_records->end(), [](const ActionRecord& r) {
        return r.kind == vantrel::records::ActionKind::InterruptTest && !r.passed;
    });
    interrupt.id = vantrel::records::NewRecordId();
    interrupt.board.serialNumber = "SN-LOOSE";
    interrupt.startedUtc = "2026-12-31T23:00:00.000Z";
    RecordStore(other / "loose.db").WriteAll({measured, interrupt});
    const auto both = RunShell(ShellQuoted(Program()) + looseDb + "SN-LOOSE");
    EXPECT_NE(both.out.find("Certificate " + measured.id + ": CALIBRATED"), std::string::npos) << both.out;
    EXPECT_NE(ReadFile(other / "c.html")
                  .find("INTERRUPT TEST FAILED: the last interrupt test ended with \"FAILED\"."),
              std::string::npos);
}

TEST_F(LineReport, EmptyRangesAndBadDatesAreReportedClearly) {
    struct Case {
        const char* arguments;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {"--from 2025-01-01 --to 2025-01-31", 8,
         "No records from 2025-01-01 to 2025-01-31: no report written."},
        {"--from 2026-12-04 --to 2026-12-04", 8,
         "No records from 2026-12-04 to 2026-12-04: no report written."},
        {"--from 2026-12-03 --to 2026-12-01", 2, "--from is after --to"},
        {"--from 1.12.2026 --to 2026-12-31", 2, "--from '1.12.2026' is not a date: give YYYY-MM-DD"},
        {"--to 2026-12-31", 2, "report needs --from DATE and --to DATE"},
    };
    for (const auto& c : cases) {
        const std::string folder = *s_dir / "no-report";
        const auto run = Records(std::string("report ") + c.arguments + " " + ShellQuoted(folder));
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(folder)) << c.arguments;
    }
}

// What the browser saw of a report folder.
// Cpk recomputed from running sums, apart from the report's code: the nearer limit's distance
// from the mean in three sample standard deviations; a missing lower limit does not count.
struct Spread {
    long double sum = 0, squares = 0;
    long n = 0;
    std::optional<double> low;
    double high = 0;
    void Add(double x, std::optional<double> windowLow, double windowHigh) {
        sum += x;
        squares += static_cast<long double>(x) * x;
        ++n;
        low = windowLow;
        high = windowHigh;
    }
    std::string Cpk() const {
        if (n < 2) return "-";
        const long double mean = sum / n;
        const long double s = std::sqrt(std::max(0.0L, (squares - n * mean * mean) / (n - 1)));
        if (!(s > 1e-12L)) return "-";  // readings that all agree have no capability index
        long double index = (high - mean) / (3 * s);
        if (low) index = std::min(index, (mean - *low) / (3 * s));
        char text[32];
        std::snprintf(text, sizeof text, "%.3Lf", index);
        return text;
    }
};

nlohmann::json Browse(const std::string& folder) {
    const auto run = RunShell("python3 " + ShellQuoted(VANTREL_BROWSE_REPORT) +
                              " \"$(command -v chromium)\" " + ShellQuoted(folder));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return nlohmann::json::parse(run.out);
}

// The report in `folder` opened in the browser, its tables against the line's records and plans.
void CheckReport(const std::string& folder, const std::vector<ActionRecord>& records,
                 const std::vector<BoardPlan>& plans, std::size_t models) {
    const auto page = Browse(folder);

    EXPECT_EQ(page["problems"], nlohmann::json::array());
    EXPECT_EQ(page["scripts"], 0);
    EXPECT_NE(page["text"].get<std::string>().find(std::to_string(records.size()) + " records of " +
                                                   std::to_string(plans.size()) + " boards."),
              std::string::npos);

    // Readings per model and channel, counted from the records.
    std::map<std::pair<std::string, int>, std::pair<int, int>> readings;  // count, outside
    std::map<std::pair<std::string, int>, Spread> spreads;
    for (const auto& r : records)
        if (r.kind == vantrel::records::ActionKind::MeasureReferences &&
            vantrel::records::ReadByMeter(r.meterModel))
            for (const auto& c : r.channels)
                if (c.reading && c.windowHigh) {
                    auto& [count, outside] = readings[{r.board.model, c.channel}];
                    ++count;
                    outside += c.verdict == vantrel::records::ChannelVerdict::Fail ? 1 : 0;
                    spreads[{r.board.model, c.channel}].Add(std::fabs(*c.reading), c.windowLow,
                                                            *c.windowHigh);
                }
    const auto& readingRows = page["tables"]["readings"];
    ASSERT_EQ(readingRows.size(), readings.size());
    std::size_t row = 0;
    for (const auto& [key, counts] : readings) {
        const auto& cells = readingRows[row++];
        EXPECT_EQ(cells[0], key.first);
        EXPECT_EQ(cells[1], std::to_string(key.second));
        EXPECT_EQ(cells[3], std::to_string(counts.first));
        EXPECT_EQ(cells[4], std::to_string(counts.second));
        EXPECT_EQ(cells[5], spreads[key].Cpk()) << key.first << " channel " << key.second;
    }

    // Yield per model and day from what each board went through.
    std::map<std::pair<std::string, std::string>, std::array<int, 3>> yield;  // boards, first pass, final
    std::set<std::string> failed;
    for (const auto& plan : plans) {
        const bool firstFails =
            plan.fault == "interrupt" || plan.fault == "out-of-tolerance" || plan.fault == "meter";
        auto& counts = yield[{plan.model, OfBoard(records, plan.serial).front().startedUtc.substr(0, 10)}];
        ++counts[0];
        counts[1] += firstFails ? 0 : 1;
        counts[2] += !firstFails || plan.retested ? 1 : 0;
        if (firstFails) failed.insert(plan.serial);
    }
    const auto& yieldRows = page["tables"]["yield"];
    ASSERT_EQ(yieldRows.size(), yield.size());
    row = 0;
    for (const auto& [key, counts] : yield) {
        const auto& cells = yieldRows[row++];
        EXPECT_EQ(cells[0], key.first);
        EXPECT_EQ(cells[1], key.second);
        EXPECT_EQ(cells[2], std::to_string(counts[0]));
        EXPECT_EQ(cells[3], std::to_string(counts[1]));
        EXPECT_EQ(cells[5], std::to_string(counts[2]));
    }

    // The failed boards, each linked to its certificate; never "calibrated" without a calibration.
    const auto& failedRows = page["tables"]["failed"];
    ASSERT_EQ(failedRows.size(), failed.size());
    const auto& certificates = page["certificates"];
    ASSERT_EQ(certificates.size(), failed.size());
    for (std::size_t i = 0; i < failedRows.size(); ++i) {
        const std::string serial = failedRows[i][1];
        SCOPED_TRACE(serial);
        const auto plan =
            std::find_if(plans.begin(), plans.end(), [&](const BoardPlan& p) { return p.serial == serial; });
        ASSERT_NE(plan, plans.end());
        EXPECT_TRUE(failed.count(serial));
        EXPECT_EQ(failedRows[i][5], plan->retested ? "passed" : "failed");
        const std::string link = failedRows[i][6];
        EXPECT_EQ(link.ends_with(" (calibrated)"), plan->calibrated) << link;
        const auto& certificate = certificates[i];
        EXPECT_EQ(certificate["title"], "Calibration certificate " + link.substr(0, link.find(' ')));
        EXPECT_EQ(certificate["problems"], nlohmann::json::array());
        EXPECT_EQ(certificate["scripts"], 0);
        EXPECT_EQ(certificate["images"].size(), 0u);
        EXPECT_NE(certificate["text"].get<std::string>().find(serial), std::string::npos);
        EXPECT_EQ(
            certificate["text"].get<std::string>().find("CALIBRATED: every reference") != std::string::npos,
            plan->calibrated);
    }
    EXPECT_TRUE(failed.count(kHostileSerial));

    // Every plot a loaded image with something drawn on it, each a file of the folder.
    ASSERT_EQ(page["images"].size(), models + readings.size() + 1);
    for (const auto& image : page["images"]) {
        SCOPED_TRACE(image.dump());
        EXPECT_TRUE(image["complete"].get<bool>());
        EXPECT_EQ(image["width"], 900);
        EXPECT_GT(image["colours"].get<int>(), 8);
        EXPECT_TRUE(fs::is_regular_file(fs::path(folder) / image["src"].get<std::string>()));
    }
}

TEST_F(LineReport, ReportOpensInABrowserAndItsTablesMatchTheLine) {
    const std::string folder = *s_dir / "report";
    const auto run = Records("report --from 2026-12-01 --to 2026-12-31 " + ShellQuoted(folder));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    CheckReport(folder, *s_records, *s_plans, 2);
}

TEST_F(LineReport, BrowserCheckSeesAPlantedFault) {
    // The same report with an unescaped serial number and a plot missing: the check must see both.
    const std::string folder = *s_dir / "planted";
    ASSERT_EQ(Records("report --from 2026-12-01 --to 2026-12-31 " + ShellQuoted(folder)).exitCode, 0);
    fs::remove(fs::path(folder) / "plots" / "interrupt.png");
    std::string index = ReadFile(folder + "/index.html");
    index.replace(index.find("<h1>"), 0, kHostileSerial);
    WriteFile(folder + "/index.html", index);
    const auto page = Browse(folder);
    const std::string problems = page["problems"].dump();
    EXPECT_NE(problems.find("Content Security Policy"), std::string::npos) << problems;
    EXPECT_NE(problems.find("interrupt.png"), std::string::npos) << problems;
    int notLoaded = 0;
    for (const auto& image : page["images"]) notLoaded += image["width"] == 0 ? 1 : 0;
    EXPECT_EQ(notLoaded, 2);
}

// The same checks on a line the unattended session made: six boards on one seeded bench, the
// records written by the tool itself (tests/report/session_line.sh says what each board does).
TEST(SessionLine, CertificatesAndReportMatchTheRecords) {
    const TempDir dir;
    const std::string bench = dir / "bench";
    const auto made = RunShell("bash " + ShellQuoted(VANTREL_SESSION_LINE) + " " +
                               ShellQuoted(VANTREL_BIN_DIR) + " " + ShellQuoted(bench));
    ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    const std::string database = bench + "/vantrel-records.db";
    const auto records = RecordStore(database, RecordStore::OpenMode::ReadOnly).List({});  // in time order
    ASSERT_EQ(records.size(), 29u);

    // serial, fault of the first try, retested and passed, calibrated
    const std::vector<BoardPlan> plans = {
        {"SN-S1", "Corvel", "", false, true},
        {"SN-S2", "Corvel", "", false, true},
        {kHostileSerial, "Corvel", "interrupt", true, true},
        {"SN-S3", "Corvel", "interrupt", false, false},
        {"SN-S4", "Corvel", "kept", false, false},
        {"SN-S5", "Corvel", "out-of-tolerance", false, false},
    };
    CheckCertificates(database, dir.path(), records, plans);
    const std::string hostile = ReadFile(dir / "certificate-3.html");  // the serial= the session was given
    EXPECT_EQ(hostile.find(kHostileSerial), std::string::npos);
    EXPECT_NE(hostile.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);

    const std::string folder = dir / "report";
    const std::string from = records.front().startedUtc.substr(0, 10);
    const std::string to = records.back().startedUtc.substr(0, 10);
    const auto run = RecordsOn(database, "report --from " + from + " --to " + to + " " + ShellQuoted(folder));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    CheckReport(folder, records, plans, 1);
}

}  // namespace
