#include "WineRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace veltrane::e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

const char* const Wine = "/usr/lib/wine/wine64";
const char* const WineServer = "/usr/lib/wine/wineserver";
const char* const DesktopSize = "800x600";

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("wine runner: " + what);
}

std::string ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWholeFile(const fs::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) Fail("cannot write " + path.string());
}

std::string Trimmed(std::string text) {
    const auto isSpace = [](unsigned char c) { return c <= ' '; };
    while (!text.empty() && isSpace(text.back())) text.pop_back();
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    return std::string(first, text.end());
}

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes the string that Wine's debugstr_w wrote at `quoted` (just after L"): \n, \r, \t, \",
// \\ and \XXXX (four hex digits) for anything outside printable ASCII. A string cut short by
// Wine is closed by `"...`.
std::optional<TracedText> DecodeDebugString(std::string_view quoted) {
    TracedText result;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        const char c = quoted[i];
        if (c == '"') {
            result.truncated = quoted.substr(i + 1).starts_with("...");
            return result;
        }
        if (c != '\\') {
            result.text += c;
            continue;
        }
        if (++i == quoted.size()) return std::nullopt;
        switch (quoted[i]) {
            case 'n': result.text += '\n'; break;
            case 'r': result.text += '\r'; break;
            case 't': result.text += '\t'; break;
            case '"': result.text += '"'; break;
            case '\\': result.text += '\\'; break;
            default: {
                if (i + 4 > quoted.size()) return std::nullopt;
                const std::string hex(quoted.substr(i, 4));
                char* end = nullptr;
                const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
                if (end != hex.c_str() + 4) return std::nullopt;
                AppendUtf8(result.text, static_cast<std::uint32_t>(code));
                i += 3;
            }
        }
    }
    return std::nullopt;  // no closing quote: not a string Wine wrote whole
}

// The strings after `marker` on every trace line that holds `lineTag`.
std::vector<TracedText> TracedStrings(std::string_view trace, std::string_view lineTag,
                                      std::string_view marker) {
    std::vector<TracedText> found;
    std::size_t start = 0;
    while (start < trace.size()) {
        std::size_t end = trace.find('\n', start);
        if (end == std::string_view::npos) end = trace.size();
        const std::string_view line = trace.substr(start, end - start);
        start = end + 1;
        const std::size_t tag = line.find(lineTag);
        if (tag == std::string_view::npos) continue;
        const std::size_t at = line.find(marker, tag);
        if (at == std::string_view::npos) continue;
        if (auto text = DecodeDebugString(line.substr(at + marker.size()))) {
            found.push_back(std::move(*text));
        }
    }
    return found;
}

}  // namespace

bool TracedText::Matches(std::string_view full) const {
    return truncated ? full.starts_with(text) : full == text;
}

std::vector<TracedText> MessageBoxTexts(std::string_view trace) {
    return TracedStrings(trace, ":trace:msgbox:MSGBOX_OnInit ", "L\"");
}

std::vector<TracedText> CreatedProcessCommandLines(std::string_view trace) {
    return TracedStrings(trace, ":trace:process:CreateProcessInternalW ", "cmdline L\"");
}

std::string WineRunResult::Describe() const {
    std::ostringstream text;
    text << (timedOut ? "timed out" : "exit code " + std::to_string(exitCode)) << " after "
         << duration.count() << " ms";
    for (const auto& box : messageBoxes) {
        text << "\n  message box: \"" << box.text << "\"" << (box.truncated ? "..." : "");
    }
    for (const auto& line : createdProcesses) {
        text << "\n  created process: " << line.text << (line.truncated ? "..." : "");
    }
    return text.str();
}

// ---------------------------------------------------------------------------------------------
// Child processes

struct SpawnOptions {
    std::vector<std::string> command;
    std::vector<std::string> environment;
    fs::path workingDirectory;  // empty: ours
    fs::path standardOutput;    // empty: /dev/null
    fs::path standardError;     // empty: /dev/null
    bool ownProcessGroup = false;  // so that a timeout can kill the program and its children
    bool dieWithParent = false;    // so that nothing outlives a test binary that crashed
    int inheritedDescriptor = -1;
};

