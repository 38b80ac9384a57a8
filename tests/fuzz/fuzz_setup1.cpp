// "setup.1" as the input, beside a plain loader (one whose last 136 bytes are no trailer).
#include <cstddef>
#include <cstdint>
#include <span>

#include "LoaderRun.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrane::fuzzing;
    const std::span<const std::uint8_t> input(data, size);
    RunLoaderAndCheck(PlainLoaderImage(), input, PlanOf(input));
    return 0;
}
