#include "LoaderRun.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "archive/Catalog.h"
#include "archive/Extraction.h"
#include "loader/FileAccess.h"
#include "loader/LoaderProcess.h"
#include "loader/VeltraneLoadProgram.h"
#include "platform/SimulatedWindows.h"

namespace veltrane::fuzzing {
namespace {

// Room for every sound seed; a stream that inflates beyond it meets a full disk, which keeps
// the memory of one run bounded.
constexpr std::int64_t DriveFreeBytes = 64 << 20;

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// A name from the input, with bytes a terminal would not show written as \xNN.
std::string Printable(std::string_view text) {
    std::string printable;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            printable += c;
        } else {
            static const char digits[] = "0123456789ABCDEF";
            printable += std::string("\\x") + digits[byte >> 4] + digits[byte & 15];
        }
    }
    return printable;
}

[[noreturn]] void Fail(const RunPlan& plan, const std::string& what) {
    std::fprintf(stderr, "\n==== loader check failed: %s\n==== run: %s\n", what.c_str(), plan.Describe().c_str());
    std::fflush(stderr);
    std::abort();
}

std::uint64_t Hash(std::span<const std::uint8_t> input) {
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a, then a finaliser that spreads every bit
    for (const std::uint8_t b : input) h = (h ^ b) * 1099511628211ull;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

struct DriveSnapshot {
    std::map<std::string, std::string> files;  // upper-case path -> bytes
    std::set<std::string> directories;         // upper-case paths
};

DriveSnapshot Snapshot(const SimulatedWindows& windows) {
    DriveSnapshot snapshot;
    for (const std::string& path : windows.Files()) snapshot.files[Upper(path)] = windows.FileBytes(path);
    for (const std::string& path : windows.Directories()) snapshot.directories.insert(Upper(path));
    return snapshot;
}

void InjectFault(SimulatedWindows& windows, const RunPlan& plan) {
    using Fault = RunPlan::Fault;
    switch (plan.fault) {
        case Fault::None: break;
        case Fault::WriteFails: windows.FailCall("WriteFile", plan.nth, 112); break;  // disk full
        case Fault::WriteShort: windows.ShortenWrite(plan.nth, plan.shortBytes); break;
        case Fault::ReadFails: windows.FailCall("ReadFile", plan.nth, 23); break;  // CRC error
        case Fault::ReadShort: windows.ShortenRead(plan.nth, plan.shortBytes); break;
        case Fault::CreateFails: windows.FailCall("CreateFileA", plan.nth, 5); break;  // access denied
        case Fault::SeekFails: windows.FailCall("SetFilePointer", plan.nth, 131); break;  // negative seek
    }
}

void SetUpMachine(SimulatedWindows& windows, std::span<const std::uint8_t> loaderFile,
                  std::optional<std::span<const std::uint8_t>> setup1, const RunPlan& plan) {
    windows.SetCallLogEnabled(false);
    windows.AddDirectory(TempPath);
    windows.SetTempPath(TempPath);
    windows.SetTempFileCounter(0x1A);
    windows.AddDirectory(SystemDirectory);
    windows.SetSystemDirectory(SystemDirectory);
    // Files of others, which the run must leave as they are.
    windows.AddFile("C:\\Temp\\other.tmp", "another program's file");
    windows.AddFile(std::string(SystemDirectory) + "\\kernel32.dll", "MZ the system's");
    windows.SetModuleFileName(LoaderPath);
    windows.SetCommandLine(std::string(LoaderPath) + (plan.quiet ? " *QUIET" : ""));
    windows.AddFile(LoaderPath, AsText(loaderFile));
    if (setup1) windows.AddFile(Setup1Path, AsText(*setup1));
    if (plan.doubleByteCodePage) windows.SetCodePage(932);
    windows.SetDriveFreeBytes('C', DriveFreeBytes);
    InjectFault(windows, plan);
    windows.SetCallLimit(CallLimit);
}

int RunOnce(LoaderProcess& process, const RunPlan& plan) {
    ActiveLoaderProcess = &process;
    try {
        const int exitCode = VeltraneLoadProgram(process);
        ActiveLoaderProcess = nullptr;
        return exitCode;
    } catch (const CallLimitExceeded& limit) {
        Fail(plan, "the run did not end within " + std::to_string(CallLimit) + " calls (" + limit.what() + ")");
    } catch (const std::exception& escaped) {
        Fail(plan, std::string("an exception escaped the loader: ") + escaped.what());
    } catch (...) {
        Fail(plan, "an exception of unknown type escaped the loader");
    }
}

// A launch and no error box, or an error box and no launch: never both, never neither.
void CheckOutcome(const SimulatedWindows& windows, int exitCode, const RunPlan& plan) {
    const std::size_t launches = windows.WinExecCalls().size();
    const std::size_t boxes = windows.MessageBoxes().size();
    const bool launched = exitCode == 0 && launches == 1 && boxes == 0;
    const bool failed = exitCode == 1 && launches == 0 && boxes == 1;
    if (!launched && !failed) {
        Fail(plan, "exit code " + std::to_string(exitCode) + " after " + std::to_string(launches) +
                       " WinExec calls and " + std::to_string(boxes) + " error boxes");
    }
}

void CheckNothingLeftOpen(const SimulatedWindows& windows, const RunPlan& plan) {
    const std::vector<std::string> open = windows.OpenHandles();
    if (!open.empty()) Fail(plan, "left open: " + Printable(open.front()) + " and " + std::to_string(open.size() - 1) + " more");
    if (!windows.DevicesOpened().empty()) Fail(plan, "opened the device " + Printable(windows.DevicesOpened().front()));
    if (windows.OutstandingMemoryBlocks() != 0) {
        Fail(plan, std::to_string(windows.OutstandingMemoryBlocks()) + " memory blocks never released");
    }
    if (windows.InvalidMemoryReleases() != 0) Fail(plan, "released memory it had not allocated");
}

// The directory the run made, which must be a fresh "vlr" name in the temporary directory.
// The loader falls back to the temporary directory itself only when that directory cannot be
// created, which no input and no fault of ours provokes; files there are then findings.
std::optional<std::string> StagingDirectory(const DriveSnapshot& before, const SimulatedWindows& windows,
                                            const RunPlan& plan) {
    std::vector<std::string> made;
    for (const std::string& path : windows.Directories()) {
        if (before.directories.count(Upper(path)) == 0) made.push_back(path);
    }
    if (made.empty()) return std::nullopt;
    if (made.size() > 1) Fail(plan, "made " + std::to_string(made.size()) + " directories, among them " + Printable(made[1]));
    const std::string temp = Upper(TempPath);
    const std::string key = Upper(made.front());
    if (!key.starts_with(temp + "VLR") || key.find('\\', temp.size()) != std::string::npos) {
        Fail(plan, "made a directory that is no staging directory: " + Printable(made.front()));
    }
    return made.front();
}

void CheckWritesStayedInside(const DriveSnapshot& before, const SimulatedWindows& windows,
                             const std::optional<std::string>& stagingDir, const RunPlan& plan) {
    const std::string filesInf = Upper(std::string(SystemDirectory) + "\\files.inf");
    const std::string staging = stagingDir ? Upper(*stagingDir) + "\\" : std::string();
    std::set<std::string> after;
    for (const std::string& path : windows.Files()) {
        const std::string key = Upper(path);
        after.insert(key);
        const auto old = before.files.find(key);
        if (old != before.files.end()) {
            if (windows.FileBytes(path) != old->second) Fail(plan, "changed the file " + Printable(path) + " that was there before");
        } else if (key != filesInf && (staging.empty() || !key.starts_with(staging))) {
            Fail(plan, "wrote " + Printable(path) + ", outside the staging directory and files.inf");
        }
    }
    for (const auto& [key, bytes] : before.files) {
        if (after.count(key) == 0) Fail(plan, "deleted the file " + key + " that was there before");
    }
}

// After a launch, every entry of the catalog must have its file in the staging directory, and
// the program started must be the first entry's. The catalog is read afresh on a machine
// without the run's fault. A failed seek can make the run read another catalog than the file
// holds, so after one the catalog is not compared.
void CheckEveryEntryStaged(const SimulatedWindows& windows, const SelfExtractTrailer& trailer,
                           const std::optional<std::string>& stagingDir, const RunPlan& plan) {
    if (!stagingDir) Fail(plan, "launched without having made a staging directory");
    if (plan.fault == RunPlan::Fault::SeekFails) return;
    const bool selfExtracting = IsSelfExtracting(trailer);
    const std::string archivePath = selfExtracting ? LoaderPath : Setup1Path;
    SimulatedWindows reader;
    reader.SetCallLogEnabled(false);
    if (plan.doubleByteCodePage) reader.SetCodePage(932);
    reader.AddFile(archivePath, windows.FileBytes(archivePath));
    const auto catalog = std::make_unique<ArchiveCatalog>();
    {
        FileHandle archive = OpenForSharedReading(reader, archivePath);
        ReadArchiveCatalog(reader, archive.Get(), selfExtracting ? trailer.FirstArchiveStart() : 0, *catalog);
    }
    for (std::int32_t i = 0; i < catalog->Count; ++i) {
        const std::string path = OutputPathOf(reader, *stagingDir, catalog->Headers[i]);
        if (!windows.Exists(path) || windows.IsDirectory(path)) {
            Fail(plan, "launched, but entry " + std::to_string(i + 1) + " (" + Printable(catalog->Headers[i].StoredName()) +
                           ") was never staged as " + Printable(path));
        }
    }
    // The program's path comes first, quoted when it holds a space, and the switches follow
    // whole: a stored name is read only up to a NUL byte, so none can end the line early.
    const std::string installer = OutputPathOf(reader, *stagingDir, catalog->Headers[0]);
    const std::string program = installer.find(' ') == std::string::npos ? installer : '"' + installer + '"';
    const std::string& commandLine = windows.WinExecCalls().front().commandLine;
    if (!commandLine.starts_with(program + " -c ")) {
        Fail(plan, "launched " + Printable(windows.WinExecCalls().front().commandLine) + " instead of the first entry, " + Printable(installer));
    }
}

}  // namespace

