#include "platform/SimulatedProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace veltrane {

namespace {

constexpr std::uint32_t ErrorInsufficientBuffer = 122;
constexpr std::uint64_t TicksPerSecond = 10'000'000;  // file times count 100 ns
constexpr std::int64_t DaysFrom1601To1970 = 134'774;

// Windows' way of handing out a text: its length when it fits with its terminator, else the
// size needed, terminator included, with nothing written.
std::uint32_t CopyOrTellSize(const std::string& text, char* buffer, std::uint32_t size) {
    const auto length = static_cast<std::uint32_t>(text.size());
    if (length + 1 > size || buffer == nullptr) return length + 1;
    std::memcpy(buffer, text.c_str(), length + 1);
    return length;
}

}  // namespace

SimProcess::~SimProcess() {
    for (void* block : blocks_) std::free(block);
}

// A buffer too small gets the name cut to fit with its terminator, the result is the buffer's
// size and the error ERROR_INSUFFICIENT_BUFFER, as since Windows Vista.
std::uint32_t SimProcess::GetModuleFileName(char* buffer, std::uint32_t size) {
    const auto length = static_cast<std::uint32_t>(moduleFileName_.size());
    if (size == 0) return kernel_.Fail(ErrorInsufficientBuffer, 0u);
    const std::uint32_t copied = std::min(length, size - 1);
    std::memcpy(buffer, moduleFileName_.data(), copied);
    buffer[copied] = '\0';
    if (copied < length) return kernel_.Fail(ErrorInsufficientBuffer, size);
    return length;
}

bool SimProcess::IsDBCSLeadByte(std::uint8_t byte) const {
    switch (codePage_) {
        case 932:
            return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return false;
    }
}

void* SimProcess::AllocateMemory(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) return kernel_.Fail(win::ErrorNotEnoughMemory, nullptr);
    blocks_.insert(block);
    return block;
}

void SimProcess::ReleaseMemory(void* block) {
    if (block == nullptr) return;
    if (blocks_.erase(block) == 0) {
        ++invalidReleases_;  // not ours: freeing it would corrupt the heap
        return;
    }
    std::free(block);
}

bool SimProcess::DosDateTimeToFileTime(std::uint16_t fatDate, std::uint16_t fatTime,
                                       FileTime* fileTime) {
    using namespace std::chrono;
    const year_month_day date{year{1980 + (fatDate >> 9)}, month{(fatDate >> 5) & 0xFu},
                              day{fatDate & 0x1Fu}};
    const unsigned hours = fatTime >> 11;
    const unsigned minutes = (fatTime >> 5) & 0x3F;
    const unsigned seconds = (fatTime & 0x1F) * 2u;
    if (!date.ok() || hours > 23 || minutes > 59 || seconds > 59) {
        return kernel_.Fail(win::ErrorInvalidParameter, false);
    }
    const std::int64_t days = sys_days{date}.time_since_epoch().count() + DaysFrom1601To1970;
    const std::int64_t secondsSince1601 = days * 86400 + hours * 3600 + minutes * 60 + seconds;
    *fileTime = ToFileTime(static_cast<std::uint64_t>(secondsSince1601) * TicksPerSecond);
    return true;
}

bool SimProcess::LocalFileTimeToFileTime(const FileTime* local, FileTime* utc) {
    const std::int64_t shift =
        std::int64_t{biasMinutes_} * 60 * static_cast<std::int64_t>(TicksPerSecond);
    const std::int64_t value = static_cast<std::int64_t>(ToU64(*local));
    if (value < 0 || (shift < 0 && value < -shift)) {
        return kernel_.Fail(win::ErrorInvalidParameter, false);
    }
    *utc = ToFileTime(static_cast<std::uint64_t>(value + shift));
    return true;
}

std::uint32_t SimProcess::GetTempPath(std::uint32_t size, char* buffer) {
    if (tempPath_.empty()) return kernel_.Fail(win::ErrorPathNotFound, 0u);
    return CopyOrTellSize(tempPath_, buffer, size);
}

std::uint32_t SimProcess::GetSystemDirectory(char* buffer, std::uint32_t size) {
    if (systemDirectory_.empty()) return kernel_.Fail(win::ErrorPathNotFound, 0u);
    return CopyOrTellSize(systemDirectory_, buffer, size);
}

std::uint32_t SimProcess::WinExec(const char* commandLine, std::uint32_t showCommand) {
    winExecCalls_.push_back({commandLine != nullptr ? commandLine : "", showCommand});
    return winExecResult_;
}

}  // namespace veltrane
