// The register of reference meters: what it reads, what it refuses (with file and line), the
// range a reading is taken on, and where the bench's settings name the register.
#include "RecordsTestSupport.h"

#include "metrology/InstrumentRegister.h"
#include "metrology/MetrologySettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace vantrel::metrology;

const char* const kTwoMeters = R"(# a comment
; another
[meter F-1]
model = Fluke 45
asset_tag = A-1
certificate = C-1
certificate_date = 2026-03-10
lab = Lab One
due = 2027-03-10
dcv 10 = 0.025% + 6 counts
dcv 10 resolution = 0.0001
dcv 10 full_scale = 9.9999
dcv 10 tempco = 0.0025% + 0.6 counts
dcv 1 = 0.02% + 3 count
dcv 1 resolution = 0.00001
dcv 1 full_scale = 0.99999

[ meter H-2 ]
model=HP 34401A
asset_tag=A-2
certificate=C-2
certificate_date=2025-01-31
lab=Lab Two
due=2026-01-31
dcv 10=0.0035% + 0.0005%
dcv 10 tempco=0.0005% + 0.0001%
dcv 10 resolution=0.00001
dcv 10 full_scale=12
)";

TEST(Register, ReadsEveryFieldOfEveryMeter) {
    const InstrumentRegister reg = ParseRegister(kTwoMeters, "t.ini");
    ASSERT_EQ(reg.meters.size(), 2u);
    const ReferenceMeter& f = reg.meters[0];
    EXPECT_EQ(f.serial, "F-1");
    EXPECT_EQ(f.model, MeterModel::Fluke45);
    EXPECT_EQ(f.assetTag, "A-1");
    EXPECT_EQ(f.certificate, "C-1");
    EXPECT_EQ(FormatDate(f.certificateDate), "2026-03-10");
    EXPECT_EQ(f.lab, "Lab One");
    EXPECT_EQ(FormatDate(f.due), "2027-03-10");
    // Ranges come out ascending whatever the order of the file.
    ASSERT_EQ(f.dcVoltage.size(), 2u);
    EXPECT_EQ(f.dcVoltage[0].range, 1.0);
    EXPECT_EQ(f.dcVoltage[0].percentOfReading, 0.02);
    EXPECT_EQ(f.dcVoltage[0].counts, 3);
    EXPECT_EQ(f.dcVoltage[0].resolution, 0.00001);
    EXPECT_EQ(f.dcVoltage[0].fullScale, 0.99999);
    EXPECT_EQ(f.dcVoltage[1].range, 10.0);
    EXPECT_EQ(f.dcVoltage[1].percentOfReading, 0.025);
    EXPECT_EQ(f.dcVoltage[1].percentOfRange, 0.0);
    EXPECT_EQ(f.dcVoltage[1].counts, 6);
    EXPECT_FALSE(f.dcVoltage[0].temperatureCoefficient);
    EXPECT_EQ(f.dcVoltage[1].temperatureCoefficient, (TemperatureCoefficient{0.0025, 0.0, 0.6}));

    const ReferenceMeter* h = reg.Find("H-2");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->model, MeterModel::Hp34401A);
    EXPECT_EQ(h->lab, "Lab Two");
    ASSERT_EQ(h->dcVoltage.size(), 1u);
    EXPECT_EQ(h->dcVoltage[0].percentOfReading, 0.0035);
    EXPECT_EQ(h->dcVoltage[0].percentOfRange, 0.0005);
    EXPECT_EQ(h->dcVoltage[0].counts, 0);
    EXPECT_EQ(h->dcVoltage[0].temperatureCoefficient, (TemperatureCoefficient{0.0005, 0.0001, 0.0}));
    EXPECT_EQ(reg.Find("F-"), nullptr);
}

TEST(Register, AccuracyHalfWidthAddsReadingAndFloorTerms) {
    const InstrumentRegister reg = ParseRegister(kTwoMeters, "t.ini");
    // 0.025 % of 5 V plus 6 counts of 100 uV; 0.0035 % of 5 V plus 0.0005 % of 10 V.
    EXPECT_NEAR(reg.meters[0].dcVoltage[1].AccuracyHalfWidth(-5.0), 0.00125 + 0.0006, 1e-15);
    EXPECT_NEAR(reg.meters[1].dcVoltage[0].AccuracyHalfWidth(5.0), 175e-6 + 50e-6, 1e-15);
    // Per degree outside: 0.0025 % of 5 V plus 0.6 counts; 0.0005 % of 5 V plus 0.0001 % of 10 V.
    EXPECT_NEAR(*reg.meters[0].dcVoltage[1].TemperatureHalfWidth(-5.0, 4.0), 4 * (125e-6 + 60e-6), 1e-15);
    EXPECT_NEAR(*reg.meters[1].dcVoltage[0].TemperatureHalfWidth(5.0, 2.5), 2.5 * (25e-6 + 10e-6), 1e-15);
    EXPECT_FALSE(reg.meters[0].dcVoltage[0].TemperatureHalfWidth(1.0, 4.0));
}

