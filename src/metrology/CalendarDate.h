#pragma once
// A calendar day as the register and the records write it: YYYY-MM-DD.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::metrology {

using CalendarDate = std::chrono::year_month_day;

// "2026-03-10"; none for anything that is not a valid day in that form.
std::optional<CalendarDate> ParseDate(std::string_view text);
std::string FormatDate(const CalendarDate& date);
// Today in UTC.
CalendarDate TodayUtc();
// Whole days from `from` to `to` (negative when `to` is earlier).
int DaysBetween(const CalendarDate& from, const CalendarDate& to);

}  // namespace vantrel::metrology