class ChildProcess {
public:
    explicit ChildProcess(const SpawnOptions& options) : group_(options.ownProcessGroup) {
        // Everything the child needs is prepared before fork: after it, only system calls.
        std::vector<char*> argv;
        for (const auto& word : options.command) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const auto& entry : options.environment) {
            envp.push_back(const_cast<char*>(entry.c_str()));
        }
        envp.push_back(nullptr);
        const std::string out = options.standardOutput.empty() ? "/dev/null"
                                                               : options.standardOutput.string();
        const std::string err = options.standardError.empty() ? "/dev/null"
                                                              : options.standardError.string();
        const std::string directory = options.workingDirectory.string();
        const pid_t parent = getpid();

        pid_ = fork();
        if (pid_ < 0) Fail(std::string("fork: ") + std::strerror(errno));
        if (pid_ == 0) {
            if (options.dieWithParent) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (getppid() != parent) _exit(127);
            }
            if (options.ownProcessGroup) setpgid(0, 0);
            const int in = open("/dev/null", O_RDONLY);
            const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || outFd < 0 || errFd < 0) _exit(127);
            dup2(in, 0);
            dup2(outFd, 1);
            dup2(errFd, 2);
            for (int fd = 3; fd < 1024; ++fd) {
                if (fd != options.inheritedDescriptor) close(fd);
            }
            if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(127);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        if (options.ownProcessGroup) setpgid(pid_, pid_);  // no race with the child's own call
    }

    ~ChildProcess() {
        if (!exitCode_) {
            Kill();
            Wait();
        }
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The exit code once the process has ended (-1 when a signal ended it).
    std::optional<int> Poll() {
        if (!exitCode_) Reap(WNOHANG);
        return exitCode_;
    }

    int Wait() {
        while (!exitCode_) Reap(0);
        return *exitCode_;
    }

    std::optional<int> WaitFor(milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        while (!Poll() && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(20));
        return exitCode_;
    }

    void Kill(int signal = SIGKILL) {
        if (exitCode_) return;
        if (group_) kill(-pid_, signal);
        kill(pid_, signal);
    }

private:
    void Reap(int flags) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, flags);
        if (done == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        } else if (done < 0 && errno != EINTR) {
            exitCode_ = -1;
        }
    }

    pid_t pid_ = -1;
    bool group_ = false;
    std::optional<int> exitCode_;
};

// ---------------------------------------------------------------------------------------------
// The session

// Wine takes only an absolute WINEPREFIX, so a relative work directory is made absolute here.
WineSession::WineSession(fs::path workDirectory)
    : workDirectory_(fs::absolute(std::move(workDirectory))), prefix_(workDirectory_ / "wineprefix") {
    fs::create_directories(workDirectory_ / "runs");
    // Two sessions on one prefix would share its wineserver and its files: take turns.
    lockFile_ = open((workDirectory_ / "session.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFile_ < 0 || flock(lockFile_, LOCK_EX) != 0) Fail("cannot lock the work directory");
    StartDisplay();
    PreparePrefix();
    // The first program of a server starts Wine's own services (rpcss, plugplay, ...); one
    // small program now keeps them out of the traces of the runs under test.
    TempDirectoryWindows();
}

WineSession::~WineSession() {
    StopServer();
    if (xvfb_) {
        xvfb_->Kill(SIGTERM);
        if (!xvfb_->WaitFor(milliseconds(5000))) xvfb_->Kill();
        xvfb_.reset();
    }
    if (lockFile_ >= 0) close(lockFile_);
}

std::string WineSession::DisplayName() const { return ":" + std::to_string(display_); }

std::vector<std::string> WineSession::WineEnvironment(
    const std::vector<std::pair<std::string, std::string>>& extra,
    const std::string& debugChannels) const {
    std::vector<std::pair<std::string, std::string>> ours = {
        {"DISPLAY", DisplayName()},
        {"WINEPREFIX", prefix_.string()},
        // No dialogs offering to install Mono and Gecko.
        {"WINEDLLOVERRIDES", "mscoree,mshtml="},
        {"WINEDEBUG", debugChannels},
    };
    ours.insert(ours.end(), extra.begin(), extra.end());
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('='));
        const bool replaced = std::any_of(ours.begin(), ours.end(),
                                          [&](const auto& pair) { return pair.first == name; });
        if (!replaced) environment.emplace_back(text);
    }
    for (const auto& [name, value] : ours) environment.push_back(name + "=" + value);
    return environment;
}

