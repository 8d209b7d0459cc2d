#pragma once
// The date a KEY is stamped with, as its header holds it (years since 1900, whole days since
// 1 January), and the calendar arithmetic that gives it. Pure functions: the clock itself is
// the platform's (platform::Today).

#include <cstdint>
#include <optional>
#include <string_view>

namespace vellocar {

struct LocalDate {
    std::uint32_t YearsSince1900 = 0;
    std::uint32_t DayOfYear = 0; // 0 for 1 January
};

inline constexpr bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// The date of a day given as year, month (1 to 12) and day of the month (from 1).
LocalDate DateOf(std::int64_t year, unsigned month, unsigned day);

// The UTC date of a SOURCE_DATE_EPOCH value (decimal seconds since 1970, up to the year 9999);
// nullopt for anything else.
std::optional<LocalDate> DateFromEpoch(std::string_view text);

} // namespace vellocar
