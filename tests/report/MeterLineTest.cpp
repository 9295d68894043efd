// A line with two reference meters, one of them overdue, made by the unattended session
// (meter_line.sh): each Measure References record keeps a copy of its meter; the certificates
// name the meter, its certificate and due date and read NOT CALIBRATED for the overdue one;
// `affected --meter` lists exactly the boards each meter calibrated last; under the guard band
// a reading inside its window but within U of a limit is a conditional pass; the recorded U of
// every channel is recomputed independently from the register; the line report counts each
// meter's uses.
#include "RecordsTestSupport.h"

#include "records/RecordStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>

namespace {

using namespace vantrel::records;
using recordstest::ReadFile;
using recordstest::RunShell;
using recordstest::ShellQuoted;
using recordstest::TempDir;
using recordstest::WriteFile;

struct MeterCopy {
    const char* serial;
    vantrel::metrology::MeterStanding standing;
    const char* model;
    const char* assetTag;
    const char* certificate;
    const char* certificateDate;
    const char* due;
};

constexpr MeterCopy kFluke = {"FL-GOOD-1",  vantrel::metrology::MeterStanding::InCalibration,
                              "Fluke 45",   "LAB-DMM-101",
                              "CAL-F-0101", "2026-01-15",
                              "2999-01-15"};
constexpr MeterCopy kHp = {"HP-OLD-7",   vantrel::metrology::MeterStanding::Overdue,
                           "HP 34401A",  "LAB-DMM-207",
                           "CAL-H-0207", "2024-05-02",
                           "2025-05-02"};

// Which meter each board's last Measure References used: SN-F1 was calibrated with the Fluke
// first, then again with the HP.
const std::map<std::string, const MeterCopy*> kBoards = {
    {"SN-F1", &kHp}, {"SN-F2", &kFluke}, {"SN-F3", &kFluke}, {"SN-H1", &kHp}, {"SN-H2", &kHp}};

class MeterLine : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_bench = *s_dir / "bench";
        const auto made = RunShell("bash " + ShellQuoted(VANTREL_METER_LINE) + " " +
                                   ShellQuoted(VANTREL_BIN_DIR) + " " + ShellQuoted(s_bench));
        s_made = made.exitCode == 0;
        if (!s_made) s_why = made.out + made.err;
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_made) << s_why; }

    // The checks of the line, run by one test so that the line is made once.
    void EachRecordKeepsACopyOfItsMeterAndRefusedPressesLeaveNone();
    void RecordedUncertaintiesAreRecomputedFromTheRegister();
    void CertificatesNameTheMeterAndRefuseTheOverdueOne();
    void AReadingWithinUOfItsLimitIsAConditionalPass();
    void AffectedListsExactlyTheBoardsOfTheMeter();
    void TheLineReportCountsEachMetersUses();
    void VerifyRefusesAnEditOfTheMetersCopy();

    static std::string Database() { return s_bench + "/vantrel-records.db"; }
    static recordstest::ProgramResult Records(const std::string& arguments) {
        return RunShell(ShellQuoted(VANTREL_RECORDS_PROGRAM) + " --db " + ShellQuoted(Database()) + " " +
                        arguments);
    }
    static std::vector<ActionRecord> AllMeasurements() {
        RecordQuery query;
        query.kind = ActionKind::MeasureReferences;
        return RecordStore(Database(), RecordStore::OpenMode::ReadOnly).List(query);
    }
    // Each board's last Measure References.
    static std::map<std::string, ActionRecord> Measurements() {
        std::map<std::string, ActionRecord> byBoard;
        for (auto& r : AllMeasurements()) byBoard[r.board.serialNumber] = r;
        return byBoard;
    }

    static TempDir* s_dir;
    static std::string s_bench;
    static bool s_made;
    static std::string s_why;
};

TempDir* MeterLine::s_dir = nullptr;
std::string MeterLine::s_bench;
bool MeterLine::s_made = false;
std::string MeterLine::s_why;

