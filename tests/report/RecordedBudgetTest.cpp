// A certificate's uncertainty budget is the one its record kept when the meter measured: each
// term checked against tests/metrology/recompute_budget.py working from the register file as
// it was then, and the same after the register's figures are changed. A record that kept only
// U says so; one that kept nothing takes the register's meter of its own model.
#include "RecordsTestSupport.h"

#include "app/MeterCopy.h"
#include "metrology/MeterOnLine.h"
#include "records/RecordStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>

namespace {

using namespace recordstest;
using vantrel::metrology::MeterModel;
using vantrel::records::ChannelFigures;
using vantrel::records::ChannelVerdict;
namespace fs = std::filesystem;
namespace metro = vantrel::metrology;

constexpr const char* kFluke = "4571234";
constexpr const char* kHp = "3146A12345";
// Each channel's reading, window and value before; channel 3 reads on a smaller range.
constexpr double kReadings[] = {4.9962, 2.4987, 1.2493, 0.6247};
constexpr double kLow[] = {4.5, 2.1, 1.0, 0.5};
constexpr double kHigh[] = {5.5, 2.9, 1.5, 0.7};

// One row of a budget table as the page shows it: term, distribution, half-width, divisor, u.
using Rows = std::vector<std::vector<std::string>>;

// Every budget table of a certificate page, by channel.
std::map<int, Rows> BudgetTables(const std::string& html) {
    std::map<int, Rows> tables;
    static const std::regex table("<table class=\"budget\" id=\"budget-ch(\\d+)\">([\\s\\S]*?)</table>");
    static const std::regex row("<tr[^>]*>([\\s\\S]*?)</tr>");
    static const std::regex cell("<t[dh][^>]*>([\\s\\S]*?)</t[dh]>");
    for (std::sregex_iterator t(html.begin(), html.end(), table), end; t != end; ++t) {
        Rows& rows = tables[std::stoi((*t)[1])];
        const std::string body = (*t)[2];
        for (std::sregex_iterator r(body.begin(), body.end(), row); r != end; ++r) {
            const std::string cells = (*r)[1];
            std::vector<std::string> line;
            for (std::sregex_iterator c(cells.begin(), cells.end(), cell); c != end; ++c)
                line.push_back((*c)[1]);
            rows.push_back(line);
        }
    }
    return tables;
}

std::string Micro(double volts) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", volts * 1e6);
    return text;
}

// A bench folder with its own copy of the example register, its settings and its database.
class Bench {
public:
    explicit Bench(std::optional<double> ambient) : m_ambient(ambient) {
        fs::copy_file(VANTREL_EXAMPLE_REGISTER, Register());
        std::string settings = "[metrology]\ninstruments=instruments.ini\n";
        if (ambient) settings += "ambient_temperature=" + std::to_string(*ambient) + "\n";
        WriteFile(m_dir / "vantrel-records.ini", settings);
    }
    std::string Register() const { return m_dir / "instruments.ini"; }
    std::string Database() const { return m_dir / vantrel::records::kDatabaseFileName; }

    // A Measure References record of the meter, copied from the register the way the window
    // copies it when it measures.
    ActionRecord Measure(MeterModel model, const std::string& serial) const {
        ActionRecord r = SampleRecord(ActionKind::MeasureReferences, "SN-" + serial);
        r.meterModel = model;
        r.channels.clear();
        for (int ch = 0; ch < 4; ++ch) {
            ChannelFigures f;
            f.channel = ch;
            f.reading = kReadings[ch];
            f.windowLow = kLow[ch];
            f.windowHigh = kHigh[ch];
            f.verdict = ChannelVerdict::Pass;
            f.eepromBefore = kLow[ch];
            f.eepromWritten = kReadings[ch];
            r.channels.push_back(f);
        }
        metro::MetrologySettings settings;
        settings.registerPath = Register();
        settings.meterSerial = serial;
        settings.ambientCelsius = m_ambient;
        const auto line = metro::CheckMeterOnLine(settings, model, *metro::ParseDate("2026-12-01"));
        EXPECT_EQ(line.standing, metro::MeterStanding::InCalibration) << line.reason;
        vantrel::app::CopyMeterInto(r, line);
        return r;
    }
    void Write(const ActionRecord& r) const {
        EXPECT_TRUE(vantrel::records::RecordStore(Database()).Write(r));
    }

