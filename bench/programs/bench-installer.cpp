// The benchmark's installation program: the loader's extraction is timed until this program
// has started. Its first act is to read the clock; it then writes, into the file named by
// VELTRANE_BENCH_MARKER, one line "<start time> <its own path>", where the start time is
// nanoseconds since 1970 (the Unix epoch, the clock the benchmark reads before it starts the
// loader) and the path tells the benchmark which staging directory to check.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/WindowsHeader.h"

namespace {

// FILETIME counts 100 ns from 1601; the Unix epoch is 11644473600 s later.
constexpr std::uint64_t UnixEpochIn100ns = 116444736000000000ULL;

std::uint64_t NanosecondsSinceUnixEpoch() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const std::uint64_t ticks = std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
    return (ticks - UnixEpochIn100ns) * 100;
}

std::string OwnPath() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

bool WriteWholeFile(const char* name, const std::string& text) {
    const HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const BOOL closed = CloseHandle(file);
    return ok && closed && written == text.size();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::uint64_t started = NanosecondsSinceUnixEpoch();
    char marker[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableA("VELTRANE_BENCH_MARKER", marker, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return 2;
    return WriteWholeFile(marker, std::to_string(started) + " " + OwnPath() + "\n") ? 0 : 3;
}
