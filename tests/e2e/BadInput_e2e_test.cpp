// Hostile and broken installers under Wine: one row per bad input, each a self-extracting file
// made of the real loader and a named fixture of tests/fuzz (BadInputs.h). For each row: the exit
// code, the message box's text, a bound on the time, and the whole Wine drive compared before and
// after the run: nothing may appear or change but the staging directory's files and files.inf.
//
// The fixtures' installation program is a few bytes beginning "MZ", not a real program: a run
// that gets as far as starting it ends in WinExec's own error, which shows that every file was
// extracted and the launch was tried.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "BadInputs.h"
#include "WineRunner.h"
#include "WineTestEnvironment.h"

namespace veltrane::e2e {
namespace {

namespace fs = std::filesystem;

// What a row expects of the run.
enum class Outcome {
    Launch,   // every file extracted, the installation program's start tried
    Message,  // this message box, nothing launched
    Either,   // a garbled catalog: one of the loader's own messages, or the launch
};

struct Row {
    const char* fixture;
    Outcome outcome;
    std::string message;  // for Message: the whole text; "STAGING" stands for the staging directory
};

const std::string NoSetup1 = "LOADER: Setup.1 must be in the same directory as the the loader program. Directory is ";
const std::string TooMany =
    "LOADER: Sorry... You can only have 49 files in the PresetupFiles property of the RUveriru. If you want to have "
    "more you can modify the MaxFiles constant in the VeltraneLoadProgram project in the Veltrane directory";
const std::string NoHeader = "LOADER: Cannot read a file header in the archive file from SETUP.1";
const std::string NoCount = "LOADER: Could not read the number of files in the archive from SETUP.1";
const std::string NoFiles =
    "There are no files in the archive in SETUP.1. There should at least be your installation project executable";
const std::string CannotCreate = "LOADER: Could not create the following file, STAGING\\";
const std::string LaunchFailed = "LOADER: Could not run the installation executable file ";

// The table of docs/robustness.md.
const Row Rows[] = {
    {"sfx-three-files", Outcome::Launch, ""},
    {"sfx-fifty-files", Outcome::Launch, ""},
    {"sfx-empty-file", Outcome::Launch, ""},
    {"sfx-truncated-in-trailer", Outcome::Message, NoSetup1 + "DIR"},
    {"sfx-truncated-in-catalog", Outcome::Message, NoSetup1 + "DIR"},
    {"sfx-truncated-in-stream", Outcome::Message, NoSetup1 + "DIR"},
    {"sfx-magic-lower-case", Outcome::Message, NoSetup1 + "DIR"},
    {"sfx-first-start-beyond-file", Outcome::Message, NoCount},
    {"sfx-first-start-negative", Outcome::Message, TooMany},
    {"sfx-first-start-in-trailer", Outcome::Message, TooMany},
    {"sfx-archive-cut-trailer-kept", Outcome::Either, ""},
    {"sfx-title-length-255", Outcome::Launch, ""},
    {"sfx-count-zero", Outcome::Message, NoFiles},
    {"sfx-count-negative", Outcome::Message, NoFiles},
    {"sfx-count-51", Outcome::Message, TooMany},
    {"sfx-count-0x7fffffff", Outcome::Message, TooMany},
    {"sfx-nextheader-wrong", Outcome::Either, ""},
    {"sfx-nextheader-self", Outcome::Launch, ""},
    // Past the end of the file, added to the archive's start: the 32-bit sum wraps negative, the
    // seek fails, and the next header is read where the first ended: a header of garbage.
    {"sfx-nextheader-past-end", Outcome::Either, ""},
    {"sfx-cut-in-count", Outcome::Message, NoHeader},
    {"sfx-cut-in-header", Outcome::Either, ""},
    {"sfx-cut-in-stream", Outcome::Message, NoHeader},
    {"sfx-name-length-255", Outcome::Launch, ""},
    {"sfx-name-dotdot", Outcome::Launch, ""},
    {"sfx-name-slash", Outcome::Launch, ""},
    {"sfx-name-device", Outcome::Message, CannotCreate + "CON"},
    {"sfx-name-device-extension", Outcome::Message, CannotCreate + "com1.dll"},
    {"sfx-name-stream", Outcome::Launch, ""},
    {"sfx-name-empty", Outcome::Message, CannotCreate},
    {"sfx-name-dotdot-only", Outcome::Message, CannotCreate + ".."},
    {"sfx-preset-dictionary", Outcome::Message, "error"},
    {"sfx-bytes-after-stream", Outcome::Launch, ""},
    {"sfx-span-short", Outcome::Launch, ""},
    {"sfx-inflates-beyond-original", Outcome::Launch, ""},
    {"sfx-corrupt-block", Outcome::Message, "error"},
    {"sfx-corrupt-checksum", Outcome::Message, "error"},
    // The same wrap: the span is read from where the catalog ended, which is no zlib stream.
    {"sfx-datastart-beyond-end", Outcome::Message, "error"},
    {"sfx-datalast-before-datastart", Outcome::Launch, ""},
    {"sfx-originalsize-negative", Outcome::Launch, ""},
    {"sfx-filedate-nan", Outcome::Launch, ""},
    {"sfx-filedate-infinite", Outcome::Launch, ""},
    {"sfx-filedate-huge", Outcome::Launch, ""},
    {"sfx-filedate-before-1980", Outcome::Launch, ""},
};

// Every file of the drive with its size and last-write time.
std::map<fs::path, std::pair<std::uintmax_t, fs::file_time_type>> Snapshot(const fs::path& drive) {
    std::map<fs::path, std::pair<std::uintmax_t, fs::file_time_type>> files;
    for (auto it = fs::recursive_directory_iterator(drive, fs::directory_options::skip_permission_denied);
         it != fs::recursive_directory_iterator(); ++it) {
        std::error_code error;
        if (it->is_regular_file(error)) files[it->path()] = {it->file_size(error), it->last_write_time(error)};
    }
    return files;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

using BadInput = WineScenario;

TEST_F(BadInput, EveryRowEndsInItsOutcomeWithinBoundsAndWritesOnlyWhereItMay) {
    const std::string image = ReadBytes(LoaderImage);
    const std::vector<fixtures::Fixture> all = fixtures::SelfExtractingFixtures(Bytes(image.begin(), image.end()));
    const fs::path drive = session_->LinuxPath("C:\\");
    const fs::path temp = session_->LinuxPath(session_->TempDirectoryWindows());
    const fs::path filesInf = session_->LinuxPath(session_->SystemDirectoryWindows() + "\\files.inf");

    for (const Row& row : Rows) {
        SCOPED_TRACE(row.fixture);
        const fixtures::Fixture& fixture = fixtures::Named(all, row.fixture);
        const std::string directory = std::string("C:\\e2e\\bad\\") + row.fixture;
        const fs::path linux = session_->LinuxPath(directory);
        fs::remove_all(linux);
        fs::create_directories(linux);
        std::ofstream(linux / "setup.exe", std::ios::binary)
            .write(reinterpret_cast<const char*>(fixture.bytes.data()), static_cast<std::streamsize>(fixture.bytes.size()));

        const auto before = Snapshot(drive);
        WineRunOptions options;
        options.arguments = {"*QUIET"};
        options.timeout = std::chrono::seconds(30);
        const WineRunResult run = session_->Run(directory + "\\setup.exe", options);
        const auto after = Snapshot(drive);
        SCOPED_TRACE(run.Describe());

        ASSERT_FALSE(run.timedOut) << "a hang";
        EXPECT_LT(run.duration, std::chrono::seconds(20));

        // Where the run may write: its one new staging directory, and files.inf.
        fs::path staging;
        for (const auto& [path, stamp] : after) {
            if (before.contains(path) && before.at(path) == stamp) continue;
            if (path == filesInf) continue;
            const fs::path relative = path.lexically_relative(temp);
            const std::string first = relative.empty() ? "" : relative.begin()->string();
            if (!relative.empty() && first != ".." && first.rfind("vlr", 0) == 0 && std::distance(relative.begin(), relative.end()) == 2 &&
                (staging.empty() || staging == temp / first)) {
                staging = temp / first;
                continue;
            }
            ADD_FAILURE() << "written outside the staging directory: " << path;
        }

        ASSERT_EQ(run.messageBoxes.size(), 1u) << "every row ends in one box: the launch of a non-program fails too";
        const TracedText& box = run.messageBoxes[0];
        EXPECT_EQ(run.exitCode, 1);
        const bool launched = box.text.rfind(LaunchFailed, 0) == 0;
        switch (row.outcome) {
            case Outcome::Launch:
                EXPECT_TRUE(launched) << box.text;
                EXPECT_FALSE(run.createdProcesses.empty());
                break;
            case Outcome::Message: {
                std::string expected = row.message;
                ReplaceAll(expected, "STAGING", staging.empty() ? "" : session_->WindowsPath(staging));
                ReplaceAll(expected, "DIR", directory);
                EXPECT_TRUE(box.Matches(expected)) << box.text << "\nexpected: " << expected;
                EXPECT_TRUE(run.createdProcesses.empty());
                break;
            }
            case Outcome::Either:
                EXPECT_TRUE(launched || box.text.rfind("LOADER: ", 0) == 0 || box.text == "error") << box.text;
                break;
        }
    }
}

}  // namespace
}  // namespace veltrane::e2e