void MeterLine::EachRecordKeepsACopyOfItsMeterAndRefusedPressesLeaveNone() {
    const auto measured = Measurements();
    std::vector<std::string> boards;
    for (const auto& r : AllMeasurements()) boards.push_back(r.board.serialNumber);
    EXPECT_EQ(boards, (std::vector<std::string>{"SN-F1", "SN-F2", "SN-F3", "SN-H1", "SN-H2", "SN-F1"}));
    EXPECT_EQ(AllMeasurements().front().meterSerial, kFluke.serial);
    for (const auto& [serial, meter] : kBoards) {
        if (!measured.contains(serial)) continue;
        const ActionRecord& r = measured.at(serial);
        SCOPED_TRACE(serial);
        EXPECT_EQ(r.outcome, MeasureOutcome::Written);
        EXPECT_EQ(std::string(vantrel::records::MeterModelName(r.meterModel)), meter->model);
        EXPECT_EQ(r.meterSerial, meter->serial);
        EXPECT_EQ(r.meterStanding, meter->standing);
        EXPECT_EQ(r.meterAssetTag, meter->assetTag);
        EXPECT_EQ(r.meterCertificate, meter->certificate);
        EXPECT_EQ(r.meterCertificateDate, meter->certificateDate);
        EXPECT_EQ(r.meterLab, "Example Calibration Laboratory");
        EXPECT_EQ(r.meterDue, meter->due);
        EXPECT_EQ(r.ambientCelsius, 22.5);
        int read = 0;
        for (const auto& ch : r.channels) {
            if (!ch.windowHigh) continue;
            ++read;
            EXPECT_TRUE(ch.meterRange && ch.expandedUncertainty) << "channel " << ch.channel;
        }
        EXPECT_EQ(read, 5);
    }
}

// Every channel's range and U, as recorded, against the budget recomputed in Python from the
// register file.
void MeterLine::RecordedUncertaintiesAreRecomputedFromTheRegister() {
    nlohmann::json readings = nlohmann::json::array();
    std::vector<ChannelFigures> channels;
    for (const auto& r : AllMeasurements())
        for (const auto& ch : r.channels) {
            if (!ch.reading || !ch.windowHigh) continue;
            readings.push_back({{"serial", r.meterSerial}, {"reading", *ch.reading}});
            channels.push_back(ch);
        }
    ASSERT_EQ(channels.size(), 30u);
    WriteFile(*s_dir / "readings.json", readings.dump());
    const auto budgets =
        RunShell("python3 " + ShellQuoted(VANTREL_RECOMPUTE_BUDGET) + " " +
                 ShellQuoted(s_bench + "/instruments.ini") + " < " + ShellQuoted(*s_dir / "readings.json"));
    ASSERT_EQ(budgets.exitCode, 0) << budgets.err;
    const auto expected = nlohmann::json::parse(budgets.out);
    ASSERT_EQ(expected.size(), channels.size());
    for (std::size_t i = 0; i < channels.size(); ++i) {
        SCOPED_TRACE("reading " + readings[i].dump());
        ASSERT_TRUE(channels[i].meterRange && channels[i].expandedUncertainty);
        EXPECT_EQ(*channels[i].meterRange, expected[i]["range"].get<double>());
        const double u = expected[i]["expanded"].get<double>();
        EXPECT_NEAR(*channels[i].expandedUncertainty, u, u * 1e-9);
    }
}

void MeterLine::CertificatesNameTheMeterAndRefuseTheOverdueOne() {
    for (const auto& [serial, meter] : kBoards) {
        SCOPED_TRACE(serial);
        const std::string base = *s_dir / ("cert-" + serial);
        const auto run = Records("certificate --out " + ShellQuoted(base) + " " + serial);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::string html = ReadFile(base + ".html");
        const auto pdf = RunShell("pdftotext -layout " + ShellQuoted(base + ".pdf") + " -");
        ASSERT_EQ(pdf.exitCode, 0) << pdf.err;
        const bool overdue = meter == &kHp;
        for (const std::string& text : {html, pdf.out}) {
            for (const char* part : {meter->serial, meter->certificate, meter->due, meter->assetTag})
                EXPECT_NE(text.find(part), std::string::npos) << part << " missing in\n" << text;
            EXPECT_NE(text.find(overdue ? "NOT CALIBRATED" : "CALIBRATED: every reference"),
                      std::string::npos)
                << text;
            EXPECT_EQ(text.find("Its calibration was overdue") != std::string::npos, overdue) << text;
            EXPECT_NE(text.find("22.5"), std::string::npos) << "no ambient temperature\n" << text;
        }
        if (overdue) {
            EXPECT_NE(
                html.find("NOT CALIBRATED: the reference meter &quot;HP-OLD-7&quot; was overdue when it "
                          "measured (its calibration was due on 2025-05-02)."),
                std::string::npos)
                << html;
        }
    }
}

