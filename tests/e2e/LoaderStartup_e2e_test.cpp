// The real 64-bit loader under Wine, up to the point where it looks for its archive: a plain
// loader alone in its directory, and a self-extracting one whose trailer points at an archive
// that is not there, each with and without the quiet switch. They show that the program starts,
// reads its own trailer, writes files.inf, makes (or not) its window and staging directory,
// reports the failure in its message box and ends with exit code 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "WineRunner.h"
#include "WineTestEnvironment.h"
#include "archive/ArchiveFormat.h"

namespace veltrane::e2e {
namespace {

namespace fs = std::filesystem;

const char* const ErrorCaption = "There was an error when trying to load the installation program";
const char* const ProgressCaption = "Initializing...";
const char* const SystemDirectory = "C:\\windows\\system32";
const char* const Title = "E2E Product";

// The names in the temporary directory that a staging step of the loader makes ("vlr...").
std::set<std::string> StagingNames(const fs::path& temp) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp)) {
        std::string name = entry.path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        if (name.starts_with("vlr")) names.insert(entry.path().filename().string());
    }
    return names;
}

// files.inf as the loader must write it for a product title (trailing blanks and control
// characters dropped).
std::string ExpectedFilesInf(std::string title) {
    while (!title.empty() && static_cast<unsigned char>(title.back()) <= ' ') title.pop_back();
    const std::string folder = std::string(SystemDirectory) + "\\~qmrtemp\\";
    return folder + title + ".scr\r\n" + folder + title + ".smf\r\n" + folder +
           "\\mpegdll.dll\r\n" + folder + "\\uninstall.exe\r\n";
}

struct Scenario {
    const char* name;  // also the loader's directory under C:\e2e
    bool selfExtracting;
    const char* argument;  // nullptr: no argument
};

std::ostream& operator<<(std::ostream& out, const Scenario& scenario) {
    return out << scenario.name;
}

class LoaderStartup : public ::testing::TestWithParam<Scenario> {
protected:
    void SetUp() override {
        session_ = WineTestEnvironment::Session();
        ASSERT_NE(session_, nullptr) << "the Wine session could not be set up (see above)";
        ASSERT_TRUE(Win64ProgramBuilt(LoaderImage));
    }

    // A fresh directory C:\e2e\<name> holding only the loader, with the trailer appended when
    // the scenario is self-extracting. Returns the loader's Windows path.
    std::string PlaceLoader(const Scenario& scenario) {
        directory_ = std::string("C:\\e2e\\") + scenario.name;
        const fs::path linux = session_->LinuxPath(directory_);
        fs::remove_all(linux);
        fs::create_directories(linux);
        std::string image = ReadBytes(LoaderImage);
        if (scenario.selfExtracting) {
            // The first archive would start right after the image, where the trailer itself
            // lies; there is no archive at all.
            const auto imageSize = static_cast<std::int32_t>(image.size());
            trailer_ = SelfExtractTrailer::Make({.firstArchiveStart = imageSize,
                                                 .firstArchiveLast = imageSize - 1,
                                                 .secondArchiveStart = imageSize,
                                                 .secondArchiveLast = imageSize - 1,
                                                 .productTitle = Title});
            image.append(reinterpret_cast<const char*>(trailer_.bytes.data()),
                         trailer_.bytes.size());
        } else {
            std::copy(image.end() - SelfExtractTrailer::Size, image.end(), trailer_.bytes.begin());
        }
        std::ofstream(linux / "VeltraneLoadProgram.exe", std::ios::binary) << image;
        return directory_ + "\\VeltraneLoadProgram.exe";
    }

    WineSession* session_ = nullptr;
    std::string directory_;
    SelfExtractTrailer trailer_;  // the last 136 bytes of the placed loader
};

TEST_P(LoaderStartup, EndsInTheErrorBoxWithExitCode1) {
    const Scenario& scenario = GetParam();
    const std::string loader = PlaceLoader(scenario);
    const fs::path filesInf = session_->LinuxPath(std::string(SystemDirectory) + "\\files.inf");
    fs::remove(filesInf);
    const fs::path temp = session_->LinuxPath(session_->TempDirectoryWindows());
    const std::set<std::string> stagingBefore = StagingNames(temp);

    WineRunOptions options;
    if (scenario.argument != nullptr) options.arguments = {scenario.argument};
    options.messageBoxCaption = ErrorCaption;
    options.screenshotAtMessageBox =
        session_->WorkDirectory() / (std::string("LoaderStartup-") + scenario.name + ".png");
    const WineRunResult run = session_->Run(loader, options);
    SCOPED_TRACE(run.Describe());

    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.messageBoxes.size(), 1u);
    if (scenario.selfExtracting) {
        // The catalog reader meets the trailer's first bytes as the file count: far above 50.
        ASSERT_GT(ReadInt32(trailer_.bytes.data()), MaxFiles);
        EXPECT_TRUE(run.messageBoxes[0].Matches(
            "LOADER: Sorry... You can only have 49 files in the PresetupFiles property of the "
            "RUveriru. If you want to have more you can modify the MaxFiles constant in the "
            "VeltraneLoadProgram project in the Veltrane directory"));
    } else {
        EXPECT_TRUE(run.messageBoxes[0].Matches(
            "LOADER: Setup.1 must be in the same directory as the the loader program. "
            "Directory is " + directory_));
    }

    // The box has the loader's caption; the progress window exists unless the run is quiet.
    const auto& titles = run.windowTitlesAtMessageBox;
    const auto shows = [&](const char* title) {
        return std::find(titles.begin(), titles.end(), title) != titles.end();
    };
    EXPECT_TRUE(shows(ErrorCaption));
    EXPECT_EQ(shows(ProgressCaption), scenario.argument == nullptr);

    // files.inf is written before the archive is looked for, in every mode.
    ASSERT_TRUE(fs::exists(filesInf));
    EXPECT_EQ(ReadBytes(filesInf), ExpectedFilesInf(trailer_.ProductTitle()));

    // A plain loader fails before it asks for a temporary name; a self-extracting one has made
    // its staging directory (and deleted the temporary file) before it reads the catalog.
    std::set<std::string> made;
    for (const auto& name : StagingNames(temp)) {
        if (!stagingBefore.contains(name)) made.insert(name);
    }
    if (scenario.selfExtracting) {
        ASSERT_EQ(made.size(), 1u);
        const fs::path staging = temp / *made.begin();
        EXPECT_TRUE(fs::is_directory(staging)) << staging;
        EXPECT_TRUE(fs::is_empty(staging)) << staging;
        EXPECT_EQ(staging.extension(), "");
    } else {
        EXPECT_TRUE(made.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    PlainAndSelfExtracting, LoaderStartup,
    ::testing::Values(Scenario{"plain", false, nullptr}, Scenario{"plain-quiet", false, "*QUIET"},
                      Scenario{"selfextracting", true, nullptr},
                      Scenario{"selfextracting-quiet", true, "*QUIET"}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

}  // namespace
}  // namespace veltrane::e2e
