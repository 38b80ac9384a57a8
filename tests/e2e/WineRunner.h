// Runs Windows programs under Wine for the end-to-end tests.
//
// A WineSession owns everything one test run needs: an Xvfb display of its own, a private
// WINEPREFIX (initialised once with wineboot and reused afterwards, with Wine's virtual desktop
// switched on so that windows get title bars without a window manager) and a persistent
// wineserver, so that each program starts quickly. Run() starts one program with a bounded
// time, watches Wine's trace for message boxes, records each box's text, dismisses it with the
// Return key, and hands back the exit code and the trace.
//
// Two Wine facts decide what a test can compare: the command line a started program sees is
// one Wine has tidied, so what a program handed CreateProcess is read from the "process" trace
// channel; and Wine cuts traced strings of about 300 characters (they end in `"...`), so such
// texts come back marked as truncated.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrane::e2e {

// A text as Wine's trace shows it: decoded, and whether Wine cut it short.
struct TracedText {
    std::string text;
    bool truncated = false;

    // The traced text equals the full text, or is its beginning when Wine cut it.
    bool Matches(std::string_view full) const;
};

// The texts of the message boxes a trace shows (channel "msgbox"), in order.
std::vector<TracedText> MessageBoxTexts(std::string_view trace);
// The command lines handed to CreateProcess (channel "process"), in order.
std::vector<TracedText> CreatedProcessCommandLines(std::string_view trace);

struct WineRunOptions {
    std::vector<std::string> arguments;
    // Added to the program's environment; Wine passes it on to the Windows process.
    std::vector<std::pair<std::string, std::string>> environment;
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
    // The caption of the message box the program is expected to show. When the trace shows a
    // box, the runner waits (up to 5 s) for a window of this title before it looks at the
    // display and dismisses the box; without it, it waits half a second.
    std::string messageBoxCaption;
    // When set, the display is saved here as PNG while the first message box is up.
    std::filesystem::path screenshotAtMessageBox;
};

struct WineRunResult {
    bool timedOut = false;     // the program was killed after WineRunOptions::timeout
    int exitCode = -1;         // the Windows exit code; -1 when killed
    std::string trace;         // Wine's debug output (stderr)
    std::string output;        // the program's standard output
    std::vector<TracedText> messageBoxes;
    std::vector<TracedText> createdProcesses;
    // Titles of the windows on the display while the first message box was up (all X windows
    // Wine made, mapped or not).
    std::vector<std::string> windowTitlesAtMessageBox;
    std::chrono::milliseconds duration{0};

    // For failure messages: what happened, in a few lines.
    std::string Describe() const;
};

class ChildProcess;

class WineSession {
public:
    // Everything lives under workDirectory (build/e2e): the prefix, traces, screenshots.
    explicit WineSession(std::filesystem::path workDirectory);
    ~WineSession();
    WineSession(const WineSession&) = delete;
    WineSession& operator=(const WineSession&) = delete;

    // Starts a Windows program given by its Windows path (for example "C:\\e2e\\setup.exe"),
    // in its own directory, and waits until it ends, is killed on timeout, or all its message
    // boxes have been dismissed and it has exited.
    WineRunResult Run(const std::string& windowsProgram, const WineRunOptions& options = {});

    const std::filesystem::path& WorkDirectory() const { return workDirectory_; }
    const std::filesystem::path& Prefix() const { return prefix_; }
    // "C:\\x\\y" -> <prefix>/drive_c/x/y ("Z:" is the Linux root). Only these two drives.
    std::filesystem::path LinuxPath(std::string_view windowsPath) const;
    // The inverse for paths inside drive_c; throws for a path outside it.
    std::string WindowsPath(const std::filesystem::path& linuxPath) const;
    // The user's temporary directory (%TEMP%) and the system directory, as Windows names them.
    std::string TempDirectoryWindows();
    std::string SystemDirectoryWindows() const { return "C:\\windows\\system32"; }

    // Saves the whole display as a PNG file.
    void Screenshot(const std::filesystem::path& png) const;
    std::string DisplayName() const;

    // How long the prefix took to be made ready (wineboot on the first use), for the log.
    std::chrono::milliseconds prefixSetupTime{0};

private:
    std::vector<std::string> WineEnvironment(
        const std::vector<std::pair<std::string, std::string>>& extra,
        const std::string& debugChannels) const;
    void StartDisplay();
    void PreparePrefix();
    void InitialisePrefix();
    std::filesystem::path ServerSocket() const;
    void StartServer();
    void StopServer();
    int RunTool(const std::vector<std::string>& command, std::string* output = nullptr) const;
    std::vector<std::string> AwaitMessageBoxWindow(const std::string& caption) const;
    void DismissMessageBox() const;
    std::vector<std::string> WindowTitles() const;

    std::filesystem::path workDirectory_;
    std::filesystem::path prefix_;
    int lockFile_ = -1;
    int display_ = -1;
    std::unique_ptr<ChildProcess> xvfb_;
    std::unique_ptr<ChildProcess> wineserver_;
    std::string tempDirectory_;
    int runCount_ = 0;
};

// What e2e-installer.exe recorded for one run of it.
struct ReportedFile {
    std::string name;
    std::uint64_t size = 0;
    std::string lastWriteUtc;    // yyyy-mm-dd hh:mm:ss
    std::string lastWriteLocal;  // the same time in the prefix's local time zone
};

struct InstallerReport {
    std::string commandLine;  // as GetCommandLineA gave it
    std::vector<ReportedFile> files;
    const ReportedFile* File(std::string_view name) const;  // null when not reported
};

// The complete records of a report file, in order; an unfinished last record is left out.
std::vector<InstallerReport> ParseInstallerReports(std::string_view text);

// Waits until the file holds at least `count` complete installer records (the installation
// program runs on after the loader has exited); returns what it holds then, or at the timeout.
std::vector<InstallerReport> WaitForInstallerReports(const std::filesystem::path& report,
                                                     std::size_t count,
                                                     std::chrono::milliseconds timeout);

}  // namespace veltrane::e2e
