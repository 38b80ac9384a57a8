// The loader's own file as the input: C:\dist\setup.exe holds the bytes, so the trailer, when
// the last 136 bytes are one, leads the whole run through the first archive to the launch.
// Without a trailer the run looks for a "setup.1" that is not there.
#include <cstddef>
#include <cstdint>
#include <span>

#include "LoaderRun.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrane::fuzzing;
    const std::span<const std::uint8_t> input(data, size);
    RunLoaderAndCheck(input, std::nullopt, PlanOf(input));
    return 0;
}