std::string RunPlan::Describe() const {
    const std::string use = " use " + std::to_string(nth);
    const std::string moves = " moves at most " + std::to_string(shortBytes) + " bytes";
    std::string what = "no fault";
    switch (fault) {
        case Fault::None: break;
        case Fault::WriteFails: what = "WriteFile" + use + " fails with error 112"; break;
        case Fault::WriteShort: what = "WriteFile" + use + moves; break;
        case Fault::ReadFails: what = "ReadFile" + use + " fails with error 23"; break;
        case Fault::ReadShort: what = "ReadFile" + use + moves; break;
        case Fault::CreateFails: what = "CreateFileA" + use + " fails with error 5"; break;
        case Fault::SeekFails: what = "SetFilePointer" + use + " fails with error 131"; break;
    }
    return std::string(quiet ? "*QUIET" : "with the window") + ", code page " +
           (doubleByteCodePage ? "932" : "1252") + ", " + what;
}

RunPlan PlanOf(std::span<const std::uint8_t> input) {
    const std::uint64_t h = Hash(input);
    RunPlan plan;
    plan.quiet = (h & 1) != 0;
    plan.doubleByteCodePage = (h >> 1) % 8 == 0;
    // Half the runs without a fault, the other half shared among the six kinds.
    const auto kind = static_cast<int>((h >> 4) % 12);
    plan.fault = kind < 6 ? RunPlan::Fault::None : static_cast<RunPlan::Fault>(kind - 5);
    plan.nth = 1 + (h >> 8) % 16;
    plan.shortBytes = static_cast<std::uint32_t>((h >> 16) % 200);
    return plan;
}

RunOutcome RunLoaderAndCheck(std::span<const std::uint8_t> loaderFile,
                             std::optional<std::span<const std::uint8_t>> setup1, const RunPlan& plan) {
    SimulatedWindows windows;
    SetUpMachine(windows, loaderFile, setup1, plan);
    const DriveSnapshot before = Snapshot(windows);
    LoaderProcess process(windows);
    const int exitCode = RunOnce(process, plan);
    windows.RemoveCallLimit();

    CheckOutcome(windows, exitCode, plan);
    CheckNothingLeftOpen(windows, plan);
    const std::optional<std::string> stagingDir = StagingDirectory(before, windows, plan);
    CheckWritesStayedInside(before, windows, stagingDir, plan);
    if (exitCode == 0) CheckEveryEntryStaged(windows, process.Trailer, stagingDir, plan);
    return {exitCode, exitCode == 0 ? std::string() : windows.MessageBoxes().front().text};
}

std::span<const std::uint8_t> PlainLoaderImage() {
    static const std::vector<std::uint8_t> image = [] {
        std::vector<std::uint8_t> bytes(1000, 0x90);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        return bytes;
    }();
    return image;
}

}  // namespace veltrane::fuzzing
