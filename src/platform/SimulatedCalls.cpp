#include "platform/SimulatedCalls.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace veltrane {

namespace {

#define VELTRANE_SIMULATED_CALL_NAME(name) #name,
constexpr std::string_view callNames[SimCallCount] = {
    VELTRANE_SIMULATED_CALLS(VELTRANE_SIMULATED_CALL_NAME)};
#undef VELTRANE_SIMULATED_CALL_NAME

bool IsRelease(SimCall call) {
    return call == SimCall::CloseHandle || call == SimCall::FindClose ||
           call == SimCall::DeleteDC || call == SimCall::EndPaint || call == SimCall::ReleaseMemory;
}

}  // namespace

std::string_view SimCallName(SimCall call) { return callNames[static_cast<std::size_t>(call)]; }

SimCall SimCallFromName(std::string_view name) {
    const auto* found = std::find(std::begin(callNames), std::end(callNames), name);
    if (found == std::end(callNames)) {
        throw std::invalid_argument("no such call of the Windows interface: " + std::string(name));
    }
    return static_cast<SimCall>(found - std::begin(callNames));
}

std::optional<InjectedFault> CallRecorder::Enter(SimCall call) {
    const auto index = static_cast<std::size_t>(call);
    if (limit_ && total_ >= *limit_ && !IsRelease(call)) {
        throw CallLimitExceeded("the simulated Windows' call limit of " + std::to_string(*limit_) +
                                " calls was reached at " + std::string(SimCallName(call)));
    }
    ++total_;
    const std::uint64_t use = ++counts_[index];
    for (const Rule& rule : faults_[index]) {
        if (rule.Applies(use)) return InjectedFault{rule.value};
    }
    return std::nullopt;
}

void CallRecorder::FailCall(SimCall call, std::uint64_t nth, std::uint32_t errorCode,
                            bool everyLater) {
    if (nth == 0) throw std::invalid_argument("calls are counted from 1");
    faults_[static_cast<std::size_t>(call)].push_back(Rule{nth, errorCode, everyLater});
}

void CallRecorder::ShortenReads(std::uint64_t nth, std::uint32_t maxBytes, bool everyLater) {
    shortReads_.push_back(Rule{nth, maxBytes, everyLater});
}

void CallRecorder::ShortenWrites(std::uint64_t nth, std::uint32_t maxBytes, bool everyLater) {
    shortWrites_.push_back(Rule{nth, maxBytes, everyLater});
}

// Called while ReadFile (WriteFile) runs, after Enter has counted it.
std::uint32_t CallRecorder::ReadLimit(std::uint32_t requested) const {
    return Limit(shortReads_, Count(SimCall::ReadFile), requested);
}

std::uint32_t CallRecorder::WriteLimit(std::uint32_t requested) const {
    return Limit(shortWrites_, Count(SimCall::WriteFile), requested);
}

std::uint32_t CallRecorder::Limit(const std::vector<Rule>& rules, std::uint64_t use,
                                  std::uint32_t requested) {
    for (const Rule& rule : rules) {
        if (rule.Applies(use)) requested = std::min(requested, rule.value);
    }
    return requested;
}

std::vector<std::string> CallRecorder::LogOf(SimCall call) const {
    const std::string prefix = std::string(SimCallName(call)) + "(";
    std::vector<std::string> lines;
    for (const std::string& line : log_) {
        if (line.starts_with(prefix)) lines.push_back(line);
    }
    return lines;
}

namespace simlog {

std::string Text(Hex value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value.value));
    return text;
}

std::string Text(Hnd value) {
    if (value.value == NullHandle) return "NULL";
    if (value.value == InvalidHandleValue) return "INVALID_HANDLE_VALUE";
    return "h" + std::to_string(value.value);
}

std::string Text(Str value) {
    if (value.value == nullptr) return "NULL";
    // Only the identity of a resource number matters, not its text.
    if (reinterpret_cast<std::uintptr_t>(value.value) < 0x10000) {
        return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(value.value));
    }
    std::string text = "\"";
    for (const char* c = value.value; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        } else {
            text += *c;
        }
    }
    return text + "\"";
}

std::string Text(bool value) { return value ? "true" : "false"; }

std::string Text(const std::string& value) { return value; }

}  // namespace simlog

}  // namespace veltrane
