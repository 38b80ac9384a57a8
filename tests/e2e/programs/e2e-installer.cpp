// Stands in for the installation executable in the end-to-end tests. It appends to the file
// named by VELTRANE_E2E_REPORT what the loader handed it: its command line exactly as the
// system gives it, and every file of its own directory with size and last-write time. One
// record per run, tab-separated, read by ParseInstallerReports (WineRunner.h):
//
//   begin
//   commandline<TAB><the command line>
//   file<TAB><name><TAB><size><TAB><UTC yyyy-mm-dd hh:mm:ss><TAB><local yyyy-mm-dd hh:mm:ss>
//   end
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/WindowsHeader.h"

namespace {

std::string FormatTime(const FILETIME& time) {
    SYSTEMTIME parts{};
    if (!FileTimeToSystemTime(&time, &parts)) return "invalid";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", parts.wYear, parts.wMonth,
                  parts.wDay, parts.wHour, parts.wMinute, parts.wSecond);
    return text;
}

std::string LocalTime(const FILETIME& utc) {
    FILETIME local{};
    if (!FileTimeToLocalFileTime(&utc, &local)) return "invalid";
    return FormatTime(local);
}

std::string OwnDirectory() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of("\\/") + 1);
}

std::string FileLines(const std::string& directory) {
    std::string lines;
    WIN32_FIND_DATAA found{};
    const HANDLE find = FindFirstFileA((directory + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return lines;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::uint64_t size = std::uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
        lines += std::string("file\t") + found.cFileName + "\t" + std::to_string(size) + "\t" +
                 FormatTime(found.ftLastWriteTime) + "\t" + LocalTime(found.ftLastWriteTime) +
                 "\n";
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return lines;
}

bool AppendToFile(const char* name, const std::string& text) {
    const HANDLE file = CreateFileA(name, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char reportName[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableA("VELTRANE_E2E_REPORT", reportName, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return 2;

    const std::string record = std::string("begin\ncommandline\t") + GetCommandLineA() + "\n" +
                               FileLines(OwnDirectory()) + "end\n";
    return AppendToFile(reportName, record) ? 0 : 3;
}