int WineSession::RunTool(const std::vector<std::string>& command, std::string* output) const {
    static int toolRuns = 0;
    const fs::path outFile = workDirectory_ / "runs" / ("tool-" + std::to_string(++toolRuns % 8));
    SpawnOptions options;
    options.command = command;
    options.environment = WineEnvironment({}, "-all");
    options.standardOutput = outFile;
    options.standardError = fs::path(outFile).concat(".err");
    options.dieWithParent = true;
    options.ownProcessGroup = true;
    ChildProcess tool(options);
    const std::optional<int> code = tool.WaitFor(std::chrono::seconds(120));
    if (output != nullptr) *output = ReadWholeFile(outFile);
    return code.value_or(-1);  // the destructor kills a tool that hangs
}

void WineSession::StartDisplay() {
    // Xvfb picks a free display number itself and writes it into the pipe.
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) Fail("pipe");
    SpawnOptions options;
    options.command = {"/usr/bin/Xvfb", "-displayfd", std::to_string(pipeEnds[1]), "-screen", "0",
                       std::string(DesktopSize) + "x24", "-nolisten", "tcp"};
    options.environment = WineEnvironment({}, "-all");
    options.standardError = workDirectory_ / "runs" / "xvfb.log";
    options.dieWithParent = true;
    options.inheritedDescriptor = pipeEnds[1];
    xvfb_ = std::make_unique<ChildProcess>(options);
    close(pipeEnds[1]);

    std::string number;
    pollfd ready{pipeEnds[0], POLLIN, 0};
    char c = 0;
    while (poll(&ready, 1, 10000) == 1 && read(pipeEnds[0], &c, 1) == 1 && c != '\n') number += c;
    close(pipeEnds[0]);
    if (number.empty()) Fail("Xvfb did not start; see " + options.standardError.string());
    display_ = std::stoi(number);
}

void WineSession::PreparePrefix() {
    const auto started = Clock::now();
    // A prefix is ready once wineboot has run and the desktop setting has been saved; the
    // wineserver saves the registry when it is shut down.
    const std::string userRegistry = ReadWholeFile(prefix_ / "user.reg");
    const bool ready = fs::exists(prefix_ / "system.reg") &&
                       userRegistry.find("[Software\\\\Wine\\\\Explorer\\\\Desktops]") !=
                           std::string::npos;
    if (!ready) {
        fs::remove_all(prefix_);
        fs::create_directories(prefix_);
    }
    StartServer();
    if (!ready) {
        InitialisePrefix();
        // The desktop process that wineboot started predates the setting, and the registry is
        // saved when the server stops: a restart gives both.
        StopServer();
        StartServer();
    }
    prefixSetupTime = std::chrono::duration_cast<milliseconds>(Clock::now() - started);
}

void WineSession::InitialisePrefix() {
    if (RunTool({Wine, "wineboot", "--init"}) != 0) Fail("wineboot --init failed");
    // Wine's virtual desktop draws title bars without a window manager and leaves the
    // program's own exit code alone.
    const fs::path settings = prefix_ / "drive_c" / "veltrane-desktop.reg";
    WriteWholeFile(settings, std::string("REGEDIT4\r\n\r\n") +
                                 "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"
                                 "\"Desktop\"=\"Default\"\r\n\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"
                                 "\"Default\"=\"" + DesktopSize + "\"\r\n");
    const int code = RunTool({Wine, "regedit", "/S", "C:\\veltrane-desktop.reg"});
    fs::remove(settings);
    if (code != 0) Fail("regedit could not set the virtual desktop");
}

