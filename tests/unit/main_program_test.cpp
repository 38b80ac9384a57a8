// The main sequence: the order of its steps, the quiet switch, the error box and exit codes.
#include <gtest/gtest.h>

#include "loader/VeltraneLoadProgram.h"
#include "SimulatedMachine.h"

namespace veltrane {
namespace {

using namespace testing_support;

constexpr const char* Caption = "There was an error when trying to load the installation program";

class MainProgramTest : public SimulatedMachine {
protected:
    MainProgramTest() { MakeSelfExtracting(WriteArchive({ArchiveEntry("C:\\b\\INSTALL.EXE", ToBytes("MZ"))})); }

    // The names of the calls in order, those of one kind only.
    std::vector<std::string> CallsNamed(std::initializer_list<const char*> names) const {
        std::vector<std::string> calls;
        for (const std::string& line : windows.CallLog()) {
            for (const char* name : names) {
                if (line.starts_with(std::string(name) + "(")) calls.push_back(name);
            }
        }
        return calls;
    }
};

TEST_F(MainProgramTest, ASuccessfulRunShowsTheWindowStagesAndLaunches) {
    windows.SetStartupInfo(win::StartfUseShowWindow, 3);
    windows.ClearCallLog();
    EXPECT_EQ(VeltraneLoadProgram(process), 0);
    EXPECT_EQ(windows.WinExecCalls().size(), 1u);
    EXPECT_TRUE(windows.MessageBoxes().empty());
    EXPECT_TRUE(windows.Exists("C:\\Windows\\system32\\files.inf"));
    EXPECT_EQ(CallsNamed({"InitCommonControls", "LoadBitmapA", "RegisterClassA", "CreateWindowExA", "GetModuleFileNameA",
                          "GetSystemDirectoryA", "ShowWindow", "UpdateWindow", "WinExec"}),
              (std::vector<std::string>{"InitCommonControls", "LoadBitmapA", "RegisterClassA", "CreateWindowExA",
                                        "CreateWindowExA", "ShowWindow", "UpdateWindow",  // the bar
                                        "GetModuleFileNameA",                               // the trailer
                                        "GetSystemDirectoryA", "GetSystemDirectoryA", "GetSystemDirectoryA",
                                        "GetSystemDirectoryA", "GetSystemDirectoryA",       // files.inf
                                        "ShowWindow", "UpdateWindow",                       // the window
                                        "GetModuleFileNameA", "GetModuleFileNameA", "WinExec"}));
    const std::vector<SimShowWindowCall>& shows = windows.ShowWindowCalls();
    ASSERT_EQ(shows.size(), 2u);
    EXPECT_EQ(shows[1].window, process.MainWindowHandle);
    EXPECT_EQ(shows[1].showCommand, 3);
    EXPECT_EQ(windows.Window(process.ProgressBarHandle)->progressBar->position, 100);
}

TEST_F(MainProgramTest, QuietModeMakesNoWindowButDoesEverythingElse) {
    windows.SetCommandLine("C:\\dist\\setup.exe *Quiet");
    EXPECT_EQ(VeltraneLoadProgram(process), 0);
    EXPECT_EQ(windows.CallCount("LoadBitmapA"), 0u);
    EXPECT_EQ(windows.CallCount("RegisterClassA"), 0u);
    EXPECT_EQ(windows.CallCount("CreateWindowExA"), 0u);
    ASSERT_EQ(windows.ShowWindowCalls().size(), 1u);
    EXPECT_EQ(windows.ShowWindowCalls()[0].window, 0u);
    EXPECT_EQ(windows.ShowWindowCalls()[0].showCommand, win::SwShowDefault);
    EXPECT_EQ(windows.UpdateWindowCalls(), std::vector<WindowHandle>{0});
    EXPECT_EQ(windows.CommonControlsInitialisations(), 1);
    EXPECT_TRUE(windows.Exists("C:\\Windows\\system32\\files.inf"));
    EXPECT_EQ(windows.WinExecCalls().size(), 1u);
}

TEST_F(MainProgramTest, AFailureEndsInOneErrorBoxAndExitCode1) {
    struct Case {
        const char* what;
        const char* commandLine;
        void (*inject)(SimulatedWindows&);
        const char* message;
        bool windowOwnsTheBox;
        bool filesInfWritten;
    } cases[] = {
        {"the trailer cannot be read", "setup.exe", [](SimulatedWindows& w) { w.RemovePath(LoaderPath); },
         "LOADER: Could not find the executable, C:\\dist\\setup.exe", true, false},
        {"files.inf cannot be written", "setup.exe",
         [](SimulatedWindows& w) { w.AddDirectory("C:\\Windows\\system32\\files.inf"); }, "File access denied", true,
         false},
        {"extraction fails, quiet", "setup.exe *QUIET",
         [](SimulatedWindows& w) { w.SetDriveFreeBytes('C', 7999999); },
         "You should have at least 8000000 bytes free on the disk where your temporary directory, C:\\Temp\\vlr1A, is "
         "located. Please clear off some space and then run the install again",
         false, true},
        {"the installer cannot be started", "setup.exe", [](SimulatedWindows& w) { w.SetWinExecResult(2); },
         "LOADER: Could not run the installation executable file C:\\Temp\\vlr1A\\INSTALL.EXE -c \"-esetup.exe\" "
         "\"-sC:\\dist\". The WinExec return was 2 - The specified file was not found",
         true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedWindows fresh;
        LoaderProcess run(fresh);
        // A machine like the fixture's, with the failure injected.
        fresh.AddDirectory(TempPath);
        fresh.SetTempPath(TempPath);
        fresh.SetTempFileCounter(0x1A);
        fresh.AddDirectory(SystemDirectory);
        fresh.SetSystemDirectory(SystemDirectory);
        fresh.SetModuleFileName(LoaderPath);
        fresh.SetCommandLine(c.commandLine);
        fresh.AddFile(LoaderPath, windows.FileBytes(LoaderPath));
        c.inject(fresh);
        ActiveLoaderProcess = &run;

        EXPECT_EQ(VeltraneLoadProgram(run), 1);
        ASSERT_EQ(fresh.MessageBoxes().size(), 1u);
        const SimMessageBox& box = fresh.MessageBoxes()[0];
        EXPECT_EQ(box.text, c.message);
        EXPECT_EQ(box.caption, Caption);
        EXPECT_EQ(box.type, 0x10u);
        EXPECT_EQ(box.owner, run.MainWindowHandle);
        EXPECT_EQ(box.owner != 0, c.windowOwnsTheBox);
        EXPECT_EQ(fresh.Exists("C:\\Windows\\system32\\files.inf") && !fresh.IsDirectory("C:\\Windows\\system32\\files.inf"),
                  c.filesInfWritten);
        EXPECT_TRUE(fresh.OpenHandles().empty()) << ::testing::PrintToString(fresh.OpenHandles());
    }
    ActiveLoaderProcess = &process;
}

TEST_F(MainProgramTest, AWindowThatCannotBeMadeIsNoFailure) {
    windows.FailCall("RegisterClassA", 1, 5);
    EXPECT_EQ(VeltraneLoadProgram(process), 0);
    EXPECT_EQ(process.MainWindowHandle, 0u);
    EXPECT_EQ(windows.WinExecCalls().size(), 1u);
}

TEST_F(MainProgramTest, MemoryTheRunTimeCannotHaveIsReportedLikeZlibs) {
    windows.FailCallsFrom("AllocateMemory", 1, 8);
    EXPECT_EQ(VeltraneLoadProgram(process), 1);
    ASSERT_EQ(windows.MessageBoxes().size(), 1u);
    EXPECT_EQ(windows.MessageBoxes()[0].text, "Out of memory");
}

}  // namespace
}  // namespace veltrane
