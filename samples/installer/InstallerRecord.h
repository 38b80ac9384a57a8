// What an installation program can tell about how the loader started it: its command line,
// and every file the loader staged beside it with its size and last-write time. One record,
// tab-separated, as the end-to-end tests and the demo read it (ParseInstallerReports):
//
//   begin
//   commandline<TAB><the command line>
//   file<TAB><name><TAB><size><TAB><UTC yyyy-mm-dd hh:mm:ss><TAB><local yyyy-mm-dd hh:mm:ss>
//   end
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/WindowsHeader.h"

namespace veltrane::sample {

inline std::string FormatTime(const FILETIME& time) {
    SYSTEMTIME parts{};
    if (!FileTimeToSystemTime(&time, &parts)) return "invalid";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", parts.wYear, parts.wMonth,
                  parts.wDay, parts.wHour, parts.wMinute, parts.wSecond);
    return text;
}

inline std::string LocalTime(const FILETIME& utc) {
    FILETIME local{};
    if (!FileTimeToLocalFileTime(&utc, &local)) return "invalid";
    return FormatTime(local);
}

inline std::string OwnDirectory() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of("\\/") + 1);
}

inline std::string FileLines(const std::string& directory) {
    std::string lines;
    WIN32_FIND_DATAA found{};
    const HANDLE find = FindFirstFileA((directory + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return lines;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::uint64_t size = std::uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
        lines += std::string("file\t") + found.cFileName + "\t" + std::to_string(size) + "\t" +
                 FormatTime(found.ftLastWriteTime) + "\t" + LocalTime(found.ftLastWriteTime) + "\n";
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return lines;
}

// The record of this run of the program.
inline std::string InstallerRecord() {
    return std::string("begin\ncommandline\t") + GetCommandLineA() + "\n" + FileLines(OwnDirectory()) + "end\n";
}

inline bool AppendToFile(const char* name, const std::string& text) {
    const HANDLE file = CreateFileA(name, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

// Appends the record to the file the environment variable names; false when it names none or
// the file cannot be written.
inline bool AppendRecordTo(const char* environmentVariable) {
    char reportName[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableA(environmentVariable, reportName, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return false;
    return AppendToFile(reportName, InstallerRecord());
}

}  // namespace veltrane::sample
