// The whole run of the real 64-bit loader under Wine, with installers made by veltrane-pack and
// e2e-installer.exe as the installation program: every file staged with its content and its
// date, the exact command line of each form, files.inf, and the failures a user can meet, each
// in its message box with exit code 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

#include "WineRunner.h"
#include "WineTestEnvironment.h"
#include "archive/writer/ArchiveWriter.h"
#include "filelist/FilesInf.h"

namespace veltrane::e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char* Title = "Whole Run Product";
// 19:13:23 becomes 19:13:22: file times have two-second steps.
constexpr const char* PackedDate = "2024-05-17 19:13:23";
constexpr const char* StampedDate = "2024-05-17 19:13:22";

void WriteBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string RandomText(std::size_t size) {
    std::mt19937 generator(42);
    std::string text(size, '\0');
    for (char& c : text) c = static_cast<char>(generator());
    return text;
}

// The payload beside the installer: a text, a larger binary file and an empty one.
struct Payload {
    fs::path directory;
    std::vector<std::pair<std::string, std::string>> files;  // name, content
};

const Payload& SamplePayload() {
    static const Payload payload = [] {
        Payload p{fs::path(VELTRANE_E2E_DIR) / "whole-run-payload", {}};
        fs::create_directories(p.directory);
        p.files = {{"readme.txt", "Read me first.\r\n"}, {"data.bin", RandomText(300000)}, {"empty.dat", ""}};
        for (const auto& [name, content] : p.files) WriteBytes(p.directory / name, content);
        return p;
    }();
    return payload;
}

