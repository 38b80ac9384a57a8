#include "archive/FileDate.h"

#include <cmath>

namespace veltrane {
namespace {

constexpr double FirstDayOf1980 = 29221;   // 1 January 1980, in days since 30 December 1899
constexpr double FirstDayOf2100 = 73051;   // 1 January 2100
constexpr std::int64_t MillisecondsPerDay = 86'400'000;
constexpr std::int64_t DaysFrom1899To1970 = 25569;

struct CivilDate {
    int year;
    int month;
    int day;
};

// Days since 1 January 1970 to the proleptic Gregorian calendar (H. Hinnant's algorithm).
CivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const auto year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return {year, static_cast<int>(month), static_cast<int>(day)};
}

}  // namespace

DosDateTime PackDosDateTime(double fileDate) {
    // Checked before any integer conversion: NaN, infinities and far-off values fail here.
    // The margin of a day on each side leaves the exact year test to the calendar below.
    if (!(fileDate >= FirstDayOf1980 - 1 && fileDate < FirstDayOf2100 + 1)) return {};

    const auto milliseconds = static_cast<std::int64_t>(std::llround(fileDate * MillisecondsPerDay));
    const std::int64_t days = milliseconds / MillisecondsPerDay;
    const std::int64_t millisecondOfDay = milliseconds % MillisecondsPerDay;
    const CivilDate date = CivilFromDays(days - DaysFrom1899To1970);
    if (date.year < 1980 || date.year > 2099) return {};

    const auto secondOfDay = static_cast<int>(millisecondOfDay / 1000);
    const int hours = secondOfDay / 3600;
    const int minutes = secondOfDay / 60 % 60;
    const int seconds = secondOfDay % 60;
    return {static_cast<std::uint16_t>(date.day + date.month * 32 + (date.year - 1980) * 512),
            static_cast<std::uint16_t>(seconds / 2 + minutes * 32 + hours * 2048)};
}

void StampFileDate(WindowsApi& api, Handle file, double fileDate) {
    const DosDateTime packed = PackDosDateTime(fileDate);
    FileTime local;
    FileTime utc;
    if (!api.DosDateTimeToFileTime(packed.date, packed.time, &local)) return;
    if (!api.LocalFileTimeToFileTime(&local, &utc)) return;
    api.SetFileTime(file, nullptr, nullptr, &utc);
}

}  // namespace veltrane