// Where the wineserver of the prefix listens: server-<device>-<inode>/socket under
// /tmp/.wine-<uid>, or, in Debian's Wine, under the directory of /tmp that the prefix's file
// "wineserver" names.
fs::path WineSession::ServerSocket() const {
    struct stat info {};
    if (stat(prefix_.c_str(), &info) != 0) Fail("no prefix directory " + prefix_.string());
    std::ostringstream server;
    server << "server-" << std::hex << info.st_dev << "-" << info.st_ino;
    std::string parent = ".wine-" + std::to_string(getuid());
    if (fs::exists(prefix_ / "wineserver")) parent = Trimmed(ReadWholeFile(prefix_ / "wineserver"));
    return fs::path("/tmp") / parent / server.str() / "socket";
}

void WineSession::StartServer() {
    // A server left behind by a session that was killed would refuse our own.
    RunTool({WineServer, "-k"});
    fs::remove(ServerSocket());

    SpawnOptions options;
    options.command = {WineServer, "--foreground", "--persistent"};
    options.environment = WineEnvironment({}, "-all");
    options.standardError = workDirectory_ / "runs" / "wineserver.log";
    options.dieWithParent = true;
    wineserver_ = std::make_unique<ChildProcess>(options);
    // Until its socket exists, a Wine program would start a server of its own.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!fs::exists(ServerSocket())) {
        if (wineserver_->Poll() || Clock::now() > deadline) {
            Fail("the wineserver did not start; see " + options.standardError.string());
        }
        std::this_thread::sleep_for(milliseconds(20));
    }
}

void WineSession::StopServer() {
    if (!wineserver_) return;
    RunTool({WineServer, "-k"});
    if (!wineserver_->WaitFor(std::chrono::seconds(10))) wineserver_->Kill();
    wineserver_.reset();
}

fs::path WineSession::LinuxPath(std::string_view windowsPath) const {
    if (windowsPath.size() < 2 || windowsPath[1] != ':') {
        Fail("not a drive path: " + std::string(windowsPath));
    }
    const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
    std::string rest(windowsPath.substr(2));
    std::replace(rest.begin(), rest.end(), '\\', '/');
    while (rest.starts_with('/')) rest.erase(0, 1);
    if (drive == 'C') return prefix_ / "drive_c" / rest;
    if (drive == 'Z') return fs::path("/") / rest;
    Fail("no such drive in the prefix: " + std::string(windowsPath));
}

std::string WineSession::WindowsPath(const fs::path& linuxPath) const {
    const fs::path relative = fs::absolute(linuxPath).lexically_relative(prefix_ / "drive_c");
    if (relative.empty() || *relative.begin() == "..") {
        Fail("not on drive C: " + linuxPath.string());
    }
    std::string path = "C:\\" + (relative == "." ? std::string() : relative.string());
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string WineSession::TempDirectoryWindows() {
    if (tempDirectory_.empty()) {
        std::string output;
        RunTool({Wine, "cmd", "/c", "echo %TEMP%"}, &output);
        tempDirectory_ = Trimmed(output);
        if (tempDirectory_.size() < 3) Fail("cannot learn %TEMP% of the prefix");
    }
    return tempDirectory_;
}

void WineSession::Screenshot(const fs::path& png) const {
    fs::create_directories(png.parent_path());
    const int code =
        RunTool({"/usr/bin/import", "-display", DisplayName(), "-window", "root", png.string()});
    if (code != 0) {
        std::cerr << "wine runner: the screenshot " << png << " failed\n";
    }
}

std::vector<std::string> WineSession::WindowTitles() const {
    std::string output;
    RunTool({"/usr/bin/xdotool", "search", "--name", ".", "getwindowname", "%@"}, &output);
    std::vector<std::string> titles;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) titles.push_back(line);
    return titles;
}

std::vector<std::string> WineSession::AwaitMessageBoxWindow(const std::string& caption) const {
    // The trace line comes while the box is being set up, before its window is on the display.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    std::vector<std::string> titles = WindowTitles();
    while (!caption.empty() && Clock::now() < deadline &&
           std::find(titles.begin(), titles.end(), caption) == titles.end()) {
        std::this_thread::sleep_for(milliseconds(100));
        titles = WindowTitles();
    }
    // Then a moment for it to be drawn.
    std::this_thread::sleep_for(milliseconds(caption.empty() ? 500 : 200));
    return titles;
}

