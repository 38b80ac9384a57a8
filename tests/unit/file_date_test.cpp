// The stored date packed in the MS-DOS format: rounded to the millisecond, two-second steps,
// 1980 to 2099 only.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "archive/FileDate.h"

namespace veltrane {
namespace {

// Days since 30 December 1899 for a local date and time.
double StoredDate(int days, int hours, int minutes, double seconds) {
    return days + (hours * 3600 + minutes * 60 + seconds) / 86400.0;
}

constexpr int Day2024_05_17 = 45429;  // 17 May 2024
constexpr std::uint16_t Date2024_05_17 = 17 + 5 * 32 + (2024 - 1980) * 512;

struct DateCase {
    const char* what;
    double fileDate;
    std::uint16_t date;
    std::uint16_t time;
};

TEST(FileDate, PacksTheStoredDateInTwoSecondSteps) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const DateCase cases[] = {
        {"19:13:23 becomes 19:13:22", StoredDate(Day2024_05_17, 19, 13, 23), Date2024_05_17,
         11 + 13 * 32 + 19 * 2048},
        {"19:13:22 stays", StoredDate(Day2024_05_17, 19, 13, 22), Date2024_05_17, 11 + 13 * 32 + 19 * 2048},
        {"less than half a millisecond below a second counts as that second",
         StoredDate(Day2024_05_17, 19, 13, 24) - 0.0004 / 86400, Date2024_05_17, 12 + 13 * 32 + 19 * 2048},
        {"more than half a millisecond below a second does not",
         StoredDate(Day2024_05_17, 19, 13, 24) - 0.0006 / 86400, Date2024_05_17, 11 + 13 * 32 + 19 * 2048},
        {"midnight", Day2024_05_17, Date2024_05_17, 0},
        {"the last moment of a day carries into the next", Day2024_05_17 + 1 - 0.0001 / 86400,
         Date2024_05_17 + 1, 0},
        {"1 January 1980", 29221, 1 + 1 * 32, 0},
        {"31 December 1979, 23:59:58", StoredDate(29220, 23, 59, 58), 0, 0},
        {"31 December 2099, 23:59:58", StoredDate(73050, 23, 59, 58), 31 + 12 * 32 + 119 * 512,
         29 + 59 * 32 + 23 * 2048},
        {"1 January 2100", 73051, 0, 0},
        {"29 February 2000", 36585, 29 + 2 * 32 + 20 * 512, 0},
        {"0: 30 December 1899", 0, 0, 0},
        {"negative", -700000, 0, 0},
        {"NaN", nan, 0, 0},
        {"infinity", infinity, 0, 0},
        {"minus infinity", -infinity, 0, 0},
        {"1e308", 1e308, 0, 0},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(c.what);
        const DosDateTime packed = PackDosDateTime(c.fileDate);
        EXPECT_EQ(packed.date, c.date);
        EXPECT_EQ(packed.time, c.time);
    }
}

}  // namespace
}  // namespace veltrane