// 5.199 V on channel 0 (4.5 V to 5.2 V) with the Fluke's U of about 2.2 mV.
void MeterLine::AReadingWithinUOfItsLimitIsAConditionalPass() {
    const std::string base = *s_dir / "edge";
    ASSERT_EQ(Records("certificate --out " + ShellQuoted(base) + " SN-F3").exitCode, 0);
    const auto pdf = RunShell("pdftotext -layout " + ShellQuoted(base + ".pdf") + " -");
    EXPECT_NE(pdf.out.find("Decision rule: guard band"), std::string::npos) << pdf.out;
    const std::string html = ReadFile(base + ".html");
    const auto row = html.find("<td>0</td><td>5.199000</td>");
    ASSERT_NE(row, std::string::npos) << html;
    EXPECT_EQ(html.substr(row, html.find("</tr>", row) - row).find("conditional pass") != std::string::npos,
              true)
        << html.substr(row, 200);
    // The other boards' channel 0 read near 5 V: a plain pass.
    const std::string other = *s_dir / "plain";
    ASSERT_EQ(Records("certificate --out " + ShellQuoted(other) + " SN-F2").exitCode, 0);
    EXPECT_EQ(ReadFile(other + ".html").find("<td>conditional pass</td>"), std::string::npos);
}

std::set<std::pair<std::string, std::string>> AffectedBoards(const std::string& json) {
    std::set<std::pair<std::string, std::string>> boards;
    for (const auto& row : nlohmann::json::parse(json))
        boards.emplace(row.at("serial_number").get<std::string>(), row.at("certificate").get<std::string>());
    return boards;
}

void MeterLine::AffectedListsExactlyTheBoardsOfTheMeter() {
    const auto measured = Measurements();
    for (const MeterCopy* meter : {&kFluke, &kHp}) {
        SCOPED_TRACE(meter->serial);
        std::set<std::pair<std::string, std::string>> expected;
        for (const auto& [serial, used] : kBoards)
            if (used == meter) expected.emplace(serial, measured.at(serial).id);
        const auto run = Records(std::string("affected --format json --meter ") + meter->serial);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(AffectedBoards(run.out), expected) << run.out;
        const auto table = Records(std::string("affected --meter ") + meter->serial);
        EXPECT_EQ(static_cast<std::size_t>(std::count(table.out.begin(), table.out.end(), '\n')),
                  expected.size() + 1)
            << table.out;
        const auto csv = Records(std::string("affected --format csv --meter ") + meter->serial);
        EXPECT_EQ(
            csv.out.substr(0, csv.out.find('\r')),
            "serial_number,board_model,calibrated_utc,certificate,meter_serial,meter_standing,bench_host");
    }
    const std::string first = AllMeasurements().front().startedUtc;
    EXPECT_EQ(AffectedBoards(Records("affected --format json --meter FL-GOOD-1 --to 2000-01-01").out).size(),
              0u);
    EXPECT_EQ(AffectedBoards(Records("affected --format json --meter FL-GOOD-1 --from " + first).out).size(),
              2u);
    EXPECT_EQ(AffectedBoards(Records("affected --format json --meter NOBODY").out).size(), 0u);
    EXPECT_EQ(Records("affected").exitCode, 2);
    EXPECT_EQ(Records("affected --meter X --from yesterday").exitCode, 2);
}

