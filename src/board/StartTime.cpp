#include "board/StartTime.h"

#include <cstdio>

namespace vantrel::board {

std::time_t SystemCalendarTime() { return std::time(nullptr); }

CalendarClockFn g_calendarClock = &SystemCalendarTime;

const char* const kMonthAbbreviations[kMonthCount] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::tm LocalTimeOf(std::time_t when) {
    std::tm local{};
    if (!localtime_r(&when, &local)) {
        local = std::tm{};
        local.tm_year = 70;
        local.tm_mday = 1;
    }
    return local;
}

std::string FormatStartDate(const std::tm& local) {
    // tm_mon is 0-11 for any time localtime_r produced; guard the index all the same.
    const int month = local.tm_mon >= 0 && local.tm_mon < kMonthCount ? local.tm_mon : 0;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%s-%02d", local.tm_year + 1900, kMonthAbbreviations[month],
                  local.tm_mday);
    return text;
}

}  // namespace vantrel::board
