// The whole staging sequence: the archive found and opened, the staging directory made, the
// free space tested, every file extracted and the installation executable started.
#include <gtest/gtest.h>

#include "exceptions/exceptions_Veltrane.h"
#include "loader/Staging.h"
#include "SimulatedMachine.h"

namespace veltrane {
namespace {

using namespace testing_support;

Bytes SampleArchive() {
    return WriteArchive({ArchiveEntry("C:\\build\\\\INSTALL.EXE", ToBytes("MZ installer")),
                         ArchiveEntry("C:\\build\\data.cab", ToBytes("cabinet"))});
}

class StagingTest : public SimulatedMachine {
protected:
    // Runs the sequence; the message raised, or "".
    std::string Run() {
        try {
            RunInstallation(process, process.Trailer);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "";
    }

    std::vector<std::string> CommandLines() const {
        std::vector<std::string> lines;
        for (const SimWinExecCall& call : windows.WinExecCalls()) lines.push_back(call.commandLine);
        return lines;
    }

    void ExpectEverythingReleased() const {
        EXPECT_TRUE(windows.OpenHandles().empty()) << ::testing::PrintToString(windows.OpenHandles());
        EXPECT_EQ(windows.OutstandingMemoryBlocks(), 0u);
    }
};

TEST_F(StagingTest, APlainLoaderStagesSetup1AndStartsTheInstaller) {
    PutSetup1(SampleArchive());
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(windows.FileBytes(Staged("INSTALL.EXE")), "MZ installer");
    EXPECT_EQ(windows.FileBytes(Staged("data.cab")), "cabinet");
    EXPECT_EQ(CommandLines(), std::vector<std::string>{"C:\\Temp\\vlr1A\\INSTALL.EXE -c \"-sC:\\dist\""});
    ASSERT_EQ(windows.WinExecCalls().size(), 1u);
    EXPECT_EQ(windows.WinExecCalls()[0].showCommand, 5u);
    EXPECT_FALSE(windows.Exists("C:\\Temp\\vlr1A.TMP"));  // the temporary name is gone
    ExpectEverythingReleased();
}

TEST_F(StagingTest, TheFormOfTheCommandLineFollowsTheSwitchAndTheArchive) {
    struct Case {
        const char* what;
        bool selfExtracting;
        const char* argument;
        const char* commandLine;
    } cases[] = {
        {"setup.1", false, "", "C:\\Temp\\vlr1A\\INSTALL.EXE -c \"-sC:\\dist\""},
        {"setup.1, quiet", false, " *quiet", "C:\\Temp\\vlr1A\\INSTALL.EXE -c \"-sC:\\dist\""},
        {"setup.1, to disk", false, " *todisk",
         "C:\\Temp\\vlr1A\\INSTALL.EXE -c -f \"-esetup.exe\" -s\"C:\\dist\""},
        {"self-extracting", true, "", "C:\\Temp\\vlr1A\\INSTALL.EXE -c \"-esetup.exe\" \"-sC:\\dist\""},
        {"self-extracting, to disk", true, " *TODISK",
         "C:\\Temp\\vlr1A\\INSTALL.EXE -c -f \"-esetup.exe\" -s\"C:\\dist\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        windows.RemovePath(StagingDir);
        windows.RemovePath(Setup1Path);
        windows.AddFile(LoaderPath, AsString(LoaderImage()));
        process.Trailer = {};
        if (c.selfExtracting) {
            MakeSelfExtracting(SampleArchive());
        } else {
            PutSetup1(SampleArchive());
        }
        windows.SetTempFileCounter(0x1A);
        windows.SetCommandLine(std::string(LoaderPath) + c.argument);
        ASSERT_EQ(Run(), "");
        EXPECT_EQ(CommandLines().back(), c.commandLine);
        EXPECT_EQ(windows.FileBytes(Staged("data.cab")), "cabinet");
    }
}

TEST_F(StagingTest, ALoaderInTheRootOfADrive) {
    windows.SetModuleFileName("C:\\setup.exe");
    windows.AddFile("C:\\setup.exe", AsString(LoaderImage()));
    EXPECT_EQ(Run(), "LOADER: Setup.1 must be in the same directory as the the loader program. Directory is C:");
    windows.AddFile("C:\\setup.1", AsString(SampleArchive()));
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(CommandLines().back(), "C:\\Temp\\vlr1A\\INSTALL.EXE -c \"-sC:\"");
}

TEST_F(StagingTest, TheArchiveMustBeThereAndReadable) {
    // No setup.1: reported before the temporary directory is looked for.
    windows.SetTempPath("");
    EXPECT_EQ(Run(), "LOADER: Setup.1 must be in the same directory as the the loader program. Directory is C:\\dist");
    windows.SetTempPath(TempPath);

    windows.AddDirectory(Setup1Path);  // a directory of that name is no file
    EXPECT_EQ(Run(), "LOADER: Setup.1 must be in the same directory as the the loader program. Directory is C:\\dist");
    windows.RemovePath(Setup1Path);

    PutSetup1(SampleArchive());
    windows.HoldOpenByAnotherProcess(Setup1Path, win::GenericRead | win::GenericWrite, 0);
    EXPECT_EQ(Run(), "The file C:\\dist\\setup.1 could not be opened for reading");
    windows.EndHoldByAnotherProcess(Setup1Path);

    // Self-extracting, but the loader's own file has gone meanwhile.
    MakeSelfExtracting(SampleArchive());
    windows.RemovePath(LoaderPath);
    EXPECT_EQ(Run(), "LOADER: Could not open the file, C:\\dist\\setup.exe");
    EXPECT_TRUE(windows.WinExecCalls().empty());
}

TEST_F(StagingTest, TheTemporaryDirectoryMustBeFound) {
    PutSetup1(SampleArchive());
    const std::string message = "LOADER: Could not find the temporary directory on this computer";
    struct Case {
        const char* what;
        void (*inject)(SimulatedWindows&);
    } cases[] = {
        {"GetTempPathA fails", [](SimulatedWindows& w) { w.FailCall("GetTempPathA", 1, 5); }},
        {"a path longer than 260 characters", [](SimulatedWindows& w) {
             w.SetTempPath("C:\\" + std::string(270, 'd') + "\\");
         }},
        {"GetTempFileNameA fails", [](SimulatedWindows& w) { w.FailCall("GetTempFileNameA", 1, 5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.inject(windows);
        EXPECT_EQ(Run(), message);
        windows.SetTempPath(TempPath);
    }
    EXPECT_TRUE(windows.WinExecCalls().empty());
}

TEST_F(StagingTest, ATakenStagingNameFallsBackToTheTemporaryDirectory) {
    PutSetup1(SampleArchive());
    windows.AddFile(StagingDir, "someone else's");  // the directory cannot be made
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(windows.FileBytes("C:\\Temp\\INSTALL.EXE"), "MZ installer");
    EXPECT_EQ(CommandLines().back(), "C:\\Temp\\INSTALL.EXE -c \"-sC:\\dist\"");
}

TEST_F(StagingTest, FreeSpaceOfAtLeast8000000BytesIsNeeded) {
    const std::string tooLittle =
        "You should have at least 8000000 bytes free on the disk where your temporary directory, C:\\Temp\\vlr1A, "
        "is located. Please clear off some space and then run the install again";
    struct Case {
        std::int64_t freeBytes;
        bool passes;
    } cases[] = {{8000000, true}, {7999999, false}, {0, false}, {-1, true}, {4LL << 30, true}, {1LL << 40, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.freeBytes);
        windows.RemovePath(StagingDir);
        windows.SetTempFileCounter(0x1A);
        PutSetup1(SampleArchive());
        windows.SetDriveFreeBytes('C', c.freeBytes);
        EXPECT_EQ(Run(), c.passes ? "" : tooLittle);
        if (!c.passes) {
            EXPECT_TRUE(windows.IsDirectory(StagingDir));  // made, and left empty
            EXPECT_FALSE(windows.Exists(Staged("INSTALL.EXE")));
        }
        windows.SetDriveFreeBytes('C', 1LL << 40);
    }
    EXPECT_EQ(FreeSpaceOfPath(windows, ""), -1);
    EXPECT_EQ(FreeSpaceOfPath(windows, "\\\\server\\share\\temp"), -1);
    windows.SetDriveFreeBytes('C', 123456789);
    EXPECT_EQ(FreeSpaceOfPath(windows, "c:\\anything"), 123456789);
}

TEST_F(StagingTest, ANetworkTemporaryDirectorySkipsTheSpaceTest) {
    windows.AddDirectory("\\\\server\\share\\temp");
    windows.SetTempPath("\\\\server\\share\\temp\\");
    PutSetup1(SampleArchive());
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(CommandLines().back(), "\\\\server\\share\\temp\\vlr1A\\INSTALL.EXE -c \"-sC:\\dist\"");
}

TEST_F(StagingTest, AnEmptyArchiveLeavesTheStagingDirectoryEmpty) {
    for (const std::int32_t count : {0, -1}) {
        SCOPED_TRACE(count);
        windows.RemovePath(StagingDir);
        windows.SetTempFileCounter(0x1A);
        Bytes archive(5, 0);
        WriteInt32(archive.data(), count);
        PutSetup1(archive);
        EXPECT_EQ(Run(),
                  "There are no files in the archive in SETUP.1. There should at least be your installation project "
                  "executable");
        EXPECT_TRUE(windows.IsDirectory(StagingDir));
        ExpectEverythingReleased();
    }
}

TEST_F(StagingTest, TheInstallerMustBeFoundAndStarted) {
    PutSetup1(SampleArchive());
    struct Case {
        std::uint32_t result;
        const char* description;
    } cases[] = {{0, "Unknown"},
                 {2, "The specified file was not found"},
                 {3, "The specified path was not found"},
                 {11, "The .EXE file is invalid"},
                 {31, "Unknown"},
                 {32, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        windows.SetWinExecResult(c.result);
        const std::string message = Run();
        const std::string commandLine = CommandLines().back();
        if (c.description) {
            EXPECT_EQ(message, "LOADER: Could not run the installation executable file " + commandLine +
                                   ". The WinExec return was " + std::to_string(c.result) + " - " + c.description);
        } else {
            EXPECT_EQ(message, "");
        }
        ExpectEverythingReleased();
    }

    // The installer's existence is checked after extraction (the second existence test).
    windows.FailCall("FindFirstFileA", windows.CallCount("FindFirstFileA") + 2, win::ErrorFileNotFound);
    const std::size_t launches = windows.WinExecCalls().size();
    EXPECT_EQ(Run(), "LOADER: Cannot find the installation executable file in the temporary directory: "
                     "C:\\Temp\\vlr20\\INSTALL.EXE");
    EXPECT_EQ(windows.WinExecCalls().size(), launches);
}

TEST_F(StagingTest, AfterTheLaunchTheTemporaryNameIsDeletedOnceMoreAndTheArchiveClosed) {
    PutSetup1(SampleArchive());
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(windows.CallLog("DeleteFileA"),
              (std::vector<std::string>{"DeleteFileA(\"C:\\Temp\\vlr1A.TMP\") -> true",
                                        "DeleteFileA(\"C:\\Temp\\vlr1A.TMP\") -> false, error 2"}));
    EXPECT_TRUE(windows.IsDirectory(StagingDir));
    ExpectEverythingReleased();
}

TEST_F(StagingTest, AStoredNameLengthBeyondItsFieldStopsAtTheNameItself) {
    // The length byte says 255; the 103 bytes of the field hold the name and NUL bytes.
    Bytes archive = SampleArchive();
    archive[FirstHeaderOffset + 20] = 255;
    PutSetup1(archive);
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(windows.FileBytes(Staged("INSTALL.EXE")), "MZ installer");
    EXPECT_EQ(CommandLines().back(), "C:\\Temp\\vlr1A\\INSTALL.EXE -c \"-sC:\\dist\"");
}

TEST_F(StagingTest, LongAndSpacedPathsReachWinExecWhole) {
    const std::string loaderDirectory = "C:\\" + std::string(150, 'L');
    const std::string temporaryDirectory = "C:\\Users\\First Last\\" + std::string(120, 't') + "\\";
    windows.AddDirectory(temporaryDirectory);
    windows.SetTempPath(temporaryDirectory);
    windows.SetModuleFileName(loaderDirectory + "\\setup.exe");
    windows.AddFile(loaderDirectory + "\\setup.exe", AsString(LoaderImage()));
    windows.AddFile(loaderDirectory + "\\setup.1", AsString(SampleArchive()));
    ASSERT_EQ(Run(), "");
    const std::string expected = "\"" + temporaryDirectory + "vlr1A\\INSTALL.EXE\" -c \"-s" + loaderDirectory + "\"";
    EXPECT_GT(expected.size(), 300u);
    EXPECT_EQ(CommandLines().back(), expected);
}

}  // namespace
}  // namespace veltrane