    // The HTML of the record's certificate.
    std::string Certificate(const ActionRecord& r, const std::string& name) const {
        const std::string base = m_dir / name;
        const auto run = RunShell(ShellQuoted(VANTREL_RECORDS_PROGRAM) + " --db " + ShellQuoted(Database()) +
                                  " certificate --out " + ShellQuoted(base) + " " + r.id);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return ReadFile(base + ".html");
    }

    // The budget of every channel as recompute_budget.py works it out from the register file.
    nlohmann::json Recomputed(const std::string& serial) const {
        nlohmann::json readings = nlohmann::json::array();
        for (const double reading : kReadings) {
            nlohmann::json one = {{"serial", serial}, {"reading", reading}};
            if (m_ambient) one["ambient"] = *m_ambient;
            readings.push_back(one);
        }
        WriteFile(m_dir / "readings.json", readings.dump());
        const auto run = RunShell("python3 " + ShellQuoted(VANTREL_RECOMPUTE_BUDGET) + " " +
                                  ShellQuoted(Register()) + " < " + ShellQuoted(m_dir / "readings.json"));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return nlohmann::json::parse(run.out);
    }

    // Every accuracy and temperature figure of the register made larger.
    void ChangeRegisterFigures() const {
        std::string text = ReadFile(Register());
        text = std::regex_replace(text, std::regex("(dcv [0-9.]+( tempco)?) = 0\\.0"), "$1 = 0.1");
        text = std::regex_replace(text, std::regex("\\+ 6 counts"), "+ 60 counts");
        WriteFile(Register(), text);
    }

private:
    TempDir m_dir;
    std::optional<double> m_ambient;
};

// The page's tables against the independent recomputation, term by term.
void ExpectBudgets(const std::map<int, Rows>& tables, const nlohmann::json& expected) {
    ASSERT_EQ(tables.size(), std::size(kReadings));
    for (int ch = 0; ch < static_cast<int>(std::size(kReadings)); ++ch) {
        SCOPED_TRACE("channel " + std::to_string(ch));
        ASSERT_TRUE(tables.contains(ch));
        const Rows& rows = tables.at(ch);
        const auto& want = expected[ch];
        // A header row, one row per term, the combined and the expanded uncertainty.
        ASSERT_EQ(rows.size(), want["terms"].size() + 3);
        for (std::size_t t = 0; t < want["terms"].size(); ++t) {
            const auto& term = want["terms"][t];
            const auto& row = rows[t + 1];
            ASSERT_EQ(row.size(), 5u);
            EXPECT_EQ(row[0], term["name"].get<std::string>());
            EXPECT_EQ(row[1], "rectangular");
            EXPECT_EQ(row[2], Micro(term["half_width"])) << term["name"];
            EXPECT_EQ(row[4], Micro(term["u"])) << term["name"];
        }
        EXPECT_EQ(rows[rows.size() - 2].back(), Micro(want["combined"]));
        EXPECT_EQ(rows.back().back(), Micro(want["expanded"]));
    }
}

std::size_t TemperatureTerms(const std::map<int, Rows>& tables) {
    std::size_t count = 0;
    for (const auto& [channel, rows] : tables)
        for (const auto& row : rows) count += !row.empty() && row[0] == "meter temperature coefficient";
    return count;
}

