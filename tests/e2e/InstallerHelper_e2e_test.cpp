// e2e-installer.exe stands in for the installation executable in the loader's scenarios; what
// it records is only worth trusting once it has been seen to record a known directory and
// command line correctly, through the runner's environment passing.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "WineRunner.h"
#include "WineTestEnvironment.h"

namespace veltrane::e2e {
namespace {

namespace fs = std::filesystem;

TEST(InstallerHelper, RecordsItsCommandLineAndTheFilesBesideIt) {
    WineSession* session = WineTestEnvironment::Session();
    ASSERT_NE(session, nullptr) << "the Wine session could not be set up (see above)";
    const fs::path helper = Win64Program("tests/e2e/programs/e2e-installer.exe");
    ASSERT_TRUE(Win64ProgramBuilt(helper));

    const std::string directory = "C:\\e2e\\installer-helper";
    const fs::path linux = session->LinuxPath(directory);
    fs::remove_all(linux);
    fs::create_directories(linux / "a subdirectory");
    fs::copy_file(helper, linux / "e2e-installer.exe");
    // A file with a known size and a known time: 2021-03-04 05:06:07 UTC.
    const std::time_t known = 1614834367;
    std::ofstream(linux / "data file.bin", std::ios::binary) << std::string(1234, 'x');
    const auto knownTime = std::chrono::system_clock::from_time_t(known);
    fs::last_write_time(linux / "data file.bin", std::chrono::file_clock::from_sys(knownTime));
    const fs::path report = session->LinuxPath(directory + "-report.txt");
    fs::remove(report);

    WineRunOptions options;
    options.arguments = {"-c", "-sC:\\a dir"};
    // Wine takes its local time zone from TZ; one an hour east of UTC in March tells the two
    // times apart.
    options.environment = {{"VELTRANE_E2E_REPORT", session->WindowsPath(report)},
                           {"TZ", "Europe/Berlin"}};
    const WineRunResult run = session->Run(directory + "\\e2e-installer.exe", options);
    SCOPED_TRACE(run.Describe());
    ASSERT_EQ(run.exitCode, 0);

    const auto reports = WaitForInstallerReports(report, 1, std::chrono::seconds(10));
    ASSERT_EQ(reports.size(), 1u);
    // Wine quotes the program's path as it likes; the arguments come as given.
    const std::string& commandLine = reports[0].commandLine;
    EXPECT_NE(commandLine.find("e2e-installer.exe"), std::string::npos) << commandLine;
    EXPECT_TRUE(commandLine.ends_with(" -c \"-sC:\\a dir\"")) << commandLine;
    EXPECT_EQ(reports[0].files.size(), 2u) << "the helper and the data file, no directory";
    const ReportedFile* data = reports[0].File("data file.bin");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->size, 1234u);
    EXPECT_EQ(data->lastWriteUtc, "2021-03-04 05:06:07");
    EXPECT_EQ(data->lastWriteLocal, "2021-03-04 06:06:07");
    EXPECT_EQ(reports[0].File("a subdirectory"), nullptr);
    EXPECT_EQ(reports[0].File("e2e-installer.exe")->size, fs::file_size(helper));
}

}  // namespace
}  // namespace veltrane::e2e
