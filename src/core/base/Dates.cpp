// The calendar arithmetic of a KEY's build date.

#include "base/Dates.h"

#include "base/Text.h"

#include <algorithm>
#include <array>

namespace vellocar {

LocalDate DateOf(std::int64_t year, unsigned month, unsigned day) {
    static constexpr std::array<unsigned, 12> kDaysBeforeMonth{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    month = std::clamp(month, 1u, 12u);
    unsigned dayOfYear = kDaysBeforeMonth[month - 1] + std::max(day, 1u) - 1;
    if (month > 2 && IsLeapYear(year)) ++dayOfYear;
    return {year >= 1900 ? static_cast<std::uint32_t>(year - 1900) : 0u, dayOfYear};
}

std::optional<LocalDate> DateFromEpoch(std::string_view text) {
    constexpr std::int64_t kSecondsPerDay = 86400;
    constexpr std::int64_t kMaxSeconds = 253402300799; // the end of the year 9999
    if (text.empty() || text.size() > 12) return std::nullopt;
    std::int64_t seconds = 0;
    if (!AllAsciiDigits(text)) return std::nullopt;
    for (const char c : text) seconds = seconds * 10 + (c - '0');
    if (seconds > kMaxSeconds) return std::nullopt;
    // Whole days since 1 January 1970, then years counted off one by one.
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t year = 1970;
    for (std::int64_t length; days >= (length = IsLeapYear(year) ? 366 : 365); ++year) days -= length;
    return LocalDate{static_cast<std::uint32_t>(year - 1900), static_cast<std::uint32_t>(days)};
}

} // namespace vellocar
