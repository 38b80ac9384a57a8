// veltrane-demo: runs a self-extracting installer under Wine, as a user would start it, and
// prints what happened: the staging directory and its files, the command line the installation
// program received, "files.inf", and a screenshot of the installation program's window.
//
//   veltrane-demo INSTALLER.exe WORK_DIRECTORY
//
// The installer's first file must be the sample installation program (samples/installer),
// which records what it was handed and closes itself after a few seconds.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

#include "WineRunner.h"

namespace {

namespace fs = std::filesystem;
using veltrane::e2e::InstallerReport;
using veltrane::e2e::WineRunOptions;
using veltrane::e2e::WineSession;

constexpr const char* InstallerWindowsPath = "C:\\demo\\VeltraneSampleSetup.exe";
constexpr const char* ReportWindowsPath = "C:\\demo\\sample-report.txt";

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<fs::path> Entries(const fs::path& directory) {
    std::set<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(directory)) entries.insert(entry.path());
    return entries;
}

// The staging directory the run made: the one new "vlr" entry of the temporary directory.
fs::path NewStagingDirectory(const std::set<fs::path>& before, const fs::path& temp) {
    for (const fs::path& entry : Entries(temp)) {
        std::string name = entry.filename().string();
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        if (!before.contains(entry) && name.starts_with("vlr") && fs::is_directory(entry)) return entry;
    }
    return {};
}

void PrintHeading(const std::string& heading) { std::cout << "\n== " << heading << "\n"; }

int RunDemo(const fs::path& installer, const fs::path& workDirectory) {
    std::cout << "Starting Wine (a private prefix under " << workDirectory << "; the first start takes a minute)\n";
    WineSession session(workDirectory);

    const fs::path placed = session.LinuxPath(InstallerWindowsPath);
    fs::create_directories(placed.parent_path());
    fs::copy_file(installer, placed, fs::copy_options::overwrite_existing);
    const fs::path report = session.LinuxPath(ReportWindowsPath);
    fs::remove(report);
    const fs::path filesInf = session.LinuxPath(session.SystemDirectoryWindows() + "\\files.inf");
    fs::remove(filesInf);
    const fs::path temp = session.LinuxPath(session.TempDirectoryWindows());
    const std::set<fs::path> before = Entries(temp);

    PrintHeading("The installer");
    std::cout << installer << " (" << fs::file_size(installer) << " bytes), run as " << InstallerWindowsPath << "\n";

    WineRunOptions options;
    options.environment = {{"VELTRANE_SAMPLE_REPORT", ReportWindowsPath}, {"VELTRANE_SAMPLE_CLOSE_AFTER", "8"}};
    const auto run = session.Run(InstallerWindowsPath, options);
    std::cout << "The loader ended with exit code " << run.exitCode << (run.timedOut ? " (timed out)" : "") << "\n";
    for (const auto& box : run.messageBoxes) std::cout << "Its error box said: " << box.text << "\n";
    if (run.exitCode != 0) return 1;

    const auto reports = veltrane::e2e::WaitForInstallerReports(report, 1, std::chrono::seconds(30));
    if (reports.empty()) {
        std::cerr << "The sample installation program did not report within 30 seconds\n";
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));  // let its window paint
    const fs::path screenshot = workDirectory / "sample-installer.png";
    session.Screenshot(screenshot);

    PrintHeading("The staging directory");
    const fs::path staging = NewStagingDirectory(before, temp);
    std::cout << session.WindowsPath(staging) << "  (" << staging << ")\n";
    for (const fs::path& file : Entries(staging)) {
        std::cout << "  " << file.filename().string() << "  " << fs::file_size(file) << " bytes\n";
    }

    const InstallerReport& received = reports.front();
    PrintHeading("The command line the sample installation program received");
    std::cout << received.commandLine << "\n";
    PrintHeading("What it found beside it (name, size, last write in local time)");
    for (const auto& file : received.files) {
        std::cout << "  " << file.name << "  " << file.size << "  " << file.lastWriteLocal << "\n";
    }

    PrintHeading("files.inf in " + session.SystemDirectoryWindows());
    std::cout << ReadText(filesInf);

    PrintHeading("Screenshot of the sample installation program's window");
    std::cout << screenshot << "\n";
    std::this_thread::sleep_for(std::chrono::seconds(7));  // the sample closes itself
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: veltrane-demo INSTALLER.exe WORK_DIRECTORY\n";
        return 2;
    }
    try {
        return RunDemo(argv[1], argv[2]);
    } catch (const std::exception& error) {
        std::cerr << "veltrane-demo: " << error.what() << "\n";
        return 1;
    }
}
