// The simulated Windows' bookkeeping of calls: which call of the interface this is, how often
// each has been made, which of them a test has told to fail, and a readable log of them all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/WindowsApi.h"

namespace veltrane {

// Every call of WindowsApi, in the interface's order; the one list the enum and the names come
// from.
// clang-format off
#define VELTRANE_SIMULATED_CALLS(X)                                                          \
    X(GetModuleFileNameA) X(GetModuleHandleA) X(GetCommandLineA) X(GetStartupInfoA)          \
    X(GetLastError) X(IsDBCSLeadByte) X(AllocateMemory) X(ReleaseMemory)                     \
    X(CreateFileA) X(ReadFile) X(WriteFile) X(SetFilePointer) X(CloseHandle)                 \
    X(FindFirstFileA) X(FindClose) X(DeleteFileA) X(CreateDirectoryA)                        \
    X(DosDateTimeToFileTime) X(LocalFileTimeToFileTime) X(SetFileTime)                       \
    X(GetTempPathA) X(GetTempFileNameA) X(GetDiskFreeSpaceA) X(GetSystemDirectoryA)          \
    X(WinExec)                                                                               \
    X(InitCommonControls) X(RegisterClassA) X(CreateWindowExA) X(ShowWindow)                 \
    X(UpdateWindow) X(SendMessageA) X(DefWindowProcA) X(PostQuitMessage) X(GetClientRect)    \
    X(GetSystemMetrics) X(MessageBoxA)                                                       \
    X(LoadBitmapA) X(LoadIconA) X(LoadCursorA)                                               \
    X(BeginPaint) X(EndPaint) X(CreateCompatibleDC) X(SelectObject) X(BitBlt) X(DeleteDC)
// clang-format on

#define VELTRANE_SIMULATED_CALL_ENUMERATOR(name) name,
enum class SimCall { VELTRANE_SIMULATED_CALLS(VELTRANE_SIMULATED_CALL_ENUMERATOR) Count };
#undef VELTRANE_SIMULATED_CALL_ENUMERATOR

inline constexpr std::size_t SimCallCount = static_cast<std::size_t>(SimCall::Count);

std::string_view SimCallName(SimCall call);
// Throws std::invalid_argument for a name that is no call of the interface, so that a typo in
// a test's fault cannot pass silently.
SimCall SimCallFromName(std::string_view name);

// Thrown by every call after the call limit is used up. Deliberately outside the std::exception
// and veltrane::Exception families, so that no handler of the loader can swallow it and a
// loop that never ends fails its test instead.
class CallLimitExceeded {
public:
    explicit CallLimitExceeded(std::string what) : what_(std::move(what)) {}
    const std::string& what() const { return what_; }

private:
    std::string what_;
};

// What a call needs to know before it runs: a fault to report instead of running.
struct InjectedFault {
    std::uint32_t errorCode = 0;
};

class CallRecorder {
public:
    // Counts the call and checks the limit and the faults. Calls that release something never
    // throw, because they run in destructors while the exception of the limit unwinds.
    std::optional<InjectedFault> Enter(SimCall call);

    // The nth use (1-based) of the call fails with the error code; with everyLater, that use
    // and every later one.
    void FailCall(SimCall call, std::uint64_t nth, std::uint32_t errorCode, bool everyLater);
    void SetCallLimit(std::optional<std::uint64_t> limit) { limit_ = limit; }

    // The nth ReadFile (WriteFile) moves at most maxBytes bytes; with everyLater, every later
    // one too.
    void ShortenReads(std::uint64_t nth, std::uint32_t maxBytes, bool everyLater);
    void ShortenWrites(std::uint64_t nth, std::uint32_t maxBytes, bool everyLater);
    std::uint32_t ReadLimit(std::uint32_t requested) const;
    std::uint32_t WriteLimit(std::uint32_t requested) const;

    std::uint64_t Count(SimCall call) const { return counts_[static_cast<std::size_t>(call)]; }
    std::uint64_t TotalCount() const { return total_; }

    bool LogEnabled() const { return logEnabled_; }
    void SetLogEnabled(bool enabled) { logEnabled_ = enabled; }
    // Returns the line's index, for AppendToLogLine.
    std::size_t AddLogLine(std::string line) {
        log_.push_back(std::move(line));
        return log_.size() - 1;
    }
    void AppendToLogLine(std::size_t index, std::string_view text) {
        if (index < log_.size()) log_[index] += text;
    }
    const std::vector<std::string>& Log() const { return log_; }
    std::vector<std::string> LogOf(SimCall call) const;
    void ClearLog() { log_.clear(); }

private:
    struct Rule {
        std::uint64_t nth = 0;
        std::uint32_t value = 0;
        bool everyLater = false;
        bool Applies(std::uint64_t use) const { return use == nth || (everyLater && use > nth); }
    };
    static std::uint32_t Limit(const std::vector<Rule>& rules, std::uint64_t use,
                               std::uint32_t requested);

    std::uint64_t counts_[SimCallCount] = {};
    std::uint64_t total_ = 0;
    std::optional<std::uint64_t> limit_;
    std::vector<Rule> faults_[SimCallCount];
    std::vector<Rule> shortReads_;
    std::vector<Rule> shortWrites_;
    bool logEnabled_ = true;
    std::vector<std::string> log_;
};

// Formatting of the log's arguments: strings quoted, handles as hN, flags in hex, counts in
// decimal.
namespace simlog {
struct Hex {
    std::uint64_t value;
};
struct Hnd {
    Handle value;
};
struct Str {
    const char* value;
};
std::string Text(Hex value);
std::string Text(Hnd value);
std::string Text(Str value);
std::string Text(bool value);
std::string Text(const std::string& value);
template <typename Integer>
std::string Text(Integer value) {
    return std::to_string(value);
}

template <typename... Args>
std::string Line(std::string_view name, const Args&... args) {
    std::string line(name);
    line += '(';
    std::string separator;
    ((line += separator + Text(args), separator = ", "), ...);
    line += ')';
    return line;
}
}  // namespace simlog

}  // namespace veltrane
