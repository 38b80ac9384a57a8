// One run of the loader on a fresh simulated Windows, for one fuzzer input, and the checks that
// must hold after any input whatever: nothing written outside the staging directory and
// "files.inf", nothing opened that is not closed, no device opened, no memory left allocated,
// a launch only after every file was staged, and an end within a bounded number of calls.
// A check that fails prints what failed and aborts, which libFuzzer records as a crash.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace veltrane::fuzzing {

inline constexpr const char* LoaderPath = "C:\\dist\\setup.exe";
inline constexpr const char* Setup1Path = "C:\\dist\\setup.1";
inline constexpr const char* TempPath = "C:\\Temp\\";
inline constexpr const char* SystemDirectory = "C:\\Windows\\system32";

// A run that takes more calls than this is taken for a loop that does not end.
inline constexpr std::uint64_t CallLimit = 200000;

// What an input decides besides its bytes: the quiet switch, the code page, and at most one
// injected fault. Taken from a hash of the input, so that a saved input replays the same run.
struct RunPlan {
    enum class Fault { None, WriteFails, WriteShort, ReadFails, ReadShort, CreateFails, SeekFails };

    bool quiet = false;
    bool doubleByteCodePage = false;  // 932, whose lead bytes change where a file name begins
    Fault fault = Fault::None;
    std::uint64_t nth = 0;            // which use of the call the fault hits, from 1
    std::uint32_t shortBytes = 0;     // how much a shortened read or write moves

    std::string Describe() const;
};

RunPlan PlanOf(std::span<const std::uint8_t> input);

struct RunOutcome {
    int exitCode = 0;
    std::string message;  // the error box's text; empty after a launch
};

// Runs VeltraneLoadProgram once: the loader's file at LoaderPath, and setup.1 beside it when
// given. Aborts with a message when a check fails.
RunOutcome RunLoaderAndCheck(std::span<const std::uint8_t> loaderFile,
                             std::optional<std::span<const std::uint8_t>> setup1, const RunPlan& plan);

// A stand-in for the loader's executable image, without a trailer.
std::span<const std::uint8_t> PlainLoaderImage();

}  // namespace veltrane::fuzzing
