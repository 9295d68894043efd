#pragma once
// The start time of a board initialization: the calendar clock it is taken from and the
// texts of its log line.

#include <ctime>
#include <string>

namespace vantrel::board {

// The calendar clock, seconds since the epoch. Tests replace it to fix the start time.
using CalendarClockFn = std::time_t (*)();
extern CalendarClockFn g_calendarClock;

// The current calendar time from the system.
std::time_t SystemCalendarTime();

inline constexpr int kMonthCount = 12;
extern const char* const kMonthAbbreviations[kMonthCount];

// Broken-down local time of a calendar time; a time the system cannot break down gives
// the epoch's fields rather than garbage.
std::tm LocalTimeOf(std::time_t when);

// "%04d-%s-%02d" from the full year, the month abbreviation and the day of the month.
std::string FormatStartDate(const std::tm& local);

}  // namespace vantrel::board