TEST(Register, TheShippedExampleHoldsBothModels) {
    const InstrumentRegister reg = LoadRegister(VANTREL_EXAMPLE_REGISTER);
    ASSERT_EQ(reg.meters.size(), 2u);
    EXPECT_EQ(reg.meters[0].model, MeterModel::Fluke45);
    EXPECT_EQ(reg.meters[1].model, MeterModel::Hp34401A);
    for (const auto& meter : reg.meters) EXPECT_EQ(meter.dcVoltage.size(), 5u) << meter.serial;
}

// A meter text with one line replaced (or, with an empty replacement, removed).
std::string MeterWith(const std::string& line, const std::string& replacement) {
    std::string text =
        "[meter X]\nmodel = Fluke 45\nasset_tag = A\ncertificate = C\ncertificate_date = 2026-01-01\n"
        "lab = L\ndue = 2027-01-01\ndcv 10 = 0.025% + 6 counts\ndcv 10 resolution = 0.0001\n"
        "dcv 10 full_scale = 9.9999\n";
    const auto at = text.find(line);
    if (at == std::string::npos) return text + replacement + "\n";
    const auto end = text.find('\n', at);
    text.replace(at, end - at + 1, replacement.empty() ? "" : replacement + "\n");
    return text;
}

struct BadRegister {
    const char* name;
    std::string text;
    const char* expected;  // the error names file:line and says this
};

TEST(Register, RefusesWhatItCannotUseWithFileAndLine) {
    const BadRegister cases[] = {
        {"key before a group", "model = Fluke 45\n", "r.ini:1: a key before the first [meter SERIAL]"},
        {"unknown group", "[meters X]\n", "r.ini:1: unknown group [meters X]"},
        {"unclosed group", "[meter X\n", "r.ini:1: a group header ends with ']'"},
        {"no serial", "[meter ]\n", "r.ini:1: unknown group"},
        {"no equals", MeterWith("lab = L", "lab L"), "r.ini:6: meter X: expected key = value"},
        {"unknown model", MeterWith("model = Fluke 45", "model = Fluke 8846A"),
         "r.ini:2: meter X: unknown model 'Fluke 8846A'"},
        {"unknown key", MeterWith("lab = L", "labs = L"), "r.ini:6: meter X: unknown key 'labs'"},
        {"key twice", MeterWith("lab = L", "lab = L\nlab = M"), "r.ini:7: meter X: 'lab' is given twice"},
        {"bad date", MeterWith("due = 2027-01-01", "due = 2027-02-30"),
         "r.ini:7: meter X: 'due' needs a date"},
        {"due before certificate", MeterWith("due = 2027-01-01", "due = 2026-01-01"),
         "r.ini:7: meter X: the due date is not after the certificate date"},
        {"missing lab", MeterWith("lab = L", ""), "r.ini:1: meter X: 'lab' is missing"},
        {"no range",
         "[meter X]\nmodel = Fluke 45\nasset_tag = A\ncertificate = C\ncertificate_date = 2026-01-01\n"
         "lab = L\ndue = 2027-01-01\n",
         "r.ini:1: meter X: no DC voltage range"},
        {"bad accuracy", MeterWith("dcv 10 = 0.025% + 6 counts", "dcv 10 = 0.025 + 6"),
         "r.ini:8: meter X: 'dcv 10' needs % of reading"},
        {"negative accuracy", MeterWith("dcv 10 = 0.025% + 6 counts", "dcv 10 = -0.025% + 6 counts"),
         "'dcv 10' needs % of reading"},
        {"bad range", MeterWith("dcv 10 = 0.025% + 6 counts", "dcv ten = 0.025% + 6 counts"),
         "r.ini:8: meter X: 'dcv ten': the range is a positive number"},
        {"missing resolution", MeterWith("dcv 10 resolution = 0.0001", ""),
         "the 10 V range has no resolution"},
        {"missing full scale", MeterWith("dcv 10 full_scale = 9.9999", ""),
         "the 10 V range has no full_scale"},
        {"missing accuracy", MeterWith("dcv 10 = 0.025% + 6 counts", ""), "the 10 V range has no accuracy"},
        {"zero resolution", MeterWith("dcv 10 resolution = 0.0001", "dcv 10 resolution = 0"),
         "'dcv 10 resolution' needs a positive number"},
        {"resolution above full scale", MeterWith("dcv 10 resolution = 0.0001", "dcv 10 resolution = 11"),
         "resolution larger than its full scale"},
        {"ranges not growing",
         MeterWith("lab = L",
                   "lab = L\ndcv 1 = 0.025% + 6 counts\ndcv 1 resolution = 0.0001\n"
                   "dcv 1 full_scale = 10"),
         "the 10 V range shows no more than the range below it"},
        {"typed values as a model", MeterWith("model = Fluke 45", "model = none (typed)"),
         "r.ini:2: meter X: unknown model 'none (typed)'"},
        {"bad tempco", MeterWith("lab = L", "lab = L\ndcv 10 tempco = 0.0025%"),
         "r.ini:7: meter X: 'dcv 10 tempco' needs % of reading + % of range or counts per degree"},
        {"negative tempco", MeterWith("lab = L", "lab = L\ndcv 10 tempco = 0.0025% + -1 counts"),
         "'dcv 10 tempco' needs % of reading"},
        {"fractional accuracy counts",
         MeterWith("dcv 10 = 0.025% + 6 counts", "dcv 10 = 0.025% + 6.5 counts"),
         "'dcv 10' needs % of reading"},
        {"tempco alone", MeterWith("lab = L", "lab = L\ndcv 100 tempco = 0.0025% + 0.6 counts"),
         "r.ini:7: meter X: the 100 V range has no accuracy"},
        {"serial twice", MeterWith("lab = L", "lab = L") + MeterWith("lab = L", "lab = L"),
         "r.ini:11: meter X is registered twice"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            ParseRegister(c.text, "r.ini");
            ADD_FAILURE() << "accepted:\n" << c.text;
        } catch (const RegisterError& error) {
            EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos)
                << "expected \"" << c.expected << "\" in \"" << error.what() << "\"";
        }
    }
}