void WineSession::DismissMessageBox() const {
    // The virtual desktop is one X window: give it the keyboard, and Wine hands the key to the
    // active window inside it, the modal message box.
    RunTool({"/usr/bin/xdotool", "search", "--name", "Wine desktop$", "windowfocus", "%1"});
    RunTool({"/usr/bin/xdotool", "key", "Return"});
}

WineRunResult WineSession::Run(const std::string& windowsProgram, const WineRunOptions& options) {
    const fs::path program = LinuxPath(windowsProgram);
    if (!fs::exists(program)) Fail("no program at " + program.string());
    const std::string name = "run-" + std::to_string(++runCount_) + "-" + program.stem().string();
    const fs::path traceFile = workDirectory_ / "runs" / (name + ".trace");
    const fs::path outputFile = workDirectory_ / "runs" / (name + ".out");

    SpawnOptions spawn;
    spawn.command = {Wine, windowsProgram};
    spawn.command.insert(spawn.command.end(), options.arguments.begin(), options.arguments.end());
    spawn.environment = WineEnvironment(options.environment, "+msgbox,+process");
    spawn.workingDirectory = program.parent_path();
    spawn.standardOutput = outputFile;
    spawn.standardError = traceFile;
    spawn.ownProcessGroup = true;
    spawn.dieWithParent = true;

    WineRunResult result;
    const auto started = Clock::now();
    const auto deadline = started + options.timeout;
    ChildProcess child(spawn);
    std::size_t boxesHandled = 0;
    auto lastDismissal = Clock::time_point{};
    while (true) {
        if (const auto code = child.Poll()) {
            result.exitCode = *code;
            break;
        }
        if (Clock::now() > deadline) {
            child.Kill();
            child.Wait();
            result.timedOut = true;
            break;
        }
        const std::size_t boxes = MessageBoxTexts(ReadWholeFile(traceFile)).size();
        if (boxes > boxesHandled) {
            if (boxesHandled == 0) {
                result.windowTitlesAtMessageBox = AwaitMessageBoxWindow(options.messageBoxCaption);
                if (!options.screenshotAtMessageBox.empty()) {
                    Screenshot(options.screenshotAtMessageBox);
                }
            } else {
                std::this_thread::sleep_for(milliseconds(500));
            }
            boxesHandled = boxes;
            DismissMessageBox();
            lastDismissal = Clock::now();
        } else if (boxesHandled > 0 && Clock::now() - lastDismissal > std::chrono::seconds(2)) {
            // The key came before the box could take it: press again.
            DismissMessageBox();
            lastDismissal = Clock::now();
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
    result.duration = std::chrono::duration_cast<milliseconds>(Clock::now() - started);
    result.trace = ReadWholeFile(traceFile);
    result.output = ReadWholeFile(outputFile);
    result.messageBoxes = MessageBoxTexts(result.trace);
    result.createdProcesses = CreatedProcessCommandLines(result.trace);
    return result;
}

// ---------------------------------------------------------------------------------------------
// The installer helper's report

const ReportedFile* InstallerReport::File(std::string_view name) const {
    for (const auto& file : files) {
        if (file.name == name) return &file;
    }
    return nullptr;
}

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

std::vector<InstallerReport> ParseInstallerReports(std::string_view text) {
    std::vector<InstallerReport> reports;
    std::optional<InstallerReport> open;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields[0] == "begin") {
            open.emplace();
        } else if (!open) {
            continue;
        } else if (fields[0] == "end") {
            reports.push_back(std::move(*open));
            open.reset();
        } else if (fields[0] == "commandline" && fields.size() >= 2) {
            // Everything after the first tab: a command line may hold tabs of its own.
            open->commandLine = line.substr(line.find('\t') + 1);
        } else if (fields[0] == "file" && fields.size() == 5) {
            open->files.push_back({fields[1], std::stoull(fields[2]), fields[3], fields[4]});
        }
    }
    return reports;
}

std::vector<InstallerReport> WaitForInstallerReports(const fs::path& report, std::size_t count,
                                                     milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        auto reports = ParseInstallerReports(ReadWholeFile(report));
        if (reports.size() >= count || Clock::now() > deadline) return reports;
        std::this_thread::sleep_for(milliseconds(100));
    }
}

}  // namespace veltrane::e2e
