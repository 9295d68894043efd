// The records program's --from and --to dates at their edges: leap days of century years,
// the sixtieth second, fractions of a second and zone offsets, each read as the stored time
// stamps compare.
#include "Options.h"

#include <gtest/gtest.h>

namespace {

using vantrel::records::cli::ParseDate;

struct DateCase {
    const char* text;
    const char* expected;  // nullptr: refused
};

class DateOption : public testing::TestWithParam<DateCase> {};

TEST_P(DateOption, ReadsAsTheStoredTimeStampsCompare) {
    const auto parsed = ParseDate(GetParam().text);
    if (!GetParam().expected) {
        EXPECT_FALSE(parsed.has_value()) << GetParam().text << " read as " << parsed.value_or("");
        return;
    }
    ASSERT_TRUE(parsed.has_value()) << GetParam().text << " refused";
    EXPECT_EQ(*parsed, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, DateOption,
    testing::Values(
        // Leap days: every fourth year, not a century unless it divides by 400.
        DateCase{"2024-02-29", "2024-02-29"}, DateCase{"2000-02-29", "2000-02-29"},
        DateCase{"1900-02-29", nullptr}, DateCase{"2100-02-29", nullptr}, DateCase{"2026-02-29", nullptr},
        // The clock's own limits: no sixtieth second, no 24th hour.
        DateCase{"2026-12-07T09:30:59Z", "2026-12-07T09:30:59.000Z"},
        DateCase{"2026-12-07T09:30:60Z", nullptr}, DateCase{"2026-12-07T24:00:00Z", nullptr},
        // Fractions: tenths and hundredths are milliseconds to the stored stamps; more digits
        // are cut.
        DateCase{"2026-12-07T09:30:00.5Z", "2026-12-07T09:30:00.500Z"},
        DateCase{"2026-12-07T09:30:00.05Z", "2026-12-07T09:30:00.050Z"},
        DateCase{"2026-12-07T09:30:00,1234Z", "2026-12-07T09:30:00.123Z"},
        // Offsets east and west of UTC move the time the other way.
        DateCase{"2026-12-07T09:30:00+01:00", "2026-12-07T08:30:00.000Z"},
        DateCase{"2026-12-07T09:30:00-05:30", "2026-12-07T15:00:00.000Z"},
        DateCase{"2026-12-31T23:30:00-01:00", "2027-01-01T00:30:00.000Z"}),
    [](const testing::TestParamInfo<DateCase>& row) { return "Case" + std::to_string(row.index); });

}  // namespace