// Runs veltrane-pack with the arguments; fails the test when it does not succeed.
void RunPack(const std::vector<std::string>& arguments) {
    std::string command = "\"" + Pack.string() + "\"";
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    command += " -q";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::vector<std::string> PackedFiles() {
    std::vector<std::string> files{"--base", SamplePayload().directory.string(), "--stored-name",
                                   "C:\\build\\INSTALL.EXE", InstallerProgram.string()};
    for (const auto& [name, content] : SamplePayload().files) files.push_back((SamplePayload().directory / name).string());
    return files;
}

struct Scenario {
    const char* name;
    bool selfExtracting;
    const char* argument;  // nullptr: none
};

std::ostream& operator<<(std::ostream& out, const Scenario& s) { return out << s.name; }

class WholeRun : public WineScenario {
protected:
    // A fresh directory C:\e2e\whole\<name>; returns its Linux path.
    fs::path FreshDirectory(const std::string& name) {
        directory_ = "C:\\e2e\\whole\\" + name;
        const fs::path linux = session_->LinuxPath(directory_);
        fs::remove_all(linux);
        fs::create_directories(linux);
        return linux;
    }

    fs::path Temp() { return session_->LinuxPath(session_->TempDirectoryWindows()); }

    std::set<fs::path> StagingDirectories() {
        std::set<fs::path> found;
        for (const auto& entry : fs::directory_iterator(Temp())) {
            std::string name = entry.path().filename().string();
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            if (name.starts_with("vlr") && entry.is_directory()) found.insert(entry.path());
        }
        return found;
    }

    // Runs the loader at C:\e2e\whole\<name>\<file>; remembers the staging directory it made.
    WineRunResult RunLoader(const std::string& file, const char* argument) {
        const std::set<fs::path> before = StagingDirectories();
        WineRunOptions options;
        if (argument != nullptr) options.arguments = {argument};
        options.environment = {{"VELTRANE_E2E_REPORT", directory_ + "\\report.txt"}};
        WineRunResult run = session_->Run(directory_ + "\\" + file, options);
        staging_.clear();
        for (const fs::path& dir : StagingDirectories()) {
            if (!before.contains(dir)) staging_ = dir;
        }
        return run;
    }

    fs::path SystemFile(const std::string& name) { return session_->LinuxPath(session_->SystemDirectoryWindows() + "\\" + name); }

    std::string directory_;
    fs::path staging_;
};

class SuccessfulRun : public WholeRun, public ::testing::WithParamInterface<Scenario> {};

TEST_P(SuccessfulRun, StagesEveryFileAndStartsTheInstallerWithItsCommandLine) {
    const Scenario& scenario = GetParam();
    const fs::path linux = FreshDirectory(scenario.name);
    const std::string loaderName = "Product Setup.exe";  // a space: the loader name is quoted
    std::vector<std::string> pack;
    if (scenario.selfExtracting) {
        pack = {"sfx", "-o", (linux / loaderName).string(), "--loader", LoaderImage.string(), "--title", Title,
                "--date", PackedDate};
    } else {
        fs::copy_file(LoaderImage, linux / loaderName);
        pack = {"archive", "-o", (linux / "setup.1").string(), "--date", PackedDate};
    }
    for (const std::string& file : PackedFiles()) pack.push_back(file);
    RunPack(pack);
    fs::remove(SystemFile("files.inf"));

    const WineRunResult run = RunLoader(loaderName, scenario.argument);
    SCOPED_TRACE(run.Describe());
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.messageBoxes.empty());

    // Every file staged, whole, and dated.
    ASSERT_FALSE(staging_.empty()) << "no staging directory was made";
    EXPECT_EQ(ReadBytes(staging_ / "INSTALL.EXE"), ReadBytes(InstallerProgram));
    for (const auto& [name, content] : SamplePayload().files) {
        EXPECT_TRUE(ReadBytes(staging_ / name) == content) << name;
    }

    // The command line exactly as the loader handed it to WinExec.
    const std::string installer = session_->WindowsPath(staging_) + "\\INSTALL.EXE";
    const std::string d = directory_;
    std::string argument = scenario.argument != nullptr ? scenario.argument : "";
    std::transform(argument.begin(), argument.end(), argument.begin(), ::toupper);
    const bool toDisk = argument == "*TODISK";
    const std::string expected =
        toDisk                    ? installer + " -c -f \"-e" + loaderName + "\" -s\"" + d + "\""
        : scenario.selfExtracting ? installer + " -c \"-e" + loaderName + "\" \"-s" + d + "\""
                                  : installer + " -c \"-s" + d + "\"";
    const auto launched = run.createdProcesses;
    ASSERT_FALSE(launched.empty());
    EXPECT_TRUE(launched.back().Matches(expected)) << launched.back().text << "\n" << expected;

    // What the installation program found: its arguments, and its files with their date.
    const auto reports = WaitForInstallerReports(session_->LinuxPath(directory_ + "\\report.txt"), 1,
                                                 std::chrono::seconds(30));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].commandLine.ends_with(expected.substr(installer.size()))) << reports[0].commandLine;
    ASSERT_EQ(reports[0].files.size(), SamplePayload().files.size() + 1);
    for (const ReportedFile& file : reports[0].files) {
        EXPECT_EQ(file.lastWriteLocal, StampedDate) << file.name;
    }

    // files.inf, in every mode; a plain loader takes its title from whatever its last bytes hold.
    const std::string loaderFile = ReadBytes(linux / loaderName);
    SelfExtractTrailer trailer;
    std::copy(loaderFile.end() - SelfExtractTrailer::Size, loaderFile.end(), trailer.bytes.begin());
    const std::string title = TrimmedProductTitle(trailer);
    EXPECT_EQ(title, scenario.selfExtracting ? Title : title);
    const std::string folder = "C:\\windows\\system32\\~qmrtemp\\";
    EXPECT_EQ(ReadBytes(SystemFile("files.inf")), folder + title + ".scr\r\n" + folder + title + ".smf\r\n" + folder +
                                                       "\\mpegdll.dll\r\n" + folder + "\\uninstall.exe\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    FormsAndSwitches, SuccessfulRun,
    ::testing::Values(Scenario{"sfx", true, nullptr}, Scenario{"sfx-quiet", true, "*QUIET"},
                      Scenario{"sfx-todisk", true, "*TODISK"}, Scenario{"setup1", false, nullptr},
                      Scenario{"setup1-quiet", false, "*quiet"}, Scenario{"setup1-todisk", false, "*todisk"}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

// A self-extracting loader carrying the archive as the writer lays it out, broken or not.
struct Failure {
    const char* name;
    Bytes archive;
    std::string message;       // the box's text
    const char* argument;      // nullptr: none
    std::vector<std::string> staged;  // files that must be in the staging directory afterwards
};

std::vector<Failure> Failures() {
    const Bytes installer = [] {
        const std::string bytes = ReadBytes(InstallerProgram);
        return Bytes(bytes.begin(), bytes.end());
    }();
    Bytes fiftyOne = WriteArchive({ArchiveEntry("C:\\build\\INSTALL.EXE", installer)});
    WriteInt32(fiftyOne.data(), 51);
    return {
        {"no-files", WriteArchive({}),
         "There are no files in the archive in SETUP.1. There should at least be your installation project executable",
         nullptr, {}},
        {"fifty-one-files", fiftyOne,
         "LOADER: Sorry... You can only have 49 files in the PresetupFiles property of the RUveriru. If you want to "
         "have more you can modify the MaxFiles constant in the VeltraneLoadProgram project in the Veltrane directory",
         "*QUIET", {}},
        {"corrupt-stream",
         WriteArchive({ArchiveEntry("C:\\build\\INSTALL.EXE", installer), ArchiveEntry("C:\\build\\a.txt", ToBytes("a")),
                       ArchiveEntry("C:\\build\\b.bin", ToBytes(RandomText(20000))).WithStreamDamage(damage::CorruptFirstBlock),
                       ArchiveEntry("C:\\build\\c.txt", ToBytes("c"))}),
         "error", nullptr, {"INSTALL.EXE", "a.txt", "b.bin"}},
    };
}

TEST_F(WholeRun, FailuresEndInTheirMessageBoxWithExitCode1) {
    for (const Failure& failure : Failures()) {
        SCOPED_TRACE(failure.name);
        const fs::path linux = FreshDirectory(failure.name);
        const std::string image = ReadBytes(LoaderImage);
        const Bytes file = AssembleSelfExtracting(Bytes(image.begin(), image.end()), failure.archive, WriteArchive({}), Title);
        WriteBytes(linux / "setup.exe", std::string(file.begin(), file.end()));

        const WineRunResult run = RunLoader("setup.exe", failure.argument);
        SCOPED_TRACE(run.Describe());
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 1);
        ASSERT_EQ(run.messageBoxes.size(), 1u);
        EXPECT_TRUE(run.messageBoxes[0].Matches(failure.message)) << run.messageBoxes[0].text;
        std::set<std::string> staged;
        if (!staging_.empty()) {
            for (const auto& entry : fs::directory_iterator(staging_)) staged.insert(entry.path().filename().string());
        }
        EXPECT_EQ(staged, std::set<std::string>(failure.staged.begin(), failure.staged.end()));
    }
}

TEST_F(WholeRun, AFirstFileThatIsNoProgramIsReportedWithWinExecsResult) {
    const fs::path linux = FreshDirectory("not-a-program");
    RunPack({"sfx", "-o", (linux / "setup.exe").string(), "--loader", LoaderImage.string(), "--title", Title,
             "--base", SamplePayload().directory.string(), (SamplePayload().directory / "readme.txt").string()});
    const WineRunResult run = RunLoader("setup.exe", nullptr);
    SCOPED_TRACE(run.Describe());
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.messageBoxes.size(), 1u);
    const std::string commandLine =
        session_->WindowsPath(staging_) + "\\readme.txt -c \"-esetup.exe\" \"-s" + directory_ + "\"";
    EXPECT_TRUE(run.messageBoxes[0].Matches("LOADER: Could not run the installation executable file " + commandLine +
                                            ". The WinExec return was 11 - The .EXE file is invalid"))
        << run.messageBoxes[0].text;
}

TEST_F(WholeRun, AFilesInfThatCannotBeWrittenStopsTheRunBeforeStaging) {
    const fs::path linux = FreshDirectory("files-inf-denied");
    std::vector<std::string> pack{"sfx", "-o", (linux / "setup.exe").string(), "--loader", LoaderImage.string(),
                                  "--title", Title};
    for (const std::string& file : PackedFiles()) pack.push_back(file);
    RunPack(pack);
    const fs::path filesInf = SystemFile("files.inf");
    fs::remove_all(filesInf);
    fs::create_directory(filesInf);  // a directory of that name: the file cannot be created
    const WineRunResult run = RunLoader("setup.exe", "*QUIET");
    fs::remove_all(filesInf);
    SCOPED_TRACE(run.Describe());
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.messageBoxes.size(), 1u);
    EXPECT_TRUE(run.messageBoxes[0].Matches("File access denied")) << run.messageBoxes[0].text;
    EXPECT_TRUE(staging_.empty()) << "nothing is staged after files.inf failed";
}

}  // namespace
}  // namespace veltrane::e2e