void MeterLine::TheLineReportCountsEachMetersUses() {
    const auto records = RecordStore(Database(), RecordStore::OpenMode::ReadOnly).List({});
    const std::string folder = *s_dir / "report";
    const auto run = Records("report --from " + records.front().startedUtc.substr(0, 10) + " --to " +
                             records.back().startedUtc.substr(0, 10) + " " + ShellQuoted(folder));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string index = ReadFile(folder + "/index.html");
    const auto table = index.find("<table id=\"meters\">");
    ASSERT_NE(table, std::string::npos) << index;
    const std::string meters = index.substr(table, index.find("</table>", table) - table);
    // meter, model, due, measurements, boards calibrated, overdue uses, uses while not registered
    EXPECT_NE(
        meters.find("<td>FL-GOOD-1</td><td>Fluke 45</td><td>2999-01-15</td><td class=\"number\">3</td>"
                    "<td class=\"number\">3</td><td class=\"number\">0</td><td class=\"number\">0</td>"),
        std::string::npos)
        << meters;
    EXPECT_NE(meters.find("<tr class=\"fail\"><td>HP-OLD-7</td><td>HP 34401A</td><td>2025-05-02</td>"
                          "<td class=\"number\">3</td><td class=\"number\">3</td><td class=\"number\">3</td>"
                          "<td class=\"number\">0</td>"),
              std::string::npos)
        << meters;
}

}  // namespace

namespace {

// The digest covers the meter's copy and every channel's U: an edit of either in the database
// is caught by verify.
void MeterLine::VerifyRefusesAnEditOfTheMetersCopy() {
    const std::string base = *s_dir / "verify";
    ASSERT_EQ(Records("certificate --out " + ShellQuoted(base) + " SN-H1").exitCode, 0);
    const auto untouched = Records("verify --pdf " + ShellQuoted(base + ".pdf"));
    ASSERT_EQ(untouched.exitCode, 0) << untouched.out << untouched.err;
    const std::string id = Measurements().at("SN-H1").id;
    const std::string seq = "(SELECT seq FROM records WHERE id = '" + id + "')";
    for (const std::string& sql :
         {"UPDATE records SET meter_due = '2999-12-31' WHERE id = '" + id + "'",
          "UPDATE records SET meter_standing = 'in calibration' WHERE id = '" + id + "'",
          "UPDATE channel_figures SET expanded_uncertainty = expanded_uncertainty / 2 WHERE channel = 0 AND "
          "record_seq = " +
              seq}) {
        SCOPED_TRACE(sql);
        const std::string copy = *s_dir / "edited.db";
        std::filesystem::copy_file(Database(), copy, std::filesystem::copy_options::overwrite_existing);
        const auto edit =
            RunShell("python3 -c " +
                     ShellQuoted("import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); "
                                 "n=c.execute(sys.argv[2]).rowcount; c.commit(); sys.exit(n!=1)") +
                     " " + ShellQuoted(copy) + " " + ShellQuoted(sql));
        ASSERT_EQ(edit.exitCode, 0) << edit.err;
        const auto refused = RunShell(ShellQuoted(VANTREL_RECORDS_PROGRAM) + " --db " + ShellQuoted(copy) +
                                      " verify --pdf " + ShellQuoted(base + ".pdf"));
        EXPECT_EQ(refused.exitCode, 9) << refused.out << refused.err;
    }
}

}  // namespace

namespace {

TEST_F(MeterLine, SessionMadeLineTracesItsMeters) {
    {
        SCOPED_TRACE("EachRecordKeepsACopyOfItsMeterAndRefusedPressesLeaveNone");
        EachRecordKeepsACopyOfItsMeterAndRefusedPressesLeaveNone();
    }
    {
        SCOPED_TRACE("RecordedUncertaintiesAreRecomputedFromTheRegister");
        RecordedUncertaintiesAreRecomputedFromTheRegister();
    }
    {
        SCOPED_TRACE("CertificatesNameTheMeterAndRefuseTheOverdueOne");
        CertificatesNameTheMeterAndRefuseTheOverdueOne();
    }
    {
        SCOPED_TRACE("AReadingWithinUOfItsLimitIsAConditionalPass");
        AReadingWithinUOfItsLimitIsAConditionalPass();
    }
    {
        SCOPED_TRACE("AffectedListsExactlyTheBoardsOfTheMeter");
        AffectedListsExactlyTheBoardsOfTheMeter();
    }
    {
        SCOPED_TRACE("TheLineReportCountsEachMetersUses");
        TheLineReportCountsEachMetersUses();
    }
    {
        SCOPED_TRACE("VerifyRefusesAnEditOfTheMetersCopy");
        VerifyRefusesAnEditOfTheMetersCopy();
    }
}

}  // namespace