TEST(Register, AMissingFileIsARegisterError) {
    EXPECT_THROW(LoadRegister("/nonexistent/instruments.ini"), RegisterError);
    EXPECT_THROW(LoadRegister("/"), RegisterError);
}

TEST(Register, AReadingIsTakenOnTheSmallestRangeThatShowsIt) {
    const InstrumentRegister reg = LoadRegister(VANTREL_EXAMPLE_REGISTER);
    const ReferenceMeter& fluke = *reg.Find("4571234");
    const ReferenceMeter& hp = *reg.Find("3146A12345");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const ReferenceMeter* meter;
        double reading;
        double range;  // 0: no range
    } cases[] = {
        {&fluke, 0.0, 0.1},     {&fluke, 0.099999, 0.1}, {&fluke, 0.1, 1.0},     {&fluke, 0.99999, 1.0},
        {&fluke, 1.0, 10.0},    {&fluke, -4.9962, 10.0}, {&fluke, 9.9999, 10.0}, {&fluke, 10.0, 100.0},
        {&fluke, 1000.0, 1000}, {&fluke, 1000.01, 0},    {&fluke, nan, 0},       {&hp, 0.12, 0.1},
        {&hp, 0.1200001, 1.0},  {&hp, 1.2, 1.0},         {&hp, 1.2000001, 10.0}, {&hp, 4.9962, 10.0},
        {&hp, -12.0, 10.0},     {&hp, 12.000001, 100.0}, {&hp, 1000.5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(MeterModelName(c.meter->model)) + " " + std::to_string(c.reading));
        const DcVoltageRange* range = c.meter->RangeFor(c.reading);
        if (c.range == 0) {
            EXPECT_EQ(range, nullptr);
        } else {
            ASSERT_NE(range, nullptr);
            EXPECT_EQ(range->range, c.range);
        }
    }
}

TEST(MetrologySettings, NameTheRegisterAndTheRuleBesideTheRecordsSettings) {
    recordstest::TempDir bench;
    EXPECT_FALSE(LoadMetrologySettings(bench.path()).registerPath);  // no file
    recordstest::WriteFile(bench / "vantrel-records.ini", "[records]\nserial_prompt=true\n");
    auto settings = LoadMetrologySettings(bench.path());
    EXPECT_FALSE(settings.registerPath);
    EXPECT_EQ(settings.decisionRule, DecisionRule::SimpleAcceptance);

    recordstest::WriteFile(bench / "vantrel-records.ini",
                           "[metrology]\ninstruments=line/instruments.ini\ndecision_rule=guard band\n");
    settings = LoadMetrologySettings(bench.path());
    ASSERT_TRUE(settings.registerPath);
    EXPECT_EQ(*settings.registerPath, bench / "line/instruments.ini");
    EXPECT_EQ(settings.decisionRule, DecisionRule::GuardBand);

    recordstest::WriteFile(bench / "vantrel-records.ini",
                           "[metrology]\ninstruments=/srv/line/instruments.ini\n");
    EXPECT_EQ(*LoadMetrologySettings(bench.path()).registerPath, "/srv/line/instruments.ini");

    recordstest::WriteFile(bench / "vantrel-records.ini", "[metrology]\ndecision_rule=guard-band\n");
    EXPECT_THROW(LoadMetrologySettings(bench.path()), SettingsError);
}

}  // namespace
