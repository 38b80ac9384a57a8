// What the parts of the simulated Windows share: the thread's last error, the numbers handed
// out as handles, and the clock that stamps writes.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/WindowsApi.h"

namespace veltrane {

inline std::uint64_t ToU64(FileTime time) {
    return (std::uint64_t{time.highDateTime} << 32) | time.lowDateTime;
}

inline FileTime ToFileTime(std::uint64_t value) {
    return FileTime{static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(value >> 32)};
}

class SimKernel {
public:
    // Windows hands out handles in steps of four; so do we, from one counter for every kind of
    // object, so that a handle of one kind is never mistaken for one of another.
    Handle NewHandle() { return nextHandle_ += 4; }

    // A failing call sets the last error and returns its failure value; the facade notes that
    // it failed, for the log.
    template <typename Result>
    Result Fail(std::uint32_t errorCode, Result failureValue) {
        lastError_ = errorCode;
        failed_ = true;
        return failureValue;
    }
    // Some calls set the last error when they succeed (CREATE_ALWAYS on an existing file).
    void SetLastError(std::uint32_t errorCode) { lastError_ = errorCode; }
    std::uint32_t LastError() const { return lastError_; }

    // Whether the call under way has failed. Calls nest (a window procedure calls back while
    // SendMessageA runs), so each call keeps its caller's flag aside and puts it back.
    bool ExchangeFailed(bool failed) { return std::exchange(failed_, failed); }

    FileTime Now() const { return now_; }
    void SetNow(FileTime now) { now_ = now; }

private:
    Handle nextHandle_ = 0;
    std::uint32_t lastError_ = 0;
    bool failed_ = false;
    FileTime now_ = ToFileTime(133485408000000000ull);  // 2024-01-01 00:00:00 UTC
};

}  // namespace veltrane
