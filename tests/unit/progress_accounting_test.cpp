// The bar's position: a percentage of the announced total, rounded halves to even.
#include <gtest/gtest.h>

#include "progress/ProgressAccounting.h"

namespace veltrane {
namespace {

struct PositionCase {
    std::int64_t written;
    std::int64_t total;
    std::int32_t position;
};

TEST(ProgressPosition, RoundsTheShareHalvesToEven) {
    const PositionCase cases[] = {
        {1, 8, 12}, {2, 8, 25}, {3, 8, 38}, {4, 8, 50}, {5, 8, 62}, {6, 8, 75}, {7, 8, 88}, {8, 8, 100},
        {1, 3, 33}, {2, 3, 67}, {0, 5, 0},
        {0, 0, 0}, {4096, 0, 0},                 // no total: nothing to compute
        {16, 8, 200},                             // more than announced goes beyond 100
        {3'000'000'000LL, 3'000'000'000LL, 100},  // 2 GiB and more still reach 100
        {1'500'000'000LL, 3'000'000'000LL, 50},
        {4096, 1, 409600},
        {3'000'000'000LL, 1, 0},                  // beyond 32 bits: 0
        {-4, 8, -50},
    };
    for (const PositionCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.written << " of " << c.total);
        EXPECT_EQ(ProgressPosition(c.written, c.total), c.position);
    }
}

}  // namespace
}  // namespace veltrane