TEST(RecordedBudget, TheCertificateKeepsTheBudgetOfTheTimeWhateverTheRegisterSaysLater) {
    const struct {
        const char* name;
        MeterModel model;
        const char* serial;
        std::optional<double> ambient;
        const char* note;  // what the certificate says of the temperature
        bool temperatureTerm;
    } cases[] = {
        {"Fluke, no temperature", MeterModel::Fluke45, kFluke, std::nullopt,
         "The ambient temperature was not recorded. The meter's accuracy figures hold for 18.0 &deg;C to "
         "28.0 &deg;C.",
         false},
        {"HP, inside the band", MeterModel::Hp34401A, kHp, 23.0, "which the ambient temperature lies in",
         false},
        {"HP, band's edge", MeterModel::Hp34401A, kHp, 28.0, "which the ambient temperature lies in", false},
        {"Fluke, cold", MeterModel::Fluke45, kFluke, 12.0, "adds the meter's temperature coefficient", true},
        {"HP, warm", MeterModel::Hp34401A, kHp, 31.5, "adds the meter's temperature coefficient", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bench bench(c.ambient);
        const ActionRecord measured = bench.Measure(c.model, c.serial);
        bench.Write(measured);
        const nlohmann::json expected = bench.Recomputed(c.serial);
        const std::string html = bench.Certificate(measured, "then");
        EXPECT_NE(html.find("CALIBRATED: every reference"), std::string::npos);
        EXPECT_NE(html.find(c.note), std::string::npos) << html;
        const auto then = BudgetTables(html);
        ExpectBudgets(then, expected);
        EXPECT_EQ(TemperatureTerms(then), c.temperatureTerm ? std::size(kReadings) : 0u);

        bench.ChangeRegisterFigures();
        const auto later = BudgetTables(bench.Certificate(measured, "later"));
        EXPECT_EQ(later, then);
        // The change is one the register's own budget would show.
        EXPECT_NE(bench.Recomputed(c.serial)[0]["expanded"], expected[0]["expanded"]);
    }
}

// Runs one statement on the database.
void Exec(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

// A record of the previous version kept U and the range but not the figures: the certificate
// gives those and says the terms were not recorded, never the register's figures of today.
TEST(RecordedBudget, ARecordWithoutItsFiguresShowsItsOwnUAndSaysTheTermsWereNotRecorded) {
    const Bench bench(std::nullopt);
    const ActionRecord measured = bench.Measure(MeterModel::Fluke45, kFluke);
    bench.Write(measured);
    Exec(bench.Database(),
         "UPDATE channel_figures SET meter_resolution = NULL, accuracy_percent_of_reading = NULL, "
         "accuracy_percent_of_range = NULL, accuracy_counts = NULL, tempco_percent_of_reading = NULL, "
         "tempco_percent_of_range = NULL, tempco_counts = NULL");
    bench.ChangeRegisterFigures();
    const std::string html = bench.Certificate(measured, "kept-u");
    EXPECT_TRUE(BudgetTables(html).empty());
    EXPECT_NE(html.find("the terms were not recorded"), std::string::npos) << html;
    for (const auto& f : measured.channels) {
        SCOPED_TRACE("channel " + std::to_string(f.channel));
        ASSERT_TRUE(f.meterRange && f.expandedUncertainty);
        char row[160];
        std::snprintf(row, sizeof row, "<tr><td>%d</td><td>%g</td><td>%s</td></tr>", f.channel, *f.meterRange,
                      Micro(*f.expandedUncertainty).c_str());
        EXPECT_NE(html.find(row), std::string::npos) << row;
    }
}

// A record that kept no uncertainty at all (made before records named their meter) takes the
// register's only meter of its model, and says the figures are the register's of today: an
// HP 34401A's record gets the HP's figures, not the Fluke's.
TEST(RecordedBudget, ARecordThatKeptNothingTakesTheRegistersMeterOfItsModel) {
    for (const auto& [model, serial] :
         {std::pair{MeterModel::Hp34401A, kHp}, std::pair{MeterModel::Fluke45, kFluke}}) {
        SCOPED_TRACE(serial);
        const Bench bench(std::nullopt);
        ActionRecord measured = bench.Measure(model, serial);
        measured.meterSerial.clear();
        measured.meterStanding.reset();
        // As records were before they named their meter: no meter's copy, no range, no U.
        for (auto& f : measured.channels) {
            ChannelFigures bare;
            bare.channel = f.channel;
            bare.reading = f.reading;
            bare.windowLow = f.windowLow;
            bare.windowHigh = f.windowHigh;
            bare.verdict = f.verdict;
            bare.eepromBefore = f.eepromBefore;
            bare.eepromWritten = f.eepromWritten;
            f = bare;
        }
        bench.Write(measured);
        const std::string html = bench.Certificate(measured, "register");
        EXPECT_NE(html.find("the register's figures of today"), std::string::npos) << html;
        ExpectBudgets(BudgetTables(html), bench.Recomputed(serial));
    }
}

}  // namespace
