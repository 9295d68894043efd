#include "metrology/CalendarDate.h"

#include <cctype>
#include <cstdio>

namespace vantrel::metrology {

namespace {

constexpr std::size_t kDateLength = 10;  // YYYY-MM-DD

bool DigitsAt(std::string_view text, std::size_t from, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

std::optional<CalendarDate> ParseDate(std::string_view text) {
    if (text.size() != kDateLength || text[4] != '-' || text[7] != '-') return std::nullopt;
    int year = 0, month = 0, day = 0;
    if (!DigitsAt(text, 0, 4, year) || !DigitsAt(text, 5, 2, month) || !DigitsAt(text, 8, 2, day))
        return std::nullopt;
    const CalendarDate date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                            std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok()) return std::nullopt;
    return date;
}

std::string FormatDate(const CalendarDate& date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

CalendarDate TodayUtc() {
    return CalendarDate{std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
}

int DaysBetween(const CalendarDate& from, const CalendarDate& to) {
    return static_cast<int>((std::chrono::sys_days{to} - std::chrono::sys_days{from}).count());
}

}  // namespace vantrel::metrology
