// The statement of conformity under each decision rule, and the meter's standing against its
// due date.
#include "metrology/DecisionRule.h"
#include "metrology/MeterStanding.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace vantrel::metrology;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct DecisionCase {
    const char* name;
    double value;
    ToleranceLimits limits;
    double expanded;
    Conformity simple;
    Conformity guarded;
};

TEST(DecisionRule, EachRuleJudgesEveryZoneOfTheWindow) {
    const ToleranceLimits ch0{4.5, 5.2};
    const ToleranceLimits ch4{std::nullopt, 0.5};  // no lower limit
    const double u = 0.002;
    const DecisionCase cases[] = {
        {"middle", 4.9962, ch0, u, Conformity::Pass, Conformity::Pass},
        {"just inside the upper acceptance limit", 5.197, ch0, u, Conformity::Pass, Conformity::Pass},
        {"within U below the upper limit", 5.1985, ch0, u, Conformity::Pass, Conformity::ConditionalPass},
        {"on the upper limit", 5.2, ch0, u, Conformity::Pass, Conformity::ConditionalPass},
        {"just above the upper limit", 5.2005, ch0, u, Conformity::Fail, Conformity::Fail},
        {"far above", 5.3, ch0, u, Conformity::Fail, Conformity::Fail},
        {"just inside the lower acceptance limit", 4.503, ch0, u, Conformity::Pass, Conformity::Pass},
        {"within U above the lower limit", 4.5015, ch0, u, Conformity::Pass, Conformity::ConditionalPass},
        {"on the lower limit", 4.5, ch0, u, Conformity::Pass, Conformity::ConditionalPass},
        {"just below the lower limit", 4.4995, ch0, u, Conformity::Fail, Conformity::Fail},
        {"no lower limit: zero", 0.0, ch4, u, Conformity::Pass, Conformity::Pass},
        {"no lower limit: within U of the top", 0.4995, ch4, u, Conformity::Pass,
         Conformity::ConditionalPass},
        {"no lower limit: above", 0.7, ch4, u, Conformity::Fail, Conformity::Fail},
        {"U wider than half the window", 4.85, ch0, 0.4, Conformity::Pass, Conformity::ConditionalPass},
        {"no uncertainty", 5.2, ch0, 0.0, Conformity::Pass, Conformity::Pass},
        {"uncertainty unknown", 4.9, ch0, kNaN, Conformity::Pass, Conformity::ConditionalPass},
        {"not a number", kNaN, ch0, u, Conformity::Fail, Conformity::Fail},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(ConformityName(Decide(c.value, c.limits, c.expanded, DecisionRule::SimpleAcceptance)),
                     ConformityName(c.simple));
        EXPECT_STREQ(ConformityName(Decide(c.value, c.limits, c.expanded, DecisionRule::GuardBand)),
                     ConformityName(c.guarded));
    }
}

TEST(DecisionRule, NamesReadBackToTheirRule) {
    for (const DecisionRule rule : {DecisionRule::SimpleAcceptance, DecisionRule::GuardBand}) {
        DecisionRule read =
            rule == DecisionRule::GuardBand ? DecisionRule::SimpleAcceptance : DecisionRule::GuardBand;
        ASSERT_TRUE(ParseDecisionRule(DecisionRuleName(rule), read)) << DecisionRuleName(rule);
        EXPECT_EQ(read, rule);
    }
    DecisionRule untouched = DecisionRule::GuardBand;
    EXPECT_FALSE(ParseDecisionRule("Simple Acceptance", untouched));
    EXPECT_EQ(untouched, DecisionRule::GuardBand);
    EXPECT_STRNE(ConformityName(Conformity::ConditionalPass), ConformityName(Conformity::Pass));
}

ReferenceMeter MeterDue(const char* serial, const char* due) {
    ReferenceMeter meter;
    meter.serial = serial;
    meter.certificateDate = *ParseDate("2025-01-01");
    meter.due = *ParseDate(due);
    return meter;
}

TEST(MeterStanding, ACalibrationHoldsThroughItsDueDate) {
    InstrumentRegister reg;
    reg.meters = {MeterDue("A", "2026-12-08"), MeterDue("B", "2028-02-29")};
    struct Case {
        const char* serial;
        const char* today;
        MeterStanding standing;
        int daysToDue;
    } cases[] = {
        {"A", "2026-12-07", MeterStanding::InCalibration, 1},
        {"A", "2026-12-08", MeterStanding::InCalibration, 0},
        {"A", "2026-12-09", MeterStanding::Overdue, -1},
        {"A", "2027-12-08", MeterStanding::Overdue, -365},
        {"B", "2027-02-28", MeterStanding::InCalibration, 366},  // across a leap day
        {"B", "2028-03-01", MeterStanding::Overdue, -1},
        {"C", "2026-12-08", MeterStanding::Unregistered, 0},
        {"a", "2026-12-08", MeterStanding::Unregistered, 0},  // serial numbers are exact
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.serial) + " on " + c.today);
        const MeterCheck check = CheckMeter(reg, c.serial, *ParseDate(c.today));
        EXPECT_STREQ(MeterStandingName(check.standing), MeterStandingName(c.standing));
        EXPECT_EQ(check.daysToDue, c.daysToDue);
        EXPECT_EQ(check.meter != nullptr, c.standing != MeterStanding::Unregistered);
    }
}

TEST(CalendarDate, OnlyValidDaysInTheRegisterFormParse) {
    for (const char* good : {"2026-01-01", "2028-02-29", "1999-12-31"})
        EXPECT_EQ(FormatDate(*ParseDate(good)), good) << good;
    for (const char* bad : {"2026-02-29", "2026-13-01", "2026-00-10", "2026-1-01", "26-01-01", "2026-01-01 ",
                            "2026/01/01", "", "2026-01-0x"})
        EXPECT_FALSE(ParseDate(bad)) << '"' << bad << '"';
}

}  // namespace
